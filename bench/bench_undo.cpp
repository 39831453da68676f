// What the history costs a rename, and what its undo costs, at 1,024 and
// 20,000 files in one folder: the run (recorded, each file's identity taken
// after its move) beside a floor measured in the same run, a C loop of
// renameat2 over the same files; and the undo of that run beside the run.
// The ratios of the medians are printed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/platform/Trash.h"
#include "core/rename/RenameRun.h"

namespace {

using bench::QuietPrompts;
using bench::Seconds;

struct Files {
  bench::Folder folder, state;
  std::vector<std::string> paths, newPaths;
  explicit Files(int count) {
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    for (int i = 0; i < count; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "/Track %05d - Artist.mp3", i);
      paths.push_back(folder.path() + name);
      std::snprintf(name, sizeof name, "/Title %05d(Artist).mp3", i);
      newPaths.push_back(folder.path() + name);
      bench::WriteTaggedFile(paths.back(), "Title", "Artist");
    }
  }
};

Files& TheFiles(int count) {
  static std::map<int, std::unique_ptr<Files>> made;
  auto& files = made[count];
  if (!files) files = std::make_unique<Files>(count);
  return *files;
}

std::map<int, std::vector<double>> floorSeconds, renameSeconds, undoSeconds;

int RenameNoReplace(const std::string& from, const std::string& to) {
  return static_cast<int>(
      ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1U));
}

void BM_FloorRenameEachFile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Files& files = TheFiles(count);
  for (auto _ : state) {
    const double seconds = Seconds([&] {
      for (std::size_t i = 0; i < files.paths.size(); ++i)
        benchmark::DoNotOptimize(RenameNoReplace(files.paths[i], files.newPaths[i]));
    });
    for (std::size_t i = 0; i < files.paths.size(); ++i)
      RenameNoReplace(files.newPaths[i], files.paths[i]);
    floorSeconds[count].push_back(seconds);
    state.SetIterationTime(seconds);
  }
}

// One round: the recorded run, then its undo, which puts the folder back.
void BM_RecordedRenameThenUndo(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Files& files = TheFiles(count);
  selvane::History history;
  selvane::FreedesktopTrash trash;
  QuietPrompts ui;
  for (auto _ : state) {
    selvane::EntryTable table;
    for (std::size_t i = 0; i < files.paths.size(); ++i) {
      table.Append(std::make_unique<selvane::FileEntry>());
      selvane::CopyField(table[table.entryCount - 1].path, files.paths[i]);
      selvane::CopyField(table[table.entryCount - 1].newPath, files.newPaths[i]);
    }
    const double renamed = Seconds([&] {
      selvane::RunRename(table, selvane::SystemFileOps(), ui,
                         {.trash = &trash, .history = &history});
    });
    const double undone =
        Seconds([&] { selvane::RunUndo(history.store(), selvane::SystemFileOps(), trash, ui); });
    renameSeconds[count].push_back(renamed);
    undoSeconds[count].push_back(undone);
    state.SetIterationTime(renamed + undone);
  }
  if (ui.refusals > 0) state.SkipWithError("the run or its undo refused something");
}

BENCHMARK(BM_FloorRenameEachFile)
    ->Arg(1024)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);
BENCHMARK(BM_RecordedRenameThenUndo)
    ->Arg(1024)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  for (const auto& [count, seconds] : floorSeconds) {
    const double floor = bench::MedianMs(seconds), run = bench::MedianMs(renameSeconds[count]);
    const double undo = bench::MedianMs(undoSeconds[count]);
    if (floor <= 0 || run <= 0) continue;
    std::printf(
        "\n%d files: recorded rename %.1f ms, floor (renameat2 each file) %.1f ms, ratio %.2fx"
        "\n%d files: undo %.1f ms, recorded rename %.1f ms, ratio %.2fx\n",
        count, run, floor, run / floor, count, undo, run, undo / run);
  }
  benchmark::Shutdown();
  return 0;
}
