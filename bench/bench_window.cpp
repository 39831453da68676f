// One whole new-name refresh of the window (Edit1Exit) with 1024 listed
// files: every trailer read again, every name expanded, both lists rebuilt,
// the selection restored and the tag panel shown. Beside it, in the same
// iterations and alternating which goes first, two floors: the bare
// open/fstat/pread/close pass over the same files, and the bare rebuild of
// the same two lists from ready-made lines. The medians, the ratios and the
// 50 ms target are printed after the run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/filelist/EntryTable.h"

namespace {

constexpr int Count = selvane::MaxEntries;
constexpr double TargetMs = 50.0;

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double MedianMs(std::vector<double> seconds) {
  if (seconds.empty()) return 0;
  std::nth_element(seconds.begin(), seconds.begin() + static_cast<long>(seconds.size() / 2),
                   seconds.end());
  return seconds[seconds.size() / 2] * 1e3;
}

// Answers nothing: the refresh never asks.
class SilentDialogs : public Dialogs {
 public:
  void Refuse(QWidget*, const QString&, const QString&) override {}
  bool Ask(QWidget*, const QString&, const QString&) override { return false; }
  void ShowError(QWidget*, const QString&) override {}
  QStringList ChooseFiles(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return {};
  }
  void OpenUrl(const QUrl&) override {}
};

// 1024 small tagged files in a fresh folder, removed at the end. The paths
// are ASCII, so native and CP932 paths are the same bytes.
class TaggedFolder {
 public:
  TaggedFolder() {
    char pattern[] = "/tmp/selvane-bench-window-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    path_ = pattern;
    const std::string audio(2048, '\x55');
    for (int i = 0; i < Count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/track%04d.mp3", i);
      std::string trailer = "TAG" + std::string(124, ' ') + '\x0D';
      const std::string title = "Song " + std::to_string(i);
      trailer.replace(3, title.size(), title);
      trailer.replace(33, 6, "Artist");
      const std::string file = path_ + name;
      const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) return;
      const std::string bytes = audio + trailer;
      const bool written =
          ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
      ::close(fd);
      if (!written) return;
      files_.push_back(file);
    }
  }
  ~TaggedFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TaggedFolder(const TaggedFolder&) = delete;
  TaggedFolder& operator=(const TaggedFolder&) = delete;
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// What reading every trailer cannot do without.
void ReadTrailersFloor(const std::vector<std::string>& files) {
  unsigned char tail[128];
  for (const std::string& file : files) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size >= 128)
      benchmark::DoNotOptimize(::pread(fd, tail, sizeof tail, st.st_size - 128));
    ::close(fd);
  }
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
  SilentDialogs dialogs;
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
  // The window runs on the offscreen platform, with its settings in a
  // throw-away folder so the bench never touches the user's.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char config[] = "/tmp/selvane-bench-config-XXXXXX";
  const bool haveConfig = ::mkdtemp(config) != nullptr;
  if (haveConfig) {
    ::setenv("XDG_CONFIG_HOME", config, 1);
    ::setenv("XDG_CONFIG_DIRS", config, 1);
  }
  // The offscreen platform warns about window hints it cannot honour.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
      std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) {
      benchmark::RunSpecifiedBenchmarks();
      PrintResult();
    }
    benchmark::Shutdown();
  }
  if (haveConfig) {
    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
  }
  return 0;
}
