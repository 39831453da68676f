#pragma once
// How each folder of a run compares names and which names its medium
// refuses. The folder itself and the mount table are asked once per folder
// and per command, never per file: 20,000 rows in one folder cost one probe.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/platform/MediumNames.h"

namespace selvane {

struct FolderRule {
  bool ignoresCase = false;
  Medium medium;
};

class FolderRules {
 public:
  virtual ~FolderRules() = default;
  // The rule of the folder a CP932 path lies in.
  const FolderRule& RuleFor(std::string_view path);

  // Two paths the file system resolves to one name: spelled alike (as
  // SameName reads them), or differing only in the letter case of their
  // last part in a folder that ignores case.
  bool SameName(std::string_view a, std::string_view b);
  // The key of a path (as NameKey spells it) whose last part is folded
  // where its folder ignores case; built in `storage` when it differs.
  std::string_view PathKey(std::string_view path, std::string& storage);
  // The same for a path already spelled as NameKey spells it, whose last
  // part starts at `lastStart`.
  std::string_view SpelledPathKey(std::string_view plain, std::size_t lastStart,
                                  std::string& storage);

 protected:
  // Asks a CP932 folder ("" is the current one) once.
  virtual FolderRule Probe(const std::string& folder) = 0;

 private:
  const FolderRule& RuleOfFolder(std::string_view folder);

  std::string lastFolder_;
  const FolderRule* lastRule_ = nullptr;
  std::unordered_map<std::string, FolderRule> rules_;
};

// The real folders, through core/platform; the mount table is read at the
// first folder asked.
std::unique_ptr<FolderRules> NewSystemFolderRules();

}  // namespace selvane
