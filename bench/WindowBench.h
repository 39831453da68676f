#pragma once
// What the benchmarks of the main window share: dialogs that never ask, and
// a main() that gives them an application to run in.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "app/Dialogs.h"

namespace bench {

// Answers every box with No and records nothing: the benchmarks never ask.
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

// Runs the registered benchmarks with `run` (which also prints what follows
// the table). The window runs on the offscreen platform, with its settings
// in a throw-away folder: without one the run is refused, so a benchmark
// never touches the user's settings.
template <typename Run>
int RunWindowBenchmarks(int argc, char** argv, Run run) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char config[] = "/tmp/selvane-bench-config-XXXXXX";
  if (::mkdtemp(config) == nullptr) {
    std::perror("selvane-bench-config");
    return 1;
  }
  ::setenv("XDG_CONFIG_HOME", config, 1);
  ::setenv("XDG_CONFIG_DIRS", config, 1);
  // The offscreen platform warns about window hints it cannot honour.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
      std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) run();
    benchmark::Shutdown();
  }
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
  return 0;
}

}  // namespace bench
