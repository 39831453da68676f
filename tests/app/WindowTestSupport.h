#pragma once
// Helpers for driving the main window in tests: MP3 files with ID3v1
// trailers, the settings files, and a shown window on the offscreen screen.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "app/Unit1.h"
#include "core/filelist/EntryTable.h"
#include "core/platform/Cp932.h"
#include "tests/app/ScriptedDialogs.h"
#include "tests/core/TempFolder.h"

// Tag texts in UTF-8; they are written as CP932.
struct DemoTag {
  std::string title, artist, album, year, comment;
  unsigned char genre = 0;
};

// 300 bytes of frame-like data, then the 128-byte trailer when `tag` is given.
inline void WriteMp3(const std::string& path, const DemoTag* tag) {
  std::string bytes(300, '\xFF');
  if (tag != nullptr) {
    std::array<char, 128> trailer{};
    std::memcpy(trailer.data(), "TAG", 3);
    auto put = [&trailer](std::size_t offset, std::size_t width, const std::string& utf8) {
      const std::string text = selvane::Cp932(utf8);
      std::memcpy(trailer.data() + offset, text.data(), std::min(width, text.size()));
    };
    put(3, 30, tag->title);
    put(33, 30, tag->artist);
    put(63, 30, tag->album);
    put(93, 4, tag->year);
    put(97, 30, tag->comment);
    trailer[127] = static_cast<char>(tag->genre);
    bytes.append(trailer.data(), trailer.size());
  }
  WriteBytes(path, bytes);
}

inline QString UserSettingsFile() {
  return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) +
         QStringLiteral("/Brindle/Selvane.ini");
}

inline QString MachineSettingsFile() {
  const QString dirs = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_DIRS"));
  return dirs.section(QLatin1Char(':'), 0, 0) + QStringLiteral("/Brindle/Selvane.ini");
}

// Removes both settings files, whatever stands at their place.
inline void ForgetSettings() {
  for (const QString& file : {UserSettingsFile(), MachineSettingsFile()}) {
    QDir(file).removeRecursively();
    QFile::remove(file);
  }
}

inline void WriteSettings(const QString& file, const QByteArray& ini) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  QFile out(file);
  if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(ini);
}

// A main window as the program makes it: the first paint still pending,
// shown, painted and settled.
inline std::unique_ptr<TForm1> OpenWindow(Dialogs& dialogs, const QStringList& args = {}) {
  firstPaintPending = 1;
  auto form = std::make_unique<TForm1>(args, dialogs);
  form->show();
  [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(form.get());
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  return form;
}

// Types text into a control one character at a time, as a keyboard with
// that character would (QTest's key clicks know only ASCII).
inline void Type(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(widget, &release);
  }
}

// Adds files straight into the table, named by the window's rule, and shows
// them as a command would.
inline void AddFiles(TForm1& form, std::initializer_list<std::string> paths) {
  for (const std::string& path : paths)
    selvane::AddEntry(form.table, path.c_str(), form.NamingRule(), form.Prompts());
  form.RefreshLists();
}
