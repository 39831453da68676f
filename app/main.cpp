// Selvane: one instance per session; an error escaping a handler is shown in
// the application's error box and the program goes on.
#include <malloc.h>

#include <QApplication>
#include <QTranslator>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/AppLook.h"
#include "app/Dialogs.h"
#include "app/Glyphs.h"
#include "app/MainWindow.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/InstanceLock.h"

namespace {

class SelvaneApplication : public QApplication {
 public:
  SelvaneApplication(int& argc, char** argv, Dialogs& dialogs)
      : QApplication(argc, argv), dialogs_(dialogs) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      dialogs_.ShowError(activeWindow(), QString::fromUtf8(error.what()));
    } catch (...) {
      dialogs_.ShowError(activeWindow(), QStringLiteral("予期しないエラーが発生しました"));
    }
    return false;
  }

 private:
  Dialogs& dialogs_;
};

}  // namespace

int main(int argc, char* argv[]) {
  // A list over a whole collection makes working tables of many megabytes
  // (a rename's plan, its outcomes): each is mapped for itself and given
  // back when done, never left as a hole under later, smaller allocations.
  // (The allocator would otherwise raise this threshold after the first
  // such table is freed.)
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  // A second instance ends at once, silently, and drops its arguments.
  const selvane::InstanceLock lock("SELVANE");
  if (!lock.Acquired()) return 0;

  // A Wayland desktop lets no program place its own windows or keep them on
  // top. Where it offers an X display (XWayland), Qt's X11 platform keeps
  // the stored position and the always-on-top switch working; Qt's own
  // choice is the fallback. A platform the user chose is left alone.
  const bool chosePlatform =
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY");
  if (chosePlatform) qputenv("QT_QPA_PLATFORM", "xcb;wayland");

  // Over a long command line the files' tags are read on a second thread
  // while the window is built; the first screen's rows read their own.
  std::unique_ptr<selvane::TailsReadAhead> readAhead;
  if (argc - 1 > selvane::ProgressFrom)
    readAhead = selvane::ReadAheadOfArguments(std::vector<std::string>(argv + 1, argv + argc), 64);

  QtDialogs dialogs;
  SelvaneApplication app(argc, argv, dialogs);
  // Programs started from here (a mail program, a browser) choose their own.
  if (chosePlatform) qunsetenv("QT_QPA_PLATFORM");
  QApplication::setApplicationName(QStringLiteral("Selvane"));
  QApplication::setOrganizationName(QStringLiteral("Brindle"));
  QTranslator qtTexts;
  SetApplicationLook(qtTexts);

  try {
    // The arguments go in as the system gave them: a name need not be
    // valid text to name a file.
    MainWindow form(std::vector<std::string>(argv + 1, argv + argc), dialogs);
    form.UseReadAhead(std::move(readAhead));
    form.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    dialogs.ShowError(nullptr, QString::fromUtf8(error.what()));
  }
  return 0;
}
