// One whole new-name refresh of the window (Edit1Exit) with 1024 listed
// files: every trailer read again, every name expanded, both lists rebuilt,
// the selection restored and the tag panel shown. Beside it, in the same
// iterations and alternating which goes first, two floors: the bare
// open/fstat/pread/close pass over the same files, and the bare rebuild of
// the same two lists from ready-made lines. The medians, the ratios and the
// 50 ms target are printed after the run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "bench/BenchSupport.h"
#include "bench/WindowBench.h"
#include "core/filelist/EntryTable.h"

namespace {

using bench::MedianMs;
using bench::Seconds;
constexpr int Count = selvane::MaxEntries;
constexpr double TargetMs = 50.0;

// 1024 small tagged files in a fresh folder, removed at the end. The paths
// are ASCII, so native and CP932 paths are the same bytes.
class TaggedFolder {
 public:
  TaggedFolder() {
    if (folder_.path().empty()) return;
    for (int i = 0; i < Count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/track%04d.mp3", i);
      const std::string file = folder_.path() + name;
      if (!bench::WriteTaggedFile(file, "Song " + std::to_string(i), "Artist")) return;
      files_.push_back(file);
    }
  }
  const std::vector<std::string>& files() const { return files_; }

 private:
  bench::Folder folder_;
  std::vector<std::string> files_;
};

// What reading every trailer cannot do without.
void ReadTrailersFloor(const std::vector<std::string>& files) {
  for (const std::string& file : files) bench::ReadTrailerFloor(file.c_str());
}

// What showing 1024 lines in each list cannot do without.
void FillListsFloor(TForm1& form, const QStringList& before, const QStringList& after) {
  form.ListBox1->clear();
  form.ListBox2->clear();
  form.ListBox1->addItems(before);
  form.ListBox2->addItems(after);
}

struct Result {
  double workMs = 0, readMs = 0, listsMs = 0;
};
Result result;

void BM_Edit1Exit(benchmark::State& state) {
  const TaggedFolder folder;
  if (folder.files().size() != Count) {
    state.SkipWithError("cannot write the files");
    return;
  }
  bench::SilentDialogs dialogs;
  TForm1 form({}, dialogs);
  form.show();
  for (const std::string& file : folder.files())
    (void)selvane::AddEntry(form.table, file.c_str(), form.NamingRule(), form.Prompts());
  if (form.table.entryCount != Count) {
    state.SkipWithError("files were not listed");
    return;
  }
  form.RefreshLists();
  SetItemIndex(form.ListBox1, Count / 2);
  SetItemIndex(form.ListBox2, Count / 2);
  QStringList before, after;
  for (int i = 0; i < Count; ++i) {
    before << form.ListBox1->item(i)->text();
    after << form.ListBox2->item(i)->text();
  }
  QApplication::processEvents();

  std::vector<double> work, read, lists;
  bool floorsFirst = false;
  for (auto _ : state) {
    const auto floors = [&] {
      read.push_back(Seconds([&] { ReadTrailersFloor(folder.files()); }));
      lists.push_back(Seconds([&] { FillListsFloor(form, before, after); }));
      SetItemIndex(form.ListBox1, Count / 2);  // the bare rebuild drops it
    };
    if (floorsFirst) floors();
    work.push_back(Seconds([&] { form.Edit1Exit(); }));
    if (form.SelectedIndex() != Count / 2 || ItemIndex(form.ListBox2) != Count / 2 ||
        form.ListBox2->count() != Count)
      state.SkipWithError("selection or lists not restored");
    if (!floorsFirst) floors();
    floorsFirst = !floorsFirst;
    state.SetIterationTime(work.back());
    // Paint outside the timing, as the event loop would after the command.
    QApplication::processEvents();
  }
  result = {MedianMs(work), MedianMs(read), MedianMs(lists)};
  state.counters["read_floor_ms"] = result.readMs;
  state.counters["lists_floor_ms"] = result.listsMs;
}

BENCHMARK(BM_Edit1Exit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

void PrintResult() {
  if (result.readMs <= 0 || result.listsMs <= 0) return;
  const double floor = result.readMs + result.listsMs;
  std::printf(
      "\nEdit1Exit, 1024 entries  median %7.3f ms  (target < %.0f ms: %s)\n"
      "  floor: trailer reads   %7.3f ms  ratio %5.2f\n"
      "  floor: list rebuild    %7.3f ms  ratio %5.2f\n"
      "  floor: both together   %7.3f ms  ratio %5.2f\n",
      result.workMs, TargetMs, result.workMs < TargetMs ? "met" : "MISSED", result.readMs,
      result.workMs / result.readMs, result.listsMs, result.workMs / result.listsMs, floor,
      result.workMs / floor);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWindowBenchmarks(argc, argv, [] {
    benchmark::RunSpecifiedBenchmarks();
    PrintResult();
  });
}
