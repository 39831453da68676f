// One whole new-name refresh of the window (RefreshNames) with 1024 listed
// files: every trailer read again, every name expanded, both lists rebuilt,
// the selection restored, the rows of the "after" list marked and the tag
// panel shown. Beside it, in the same
// iterations and alternating which goes first, two floors: the bare
// open/fstat/pread/close pass over the same files, and the bare rebuild of
// the same two lists from ready-made lines. The medians, the ratios and the
// 50 ms target are printed after the run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QStringList>
#include <QStringListModel>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "bench/BenchSupport.h"
#include "bench/WindowBench.h"
#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/FileOps.h"

namespace {

using bench::MedianMs;
using bench::Seconds;
constexpr int Count = selvane::SmallListEntries;
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

// What showing 1024 lines in each list cannot do without: the lines handed
// to two plain views of Qt's own string model.
struct PlainLists {
  QStringListModel before, after;
  QListView left, right;
  PlainLists() {
    for (QListView* view : {&left, &right}) view->setUniformItemSizes(true);
    left.setModel(&before);
    right.setModel(&after);
  }
};
void FillListsFloor(PlainLists& plain, const QStringList& before, const QStringList& after) {
  plain.before.setStringList(before);
  plain.after.setStringList(after);
}

// The real file system, counting the status calls that the marks of the
// "after" list make: at most one per row and refresh.
class CountingOps : public selvane::FileOps {
 public:
  selvane::FileResult Length(const char* p, std::int64_t& n) override { return real_.Length(p, n); }
  selvane::FileResult ReadTail(const char* p, unsigned char* t, std::int64_t& n) override {
    return real_.ReadTail(p, t, n);
  }
  selvane::FileResult ReadAt(const char* p, std::int64_t o, void* d, std::size_t n) override {
    return real_.ReadAt(p, o, d, n);
  }
  selvane::FileResult Truncate(const char* p, std::int64_t n) override {
    return real_.Truncate(p, n);
  }
  selvane::FileResult Append(const char* p, const void* d, std::size_t n) override {
    return real_.Append(p, d, n);
  }
  selvane::FileResult WriteAt(const char* p, std::int64_t o, const void* d,
                              std::size_t n) override {
    return real_.WriteAt(p, o, d, n);
  }
  selvane::FileStatus Status(const char* p) override {
    ++statusCalls;
    return real_.Status(p);
  }
  selvane::FileResult Delete(const char* p) override { return real_.Delete(p); }
  selvane::FileResult Move(const char* f, const char* t) override { return real_.Move(f, t); }
  long statusCalls = 0;

 private:
  selvane::FileOps& real_ = selvane::SystemFileOps();
};

struct Result {
  double workMs = 0, readMs = 0, listsMs = 0;
  double statusCallsPerRefresh = 0;
};
Result result;

void BM_RefreshNames(benchmark::State& state) {
  const TaggedFolder folder;
  if (folder.files().size() != Count) {
    state.SkipWithError("cannot write the files");
    return;
  }
  bench::SilentDialogs dialogs;
  MainWindow form({}, dialogs);
  CountingOps counting;
  form.fileOps = &counting;
  form.show();
  for (const std::string& file : folder.files())
    (void)selvane::AddEntry(form.table, file.c_str(), form.NamingRule(), form.Prompts());
  if (form.table.entryCount != Count) {
    state.SkipWithError("files were not listed");
    return;
  }
  form.RefreshLists();
  SetItemIndex(form.beforeList, Count / 2);
  SetItemIndex(form.afterList, Count / 2);
  QStringList before, after;
  for (int i = 0; i < Count; ++i) {
    before << form.beforeList->Rows().Line(i);
    after << form.afterList->Rows().Line(i);
  }
  PlainLists plain;
  QApplication::processEvents();

  std::vector<double> work, read, lists;
  counting.statusCalls = 0;
  bool floorsFirst = false;
  for (auto _ : state) {
    const auto floors = [&] {
      read.push_back(Seconds([&] { ReadTrailersFloor(folder.files()); }));
      lists.push_back(Seconds([&] { FillListsFloor(plain, before, after); }));
    };
    if (floorsFirst) floors();
    work.push_back(Seconds([&] { form.RefreshNames(); }));
    if (form.SelectedIndex() != Count / 2 || ItemIndex(form.afterList) != Count / 2 ||
        form.afterList->count() != Count)
      state.SkipWithError("selection or lists not restored");
    if (!floorsFirst) floors();
    floorsFirst = !floorsFirst;
    state.SetIterationTime(work.back());
    // Paint outside the timing, as the event loop would after the command.
    QApplication::processEvents();
  }
  result = {MedianMs(work), MedianMs(read), MedianMs(lists),
            static_cast<double>(counting.statusCalls) / static_cast<double>(work.size())};
  state.counters["read_floor_ms"] = result.readMs;
  state.counters["lists_floor_ms"] = result.listsMs;
}

BENCHMARK(BM_RefreshNames)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

void PrintResult() {
  if (result.readMs <= 0 || result.listsMs <= 0) return;
  const double floor = result.readMs + result.listsMs;
  std::printf(
      "\nRefreshNames, 1024 entries  median %7.3f ms  (target < %.0f ms: %s)\n"
      "  floor: trailer reads   %7.3f ms  ratio %5.2f\n"
      "  floor: list rebuild    %7.3f ms  ratio %5.2f\n"
      "  floor: both together   %7.3f ms  ratio %5.2f\n"
      "  marks of the after list: %.0f status calls per refresh, %.2f per row (at most 2)\n",
      result.workMs, TargetMs, result.workMs < TargetMs ? "met" : "MISSED", result.readMs,
      result.workMs / result.readMs, result.listsMs, result.workMs / result.listsMs, floor,
      result.workMs / floor, result.statusCallsPerRefresh, result.statusCallsPerRefresh / Count);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWindowBenchmarks(argc, argv, [] {
    benchmark::RunSpecifiedBenchmarks();
    PrintResult();
  });
}
