// The naming road for 1024 listed files: adding them all, one expansion of
// every new name (the core of a new-name refresh), and a rename run without
// collisions. Each iteration times the work and, beside it, its floor -- the
// bare system calls the work cannot avoid -- on the same files, alternating
// which goes first. The ratio of the medians is a counter and is printed
// again after the run with its target.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"

namespace {

using bench::Folder;
using bench::Seconds;
using selvane::EntryTable;
// SELVANE_BENCH_FILES sets another count (20000 for a large folder).
int FileCount() {
  const char* text = std::getenv("SELVANE_BENCH_FILES");
  const int count = text != nullptr ? std::atoi(text) : 0;
  return count > 1 ? count : selvane::SmallListEntries;
}
const int Count = FileCount();
constexpr std::string_view Rule = "$T($A).mp3";

class QuietPrompts final : public selvane::UserPrompts {
 public:
  void SetStatus(std::string_view) override {}
  void Refuse(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return false; }
  void ShowError(std::string_view) override {}
};

// Times the work and its floor once each, taking turns at going first so
// that neither always meets the caches the other warmed.
class TakingTurns {
 public:
  template <typename Work, typename Floor>
  void Time(Work&& work, Floor&& floor, std::vector<double>& workSeconds,
            std::vector<double>& floorSeconds) {
    if (floorFirst_) floorSeconds.push_back(Seconds(floor));
    workSeconds.push_back(Seconds(work));
    if (!floorFirst_) floorSeconds.push_back(Seconds(floor));
    floorFirst_ = !floorFirst_;
  }

 private:
  bool floorFirst_ = false;
};

// One file of the set, CP932 and native names. Every 16th is Japanese.
struct BenchFile {
  std::string cp932Path;
  std::string nativePath;
};

// Writes `Count` small MP3-like files with trailers into `folder`.
std::vector<BenchFile> WriteFiles(const std::string& folder) {
  std::vector<BenchFile> files;
  if (folder.empty()) return files;
  files.reserve(static_cast<std::size_t>(Count));
  for (int i = 0; i < Count; ++i) {
    char number[12];
    std::snprintf(number, sizeof number, "%04d", i);
    const bool japanese = i % 16 == 0;
    // "曲" and "歌手" in CP932 for the Japanese ones.
    const std::string name = (japanese ? std::string("\x8B\xC8") : std::string("track")) + number;
    const std::string title = (japanese ? std::string("\x8B\xC8 ") : std::string("Song ")) + number;
    const std::string artist = japanese ? "\x89\xCC\x8E\xE8" : "Artist";
    BenchFile f;
    f.cp932Path = folder + "/" + name + ".mp3";
    if (!selvane::Cp932PathToNative(f.cp932Path, f.nativePath)) return {};
    if (!bench::WriteTaggedFile(f.nativePath, title, artist, "Album", "2001")) return {};
    files.push_back(std::move(f));
  }
  return files;
}

// The floor of reading every trailer: what ReadTag cannot do without.
void ReadTrailersFloor(const std::vector<BenchFile>& files) {
  for (const BenchFile& f : files) bench::ReadTrailerFloor(f.nativePath.c_str());
}

struct Result {
  double ratio = 0;
  double medianMs = 0;
  double floorMs = 0;
};
Result addResult, expandResult, renameResult;

void Report(benchmark::State& state, const std::vector<double>& work,
            const std::vector<double>& floor, Result& out) {
  out.medianMs = bench::MedianMs(work);
  out.floorMs = bench::MedianMs(floor);
  out.ratio = out.floorMs > 0 ? out.medianMs / out.floorMs : 0;
  state.counters["floor_ms"] = out.floorMs;
  state.counters["ratio"] = out.ratio;
}

// Lists every file, as the open command would.
void AddAll(EntryTable& table, const std::vector<BenchFile>& files, QuietPrompts& ui) {
  for (const BenchFile& f : files) selvane::AddEntry(table, f.cp932Path.c_str(), Rule, ui);
}

// The files of one benchmark, or none after telling the benchmark why.
std::vector<BenchFile> FilesOrSkip(benchmark::State& state, const Folder& folder) {
  std::vector<BenchFile> files = WriteFiles(folder.path());
  if (files.size() != static_cast<std::size_t>(Count)) {
    state.SkipWithError("cannot write the files");
    files.clear();
  }
  return files;
}

void BM_AddAll(benchmark::State& state) {
  const Folder folder;
  const std::vector<BenchFile> files = FilesOrSkip(state, folder);
  if (files.empty()) return;
  QuietPrompts ui;
  EntryTable table;
  std::vector<double> work, floor;
  TakingTurns turns;
  for (auto _ : state) {
    selvane::ClearEntries(table);
    turns.Time([&] { AddAll(table, files, ui); }, [&] { ReadTrailersFloor(files); }, work, floor);
    state.SetIterationTime(work.back());
    if (table.entryCount != Count) state.SkipWithError("not all added");
  }
  selvane::ClearEntries(table);
  Report(state, work, floor, addResult);
}

void BM_ExpandAll(benchmark::State& state) {
  const Folder folder;
  const std::vector<BenchFile> files = FilesOrSkip(state, folder);
  if (files.empty()) return;
  QuietPrompts ui;
  EntryTable table;
  AddAll(table, files, ui);
  std::vector<double> work, floor;
  TakingTurns turns;
  for (auto _ : state) {
    turns.Time([&] { selvane::ExpandAll(Rule, table); }, [&] { ReadTrailersFloor(files); }, work,
               floor);
    state.SetIterationTime(work.back());
    benchmark::DoNotOptimize(table[Count - 1].newPath);
  }
  if (std::string_view(table[1].newPath).find("Song 0001(Artist).mp3") == std::string_view::npos)
    state.SkipWithError("unexpected new name");
  selvane::ClearEntries(table);
  Report(state, work, floor, expandResult);
}

void BM_RenameRun(benchmark::State& state) {
  QuietPrompts ui;
  EntryTable table;
  std::vector<double> work, floor;
  TakingTurns turns;
  for (auto _ : state) {
    state.PauseTiming();
    // Declared paused; destroyed (removed) while the clock is paused again.
    auto runFolder = std::make_unique<Folder>(), floorFolder = std::make_unique<Folder>();
    const std::vector<BenchFile> runFiles = WriteFiles(runFolder->path());
    const std::vector<BenchFile> floorFiles = WriteFiles(floorFolder->path());
    if (runFiles.size() != static_cast<std::size_t>(Count) ||
        floorFiles.size() != static_cast<std::size_t>(Count)) {
      state.SkipWithError("cannot write the files");
      break;
    }
    selvane::ClearEntries(table);
    AddAll(table, runFiles, ui);
    selvane::ExpandAll(Rule, table);
    std::vector<std::string> floorTargets;
    floorTargets.reserve(static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i) floorTargets.push_back(floorFiles[i].nativePath + ".new");
    state.ResumeTiming();

    const auto floorPass = [&] {
      for (int i = 0; i < Count; ++i)
        benchmark::DoNotOptimize(
            ::rename(floorFiles[i].nativePath.c_str(), floorTargets[i].c_str()));
    };
    turns.Time([&] { selvane::RunRename(table, selvane::SystemFileOps(), ui); }, floorPass, work,
               floor);
    state.SetIterationTime(work.back());

    state.PauseTiming();
    if (std::string_view(table[1].path) != table[1].newPath ||
        std::string_view(table[1].path).find("Song 0001(Artist).mp3") == std::string_view::npos)
      state.SkipWithError("not renamed");
    runFolder.reset();
    floorFolder.reset();
    state.ResumeTiming();
  }
  selvane::ClearEntries(table);
  Report(state, work, floor, renameResult);
}

BENCHMARK(BM_AddAll)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ExpandAll)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
// Fewer rounds for a large folder: each writes every file twice.
BENCHMARK(BM_RenameRun)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(Count > 4 * selvane::SmallListEntries ? 7 : 40);

void PrintRatio(const char* what, const Result& r, double target) {
  if (r.floorMs <= 0) return;
  std::printf("%-26s %8.3f ms  floor %8.3f ms  ratio %5.2f", what, r.medianMs, r.floorMs, r.ratio);
  if (target > 0)
    std::printf("  (target %.1f: %s)\n", target, r.ratio <= target ? "met" : "MISSED");
  else
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nMedians over the run, each beside its floor:\n");
  std::printf("%d files\n", Count);
  PrintRatio("AddEntry", addResult, 0);
  PrintRatio("ExpandAll", expandResult, 2.5);
  PrintRatio("RunRename", renameResult, 3.0);
  benchmark::Shutdown();
  return 0;
}
