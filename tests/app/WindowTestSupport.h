#pragma once
// Helpers for driving the main window in tests: MP3 files with ID3v1
// trailers, the settings files, a shown window on the offscreen screen, and
// the fixture most window tests start from.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "app/TagPanel.h"
#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "tests/app/ScriptedDialogs.h"
#include "tests/core/TempFolder.h"

// Tag texts in UTF-8; they are written as CP932.
struct DemoTag {
  std::string title, artist, album, year, comment;
  unsigned char genre = 0;
};

// What WriteMp3 puts before the trailer: frame-like bytes.
inline const std::string Mp3Body(300, '\xFF');

// Mp3Body, then the 128-byte trailer when `tag` is given (fields NUL-padded,
// as many other taggers leave them).
inline void WriteMp3(const std::string& path, const DemoTag* tag) {
  std::string bytes = Mp3Body;
  if (tag != nullptr) {
    using selvane::Cp932;
    bytes += TrailerBytes(Cp932(tag->title), Cp932(tag->artist), Cp932(tag->album),
                          Cp932(tag->year), Cp932(tag->comment), tag->genre, '\0');
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
inline std::unique_ptr<MainWindow> OpenWindow(Dialogs& dialogs,
                                              std::vector<std::string> args = {}) {
  firstPaintPending = 1;
  auto form = std::make_unique<MainWindow>(std::move(args), dialogs);
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
inline void AddFiles(MainWindow& form, std::initializer_list<std::string> paths) {
  for (const std::string& path : paths)
    selvane::AddEntry(form.table, path.c_str(), form.NamingRule(), form.Prompts());
  form.RefreshLists();
}

// The lines a list shows, top to bottom.
inline QStringList Lines(const QAbstractItemView* list) {
  QStringList lines;
  const QAbstractItemModel* model = list->model();
  for (int i = 0; i < model->rowCount(); ++i) lines << model->index(i, 0).data().toString();
  return lines;
}

// The line a list shows for a row.
inline QString Line(const QAbstractItemView* list, int row) {
  return list->model()->index(row, 0).data().toString();
}

// What a list holds for a row under `role` (a mark, a tooltip).
inline QVariant RowData(const QAbstractItemView* list, int row, int role) {
  return list->model()->index(row, 0).data(role);
}

// A left click on a row of a list, as a person makes it.
inline void ClickRow(QAbstractItemView* list, int row) {
  const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// The access letter of a caption ("更新(&U)" gives 'u').
inline char AccessLetter(const QString& caption) {
  const qsizetype at = caption.indexOf(QLatin1Char('&'));
  return at < 0 || at + 1 >= caption.size() ? '\0' : caption.at(at + 1).toLower().toLatin1();
}

// Opens the item's menu of the menu bar with Alt and its access letter and
// picks the item with its own letter, as a person at the keyboard does. A
// greyed item does nothing; the menu is then closed again. True when the
// item's command ran.
inline bool ChooseMenuItem(QWidget& window, QAction* item) {
  QMenu* menu = nullptr;
  for (QAction* title : window.findChild<QMenuBar*>()->actions())
    if (title->menu()->actions().contains(item)) menu = title->menu();
  if (menu == nullptr) return false;
  QApplication::setActiveWindow(&window);
  window.activateWindow();
  int ran = 0;
  const QMetaObject::Connection counting =
      QObject::connect(item, &QAction::triggered, [&ran] { ++ran; });
  // A key's release goes where the keyboard is once the press has been
  // handled: to the menu while it is open, else to the focused control.
  const auto release = [&window](char key, Qt::KeyboardModifiers modifiers) {
    QWidget* to = QApplication::activePopupWidget();
    if (to == nullptr) to = QApplication::focusWidget();
    QTest::keyRelease(to != nullptr ? to : &window, key, modifiers);
  };
  const char menuLetter = AccessLetter(menu->title());
  QTest::keyPress(&window, menuLetter, Qt::AltModifier);
  release(menuLetter, Qt::AltModifier);
  if (QWidget* popup = QApplication::activePopupWidget()) {
    const char itemLetter = AccessLetter(item->text());
    QTest::keyPress(popup, itemLetter);
    release(itemLetter, Qt::NoModifier);
  }
  while (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
  QObject::disconnect(counting);
  QCoreApplication::processEvents();
  return ran > 0;
}

// Points an XDG folder variable at a fresh folder while it lives.
class FreshXdgFolder {
 public:
  explicit FreshXdgFolder(const char* variable) : variable_(variable), saved_(qgetenv(variable)) {
    qputenv(variable, QByteArray::fromStdString(folder_.path()));
  }
  ~FreshXdgFolder() { qputenv(variable_, saved_); }
  FreshXdgFolder(const FreshXdgFolder&) = delete;
  FreshXdgFolder& operator=(const FreshXdgFolder&) = delete;
  const std::string& path() const { return folder_.path(); }

 private:
  const char* variable_;
  QByteArray saved_;
  TempFolder folder_;
};

// A freshly opened main window without stored settings, its dialogs, and a
// temporary folder for the files it is given; its history and trash are
// its own.
class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ForgetSettings();
    // Off the window: the control under a resting pointer gives its hint
    // once a menu's command is done, and no test expects one by chance.
    QCursor::setPos(QPoint(5000, 5000));
    form = OpenWindow(dialogs);
  }

  // Both lists on `row` and the panel showing it, as a click on the row
  // leaves them.
  void Select(int row) {
    SetItemIndex(form->beforeList, row);
    SetItemIndex(form->afterList, row);
    form->ShowTagPanel();
  }

  void ExpectSelected(int row) const {
    EXPECT_EQ(form->SelectedIndex(), row);
    EXPECT_EQ(ItemIndex(form->afterList), row);
  }

  TempFolder folder;
  FreshXdgFolder stateHome{"XDG_STATE_HOME"}, dataHome{"XDG_DATA_HOME"};
  ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> form;
};
