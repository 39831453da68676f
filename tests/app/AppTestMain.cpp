// Window tests run on Qt's offscreen platform, with the settings, the
// session's runtime folder, the history and the trash in fresh temporary
// folders: no test reads or writes the user's own configuration, history
// or Trash.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QTemporaryDir>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform has no window manager to pass size limits, raising
// or keyboard grabs to, and says so each time; that is expected here.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir configHome;
  QTemporaryDir configDirs;
  QTemporaryDir runtime;
  QTemporaryDir stateHome;
  QTemporaryDir dataHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  qputenv("XDG_CONFIG_DIRS", configDirs.path().toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  qputenv("XDG_STATE_HOME", stateHome.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());

  defaultHandler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  QApplication::setFont(font);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
