// The rename run on a small folder in memory against its forecast: with
// every question answered Yes, the same rows are refused, asked, moved and
// left; whatever the answers, no file's bytes are lost that the user did
// not agree to replace, nothing stays under the temporary name, no name
// with a control character appears, and every row names its file where it
// really is.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/rename/RenameRun.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFolder.h"

using namespace selvane;

namespace {

// Answers from the input; remembers, for each Yes, the bytes the user
// agreed to give up (the file at the new name, as it is when asked).
class Answers : public UserPrompts {
 public:
  Answers(FuzzedDataProvider& in, MemoryFileOps& fs, const EntryTable& table)
      : in_(in), fs_(fs), table_(table) {}

  void SetStatus(std::string_view) override { ++row_; }
  void Refuse(std::string_view, std::string_view) override {}
  void ShowError(std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override {
    const bool yes = in_.remaining_bytes() == 0 || in_.ConsumeBool();
    if (!yes && firstNo < 0) firstNo = row_;
    std::string bytes;
    if (yes && row_ < table_.entryCount && fs_.Read(table_[row_].newPath, bytes))
      given.push_back(bytes);
    return yes;
  }

  int firstNo = -1;                // the row of the first No (-1: none)
  std::vector<std::string> given;  // contents the user agreed to replace

 private:
  FuzzedDataProvider& in_;
  MemoryFileOps& fs_;
  const EntryTable& table_;
  int row_ = -1;
};

Outlook Expected(const RunRow& row) {
  switch (row.decision.fate) {
    case RowFate::LeftAlone:
      return Outlook::Unchanged;
    case RowFate::Moves:
      return Outlook::Moves;
    case RowFate::Refused:
      return Outlook::Refused;
    case RowFate::CannotMove:
      return Outlook::CannotMove;
    case RowFate::NotCarriedOn:
      return Outlook::MayBeReplaced;
    case RowFate::Asks:
      break;
  }
  return Outlook::AsksExisting;  // any of the three that ask
}

bool HasControlByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// For a replayed finding (SELVANE_FUZZ_VERBOSE=1): the folder, the rows,
// what the forecast told and what the run did.
void Describe(const std::vector<std::string>& listing, const FuzzFolder& folder,
              const std::vector<RowOutlook>& forecast, const std::vector<RunRow>& run) {
  if (std::getenv("SELVANE_FUZZ_VERBOSE") == nullptr) return;
  for (const std::string& line : listing) std::fprintf(stderr, "  %s\n", line.c_str());
  std::fprintf(stderr, "  current folder %s\n", folder.currentFolder.c_str());
  for (std::size_t i = 0; i < folder.rows.size(); ++i)
    std::fprintf(stderr,
                 "row %zu: %s -> %s: outlook %d refusal %d error %d | fate %d refusal %d "
                 "error %d asked %d yes %d moved %d step error %d\n",
                 i, folder.rows[i].path.c_str(), folder.rows[i].newPath.c_str(),
                 int(forecast[i].outlook), int(forecast[i].refusal), forecast[i].error,
                 int(run[i].decision.fate), int(run[i].decision.refusal), run[i].decision.error,
                 run[i].asked, run[i].answeredYes, run[i].moved, run[i].error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  FuzzFolder folder = MakeFuzzFolder(in);
  MemoryFileOps& fs = folder.fs;

  EntryTable table;
  for (const FuzzRow& row : folder.rows) {
    auto entry = std::make_unique<FileEntry>();
    CopyField(entry->path, row.path);
    CopyField(entry->newPath, row.newPath);
    table.Append(std::move(entry));
  }
  const std::vector<std::string> listingBefore = fs.Listing();
  const std::vector<std::string> contentsBefore = fs.AllContents();
  const bool temporaryThere = fs.Status(TemporaryName).kind != FileKind::Missing;

  const std::vector<RowOutlook> forecast = ForecastRename(table, fs);
  FUZZ_CHECK(fs.Listing() == listingBefore);  // the forecast changes nothing
  FUZZ_CHECK(forecast.size() == folder.rows.size());

  Answers answers(in, fs, table);
  const std::vector<RunRow> run = RunRename(table, fs, answers);
  FUZZ_CHECK(run.size() == folder.rows.size());
  Describe(listingBefore, folder, forecast, run);

  // Up to the first No, or the first step that failed on the disk (which
  // the forecast cannot know), the run went the way the forecast said.
  std::size_t compared =
      answers.firstNo < 0 ? run.size() : static_cast<std::size_t>(answers.firstNo) + 1;
  for (std::size_t i = 0; i < compared; ++i)
    if (run[i].error != 0) compared = i + 1;
  for (std::size_t i = 0; i < compared; ++i) {
    const RowOutlook& told = forecast[i];
    const RunRow& done = run[i];
    const Outlook expected = Expected(done);
    if (expected == Outlook::AsksExisting)
      FUZZ_CHECK(told.Asks());
    else
      FUZZ_CHECK(told.outlook == expected);
    FUZZ_CHECK(told.Asks() == done.asked);
    FUZZ_CHECK(told.refusal == done.decision.refusal);
    if (told.outlook == Outlook::CannotMove) FUZZ_CHECK(told.error == done.decision.error);
    if (done.decision.fate == RowFate::Asks)
      FUZZ_CHECK((told.outlook == Outlook::MeetsItself) == done.decision.meetsItself);
  }

  for (int i = 0; i < table.entryCount; ++i) {
    const RunRow& done = run[static_cast<std::size_t>(i)];
    const std::string_view path = table[i].path;
    const FuzzRow& listed = folder.rows[static_cast<std::size_t>(i)];
    // A row moved only when it was decided so (or asked and agreed), and
    // then its path is the new one; otherwise it kept its path.
    if (done.moved) {
      FUZZ_CHECK(done.decision.fate == RowFate::Moves ||
                 (done.decision.fate == RowFate::Asks && done.answeredYes));
      FUZZ_CHECK(path == listed.newPath);
      FUZZ_CHECK(fs.Status(table[i].path).kind != FileKind::Missing);
    } else {
      FUZZ_CHECK(path == listed.path);
    }
    if (done.asked) FUZZ_CHECK(done.decision.fate == RowFate::Asks);
  }

  // No bytes lost but those the user gave up; nothing left under the
  // temporary name; no control character in any name.
  std::vector<std::string> mayGo = answers.given;
  const std::vector<std::string> after = fs.AllContents();
  for (const std::string& bytes : contentsBefore) {
    if (std::find(after.begin(), after.end(), bytes) != after.end()) continue;
    const auto given = std::find(mayGo.begin(), mayGo.end(), bytes);
    FUZZ_CHECK(given != mayGo.end());
    mayGo.erase(given);
  }
  // (A row may have been named so by the rule, though.)
  if (const FileStatus temporary = fs.Status(TemporaryName);
      !temporaryThere && temporary.kind != FileKind::Missing) {
    bool named = false;
    for (int i = 0; i < table.entryCount; ++i)
      named = named || (run[static_cast<std::size_t>(i)].moved &&
                        fs.Status(table[i].path).SameEntryAs(temporary));
    FUZZ_CHECK(named);
  }
  // (The listing's other words, contents and link targets, have none.)
  for (const std::string& line : fs.Listing()) FUZZ_CHECK(!HasControlByte(line));
  return 0;
}
