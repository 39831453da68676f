// What asking about the medium costs a rename of 20,000 files in one folder:
// for each file, how its folder compares names, the name checked against the
// medium's limits and its case-folded key; the mount table, the folder's
// probe and its limits are taken once per command. Set beside a floor
// measured in the same run, one lstat of each file, and the ratio of the
// medians is printed at the end.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/platform/Cp932.h"
#include "core/platform/FolderCase.h"
#include "core/platform/MediumNames.h"
#include "core/platform/Volume.h"

namespace {

using bench::Seconds;
constexpr int Count = 20000;

struct Files {
  bench::Folder folder;
  std::vector<std::string> names, paths;
  Files() {
    for (int i = 0; i < Count; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "Track %05d - Artist.mp3", i);
      names.emplace_back(name);
      paths.push_back(folder.path() + "/" + name);
      std::ofstream(paths.back()) << 'x';
    }
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

std::vector<double> floorSeconds, mediumSeconds;

void BM_FloorLstatEachFile(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    const double seconds = Seconds([&] {
      struct stat st {};
      for (const std::string& path : files.paths)
        benchmark::DoNotOptimize(::lstat(path.c_str(), &st));
    });
    floorSeconds.push_back(seconds);
    state.SetIterationTime(seconds);
  }
}

void BM_MediumRulesEachFile(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    const double seconds = Seconds([&] {
      selvane::MountTable mounts = selvane::MountTable::Read();
      selvane::FolderCase folderCase(mounts);
      const selvane::Medium medium = selvane::MediumOf(files.folder.path(), mounts);
      for (const std::string& name : files.names) {
        const bool ignores = folderCase.IgnoresCase(files.folder.path());
        benchmark::DoNotOptimize(selvane::MediumNameRefusal(name, medium));
        if (ignores) benchmark::DoNotOptimize(selvane::CaseFoldKey(name));
      }
    });
    mediumSeconds.push_back(seconds);
    state.SetIterationTime(seconds);
  }
}

BENCHMARK(BM_FloorLstatEachFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_MediumRulesEachFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  const double floor = bench::MedianMs(floorSeconds), medium = bench::MedianMs(mediumSeconds);
  if (floor > 0 && medium > 0)
    std::printf(
        "\nBM_MediumRulesEachFile median %.3f ms  floor (lstat each file) %.3f ms  ratio %.2fx\n",
        medium, floor, medium / floor);
  benchmark::Shutdown();
  return 0;
}
