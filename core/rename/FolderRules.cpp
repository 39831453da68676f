#include "core/rename/FolderRules.h"

#include <optional>
#include <utility>

#include "core/filelist/PathNames.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/platform/FolderCase.h"

namespace selvane {

namespace {

// The folder a path lies in, as the system reads it ("/" for the root's
// names, "" for a bare name).
std::string_view FolderPart(std::string_view path, std::size_t lastStart) {
  if (lastStart == 0) return {};
  return lastStart == 1 ? path.substr(0, 1) : path.substr(0, lastStart - 1);
}

}  // namespace

const FolderRule& FolderRules::RuleOfFolder(std::string_view folder) {
  // Rows come folder by folder: the last answer nearly always fits.
  if (lastRule_ != nullptr && folder == lastFolder_) return *lastRule_;
  auto it = rules_.find(std::string(folder));
  if (it == rules_.end())
    it = rules_.emplace(std::string(folder), Probe(std::string(folder))).first;
  lastFolder_.assign(folder);
  lastRule_ = &it->second;  // the map's nodes stay where they are
  return *lastRule_;
}

const FolderRule& FolderRules::RuleFor(std::string_view path) {
  return RuleOfFolder(FolderPart(path, LastPartStart(path)));
}

bool FolderRules::SameName(std::string_view a, std::string_view b) {
  std::string aStorage, bStorage;
  const std::string_view aKey = NameKey(a, aStorage), bKey = NameKey(b, bStorage);
  if (aKey == bKey || aKey.size() != bKey.size()) return aKey == bKey;
  // Names of one folder only: the folder's rule says nothing about others.
  const std::size_t start = LastPartStart(aKey);
  if (start != LastPartStart(bKey) || aKey.substr(0, start) != bKey.substr(0, start)) return false;
  return RuleOfFolder(FolderPart(aKey, start)).ignoresCase &&
         CaseFoldKey(aKey.substr(start)) == CaseFoldKey(bKey.substr(start));
}

std::string_view FolderRules::PathKey(std::string_view path, std::string& storage) {
  const std::string_view plain = NameKey(path, storage);
  return SpelledPathKey(plain, LastPartStart(plain), storage);
}

std::string_view FolderRules::SpelledPathKey(std::string_view plain, std::size_t start,
                                             std::string& storage) {
  // Folding costs a copy: only a folder that ignores case needs it.
  if (start == plain.size() || !RuleOfFolder(FolderPart(plain, start)).ignoresCase) return plain;
  std::string key(plain.substr(0, start));
  key += CaseFoldKey(plain.substr(start));
  storage = std::move(key);
  return storage;
}

namespace {

class SystemFolderRules final : public FolderRules {
 protected:
  FolderRule Probe(const std::string& folder) override {
    FolderRule rule;
    std::string native;
    if (folder.empty()) {
      if (!NativeCurrentDirectory(native)) return rule;
    } else if (!Cp932PathToNative(folder, native)) {
      return rule;  // no native form: its moves fail on their own
    }
    if (!mounts_) mounts_ = MountTable::Read();
    if (!folderCase_) folderCase_.emplace(*mounts_);
    rule.ignoresCase = folderCase_->IgnoresCase(native);
    rule.medium = MediumOf(native, *mounts_);
    return rule;
  }

 private:
  std::optional<MountTable> mounts_;
  std::optional<FolderCase> folderCase_;
};

}  // namespace

std::unique_ptr<FolderRules> NewSystemFolderRules() {
  return std::make_unique<SystemFolderRules>();
}

}  // namespace selvane
