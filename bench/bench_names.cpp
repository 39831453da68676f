// The naming road for 1024 listed files: adding them all, one expansion of
// every new name (the core of a new-name refresh), and a rename run without
// collisions. Each iteration times the work and, beside it, its floor -- the
// bare system calls the work cannot avoid -- on the same files, alternating
// which goes first. The ratio of the medians is a counter and is printed
// again after the run with its target.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"

namespace {

using selvane::EntryTable;
constexpr int Count = selvane::MaxEntries;
constexpr std::string_view Rule = "$T($A).mp3";

class QuietPrompts final : public selvane::UserPrompts {
 public:
  void SetStatus(std::string_view) override {}
  void Refuse(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return false; }
  void ShowError(std::string_view) override {}
};

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// A fresh folder, removed with its files when the guard goes.
class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/selvane-bench-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One file of the set, CP932 and native names. Every 16th is Japanese.
struct BenchFile {
  std::string cp932Path;
  std::string nativePath;
};

std::string Field(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

// Writes `Count` small MP3-like files with trailers into `folder`.
std::vector<BenchFile> WriteFiles(const std::string& folder) {
  std::vector<BenchFile> files;
  if (folder.empty()) return files;
  files.reserve(Count);
  const std::string audio(2048, '\x55');
  for (int i = 0; i < Count; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", i);
    const bool japanese = i % 16 == 0;
    // "曲" and "歌手" in CP932 for the Japanese ones.
    const std::string name = (japanese ? std::string("\x8B\xC8") : std::string("track")) + number;
    const std::string title = (japanese ? std::string("\x8B\xC8 ") : std::string("Song ")) + number;
    const std::string artist = japanese ? "\x89\xCC\x8E\xE8" : "Artist";
    BenchFile f;
    f.cp932Path = folder + "/" + name + ".mp3";
    if (!selvane::Cp932PathToNative(f.cp932Path, f.nativePath)) return {};
    const std::string bytes = audio + "TAG" + Field(title, 30) + Field(artist, 30) +
                              Field("Album", 30) + "2001" + Field("", 30) + '\x0D';
    const int fd = ::open(f.nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return {};
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!written) return {};
    files.push_back(std::move(f));
  }
  return files;
}

// The floor of reading every trailer: what ReadTag cannot do without.
void ReadTrailersFloor(const std::vector<BenchFile>& files) {
  unsigned char tail[128];
  for (const BenchFile& f : files) {
    const int fd = ::open(f.nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size >= 128)
      benchmark::DoNotOptimize(::pread(fd, tail, sizeof tail, st.st_size - 128));
    ::close(fd);
  }
}

struct Result {
  double ratio = 0;
  double medianMs = 0;
  double floorMs = 0;
};
Result addResult, expandResult, renameResult;

void Report(benchmark::State& state, const std::vector<double>& work,
            const std::vector<double>& floor, Result& out) {
  out.medianMs = Median(work) * 1e3;
  out.floorMs = Median(floor) * 1e3;
  out.ratio = out.floorMs > 0 ? out.medianMs / out.floorMs : 0;
  state.counters["floor_ms"] = out.floorMs;
  state.counters["ratio"] = out.ratio;
}

void BM_AddAll(benchmark::State& state) {
  const Folder folder;
  const std::vector<BenchFile> files = WriteFiles(folder.path());
  if (files.size() != Count) {
    state.SkipWithError("cannot write the files");
    return;
  }
  QuietPrompts ui;
  EntryTable table;
  std::vector<double> work, floor;
  bool floorFirst = false;
  for (auto _ : state) {
    selvane::ClearEntries(table);
    const auto addAll = [&] {
      for (const BenchFile& f : files) selvane::AddEntry(table, f.cp932Path.c_str(), Rule, ui);
    };
    if (floorFirst) floor.push_back(Seconds([&] { ReadTrailersFloor(files); }));
    work.push_back(Seconds(addAll));
    if (!floorFirst) floor.push_back(Seconds([&] { ReadTrailersFloor(files); }));
    floorFirst = !floorFirst;
    state.SetIterationTime(work.back());
    if (table.entryCount != Count) state.SkipWithError("not all added");
  }
  selvane::ClearEntries(table);
  Report(state, work, floor, addResult);
}

void BM_ExpandAll(benchmark::State& state) {
  const Folder folder;
  const std::vector<BenchFile> files = WriteFiles(folder.path());
  if (files.size() != Count) {
    state.SkipWithError("cannot write the files");
    return;
  }
  QuietPrompts ui;
  EntryTable table;
  for (const BenchFile& f : files) selvane::AddEntry(table, f.cp932Path.c_str(), Rule, ui);
  std::vector<double> work, floor;
  bool floorFirst = false;
  for (auto _ : state) {
    if (floorFirst) floor.push_back(Seconds([&] { ReadTrailersFloor(files); }));
    work.push_back(Seconds([&] { selvane::ExpandAll(Rule, table); }));
    if (!floorFirst) floor.push_back(Seconds([&] { ReadTrailersFloor(files); }));
    floorFirst = !floorFirst;
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
  bool floorFirst = false;
  for (auto _ : state) {
    state.PauseTiming();
    // Declared paused; destroyed (removed) while the clock is paused again.
    auto runFolder = std::make_unique<Folder>(), floorFolder = std::make_unique<Folder>();
    const std::vector<BenchFile> runFiles = WriteFiles(runFolder->path());
    const std::vector<BenchFile> floorFiles = WriteFiles(floorFolder->path());
    if (runFiles.size() != Count || floorFiles.size() != Count) {
      state.SkipWithError("cannot write the files");
      break;
    }
    selvane::ClearEntries(table);
    for (const BenchFile& f : runFiles) selvane::AddEntry(table, f.cp932Path.c_str(), Rule, ui);
    selvane::ExpandAll(Rule, table);
    std::vector<std::string> floorTargets;
    floorTargets.reserve(Count);
    for (int i = 0; i < Count; ++i) floorTargets.push_back(floorFiles[i].nativePath + ".new");
    state.ResumeTiming();

    const auto floorPass = [&] {
      for (int i = 0; i < Count; ++i)
        benchmark::DoNotOptimize(
            ::rename(floorFiles[i].nativePath.c_str(), floorTargets[i].c_str()));
    };
    if (floorFirst) floor.push_back(Seconds(floorPass));
    work.push_back(Seconds([&] { selvane::RunRename(table, selvane::SystemFileOps(), ui); }));
    if (!floorFirst) floor.push_back(Seconds(floorPass));
    floorFirst = !floorFirst;
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
BENCHMARK(BM_RenameRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

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
  PrintRatio("AddEntry x1024", addResult, 0);
  PrintRatio("ExpandAll x1024", expandResult, 2.5);
  PrintRatio("RunRename x1024", renameResult, 3.0);
  benchmark::Shutdown();
  return 0;
}
