// Sorting 1024 entries listed in reverse path order: the table sort alone,
// and the sort command with the window's refresh (re-reading 1024 tags and
// rebuilding both lists). Each is set beside a floor measured in the same
// run, std::sort of 1024 pointers by path, and the ratio of the medians is
// printed at the end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "bench/WindowBench.h"
#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"

namespace {

using bench::Seconds;
constexpr int Count = selvane::SmallListEntries;
constexpr int Repetitions = 15;

std::string TrackName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "track%04d.mp3", i);
  return name;
}

// Path of entry i in reverse order: entry 0 holds the greatest path.
std::string ReversedPath(const std::string& folder, int i) {
  return folder + "/" + TrackName(Count - 1 - i);
}

void BM_FloorSortPointers(benchmark::State& state) {
  std::vector<std::unique_ptr<selvane::FileEntry>> records;
  for (int i = 0; i < Count; ++i) {
    records.push_back(std::make_unique<selvane::FileEntry>());
    selvane::CopyField(records.back()->path, ReversedPath("C:\\Music", i));
  }
  std::vector<const selvane::FileEntry*> order(Count);
  for (auto _ : state) {
    for (int i = 0; i < Count; ++i) order[static_cast<std::size_t>(i)] = records[i].get();
    state.SetIterationTime(Seconds([&] {
      std::sort(order.begin(), order.end(),
                [](const auto* a, const auto* b) { return std::strcmp(a->path, b->path) < 0; });
    }));
    benchmark::DoNotOptimize(order.data());
  }
}

void BM_SortEntries(benchmark::State& state) {
  selvane::EntryTable table;
  for (int i = 0; i < Count; ++i) {
    table.Append(std::make_unique<selvane::FileEntry>());
    selvane::CopyField(table[i].path, ReversedPath("C:\\Music", i));
  }
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { selvane::SortEntries(table); }));
    if (std::strcmp(table[0].path, table[Count - 1].path) >= 0) state.SkipWithError("not sorted");
    std::reverse(table.entries.begin(), table.entries.begin() + Count);
  }
}

// 1024 small tagged files in a fresh folder; false when they cannot all be
// written.
bool WriteTracks(const bench::Folder& folder) {
  if (folder.path().empty()) return false;
  for (int i = 0; i < Count; ++i)
    if (!bench::WriteTaggedFile(folder.path() + "/" + TrackName(i), "Title " + std::to_string(i)))
      return false;
  return true;
}

void BM_SortCommandWithRefresh(benchmark::State& state) {
  const bench::Folder folder;
  if (!WriteTracks(folder)) {
    state.SkipWithError("cannot write the files");
    return;
  }
  bench::SilentDialogs dialogs;
  MainWindow form({}, dialogs);
  form.show();
  for (int i = 0; i < Count; ++i)
    (void)selvane::AddEntry(form.table, ReversedPath(folder.path(), i).c_str(), form.NamingRule(),
                            form.Prompts());
  if (form.table.entryCount != Count) state.SkipWithError("files were not listed");
  form.RefreshLists();
  QApplication::processEvents();
  for (auto _ : state) {
    SetItemIndex(form.beforeList, 0);
    state.SetIterationTime(Seconds([&] { form.SortAll(); }));
    if (std::strcmp(form.table[0].path, form.table[Count - 1].path) >= 0)
      state.SkipWithError("not sorted");
    // Paint outside the timing, then list the files in reverse order again.
    QApplication::processEvents();
    std::reverse(form.table.entries.begin(), form.table.entries.begin() + Count);
  }
}

BENCHMARK(BM_FloorSortPointers)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(Repetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SortEntries)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(Repetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SortCommandWithRefresh)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(Repetitions)
    ->ReportAggregatesOnly(true)
    ->Iterations(10);

// Shows the usual table and keeps each benchmark's median for the ratios.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> medians;  // milliseconds
};

void PrintRatio(const MedianReporter& reporter, const char* name, double targetMs) {
  const auto floor = reporter.medians.find("BM_FloorSortPointers");
  const auto it = reporter.medians.find(name);
  if (floor == reporter.medians.end() || it == reporter.medians.end()) return;
  std::printf("%-28s median %8.3f ms  floor %7.4f ms  ratio %8.1fx  target < %.0f ms: %s\n", name,
              it->second, floor->second, it->second / floor->second, targetMs,
              it->second < targetMs ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWindowBenchmarks(argc, argv, [] {
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    PrintRatio(reporter, "BM_SortEntries", 10.0);
    PrintRatio(reporter, "BM_SortCommandWithRefresh", 60.0);
  });
}
