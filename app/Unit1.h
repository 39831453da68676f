#pragma once
// TForm1, the main window. Its slots carry the designed handler names; every
// designed component is a member with its designed name and objectName.
// Beside it, each with a job of its own: StatusLine (the status line and
// its hints), TagPanel (the five tag fields and the genre), WindowPrompts
// (the core's questions, answered through Dialogs) and FileIntake (the one
// road by which files come in). The handlers are split over files by
// subsystem:
//   Unit1.cpp            layout, lifecycle
//   Unit1Commands.cpp    command bindings, UpdateCommandStates
//   Unit1Settings.cpp    LoadSettings, SaveSettings
//   Unit1Lists.cpp       list views, display mode, selection
//   Unit1Editing.cpp     move, sort, delete, clear
//   Unit1TagPanel.cpp    ShowTagPanel
//   Unit1TagCommands.cpp tag update, removal, copy, paste
//   Unit1Open.cpp        open dialog, dropped files (through FileIntake)
//   Unit1Rename.cpp      rule box, presets, new-name refresh, rename run
//   Unit1Undo.cpp        元に戻す and the state of its menu item
//   Unit1Shell.cpp       always on top, help, About box
#include <QMainWindow>
#include <QMargins>
#include <QSize>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Dialogs.h"
#include "app/QtTrash.h"
#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/FileOps.h"
#include "core/platform/ReadAhead.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class ListBox;
class QAbstractItemView;
class QMenu;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolButton;
class QWidget;
class TForm2;
class HelpViewer;
class FileIntake;
class TagPanel;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // `args` are the command-line file arguments as the system gave them
  // (program name excluded). `dialogs` answers every modal question; it
  // must outlive the window.
  TForm1(std::vector<std::string> args, Dialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // State the window owns.
  selvane::EntryTable table;  // entries, entryCount
  selvane::FileEntry tagClipboard{};
  selvane::FileEntry pasteSaveSlot{};
  QString helpFile;  // empty until the first help command
  // The file system the commands work on (tests and benchmarks may put a
  // counting or failing one in its place).
  selvane::FileOps* fileOps = &selvane::SystemFileOps();
  // Every change on disk is recorded here first; the store is opened when
  // first needed, never at start-up.
  selvane::History history;
  // Where a file replaced by the rename run goes.
  selvane::Trash* trash = &desktopTrash_;

  // Routines every command's ending uses.
  void UpdateCommandStates();
  // `read`: the statuses the new-name refresh just read, one per row, which
  // stand for the rows' files in the after list's marks (empty: looked at).
  void RefreshLists(const std::vector<selvane::FileStatus>& read = {});
  int SelectedIndex() const;
  void SyncListSelection(QAbstractItemView* source);
  // Selects `row` in ListBox1 (nothing when it is out of range) and gives
  // ListBox2 ListBox1's selection.
  void SelectRow(int row);
  void ShowTagPanel();
  // The start's tags, read ahead while the window was built.
  void UseReadAhead(std::unique_ptr<selvane::TailsReadAhead> ahead);
  void LoadSettings();
  [[nodiscard]] bool SaveSettings();  // false when the store could not be written
  void SetStatusText(const QString& text) { status_->SetText(text); }
  void SetStatusText(std::string_view cp932) { status_->SetText(cp932); }
  // "done / total" in the status line, painted at most once a frame.
  void ShowProgress(int done, int total) { status_->ShowProgress(done, total); }
  QString StatusText() const { return status_->Text(); }
  StatusLine& Status() { return *status_; }
  // When valid, stands in for the primary screen's size (tests).
  static inline QSize screenSizeOverride;
  // The naming rule: Edit1's text as CP932 (characters without a CP932
  // form cannot be typed, so the conversion does not fail in practice).
  std::string NamingRule() const;
  WindowPrompts& Prompts() { return *prompts_; }
  Dialogs& DialogsInUse() { return dialogs_; }
  // The About box; made, hidden, when first asked for (it costs the start
  // nothing that way and looks the same).
  TForm2* AboutBox();
  HelpViewer* Help() const { return helpViewer_; }

  // Designed components.
  QWidget* SpeedBar = nullptr;
  QToolButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr, *SpeedButton3 = nullptr,
              *SpeedButton4 = nullptr, *SpeedButton5 = nullptr, *SpeedButton6 = nullptr,
              *SpeedButton7 = nullptr, *SpeedButton8 = nullptr, *SpeedButton9 = nullptr,
              *SpeedButton10 = nullptr, *SpeedButton11 = nullptr, *SpeedButton12 = nullptr,
              *SpeedButton13 = nullptr, *SpeedButton14 = nullptr, *SpeedButton15 = nullptr;
  QGroupBox* GroupBox7 = nullptr;  // tag panel
  QWidget *Panel1 = nullptr, *Panel2 = nullptr;
  QLabel *Label1 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
         *Label6 = nullptr, *Label8 = nullptr;
  QLineEdit *EditTytle = nullptr, *EditArtist = nullptr, *EditAlbum = nullptr,
            *EditComment = nullptr, *EditYear = nullptr;
  QComboBox* ComboBoxGenre = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QGroupBox* GroupBox6 = nullptr;  // naming rule
  QLineEdit* Edit1 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QGroupBox *GroupBox4 = nullptr, *GroupBox5 = nullptr;
  ListBox *ListBox1 = nullptr, *ListBox2 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu *File1 = nullptr, *Edit2 = nullptr, *N5 = nullptr, *N11 = nullptr, *Help1 = nullptr;
  QAction *f1 = nullptr, *rinemu1 = nullptr, *Undo1 = nullptr, *Exit1 = nullptr;
  QAction *A1 = nullptr, *N9 = nullptr, *C2 = nullptr, *P2 = nullptr;
  QAction *P1 = nullptr, *N1 = nullptr, *S2 = nullptr, *D2 = nullptr, *Clear1 = nullptr;
  QAction *mp311 = nullptr, *mp31 = nullptr, *D3 = nullptr, *mp3D1 = nullptr, *N13 = nullptr,
          *EXTF1 = nullptr;
  QAction* Id3v21 = nullptr;  // "ID3v2 で補う", checkable
  QAction *Contents1 = nullptr, *About1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction *u1 = nullptr, *d1 = nullptr, *S1 = nullptr, *Delete1 = nullptr, *C1 = nullptr;

 public slots:
  // Application shell.
  void FormCreate();
  void Exit1Click();
  void SpeedButton8Click();
  void Contents1Click();
  void About1Click();
  // Files in.
  void f1Click();
  // List views and editing.
  void SpeedButton7Click();
  void P1Click();
  void N1Click();
  void S2Click();
  void D2Click();
  void Clear1Click();
  // Tags.
  void A1Click();
  void N9Click();
  void C2Click();
  void P2Click();
  // Renaming.
  void Edit1Exit();
  void rinemu1Click();
  void mp311Click();
  void mp31Click();
  void D3Click();
  void mp3D1Click();
  void N13Click();
  void EXTF1Click();
  void Id3v21Click();
  // History.
  void Undo1Click();

 signals:
  // Whether the history holds a batch that 元に戻す can take back, pushed
  // by the history whenever that becomes known or changes.
  void UndoableChanged(bool undoable);

 public:
  // Handlers that take event data.
  void ListBox1MouseUp(QAbstractItemView* sender, Qt::MouseButton button, const QPoint& globalPos);
  void ListBox1KeyUp(QAbstractItemView* sender, int key);
  // True when the key must be discarded.
  bool Edit1KeyPress(QChar key);
  // Files dropped from a file manager (native paths, in drop order).
  void WMDropFiles(const std::vector<std::string>& nativePaths);
  // Runs `box` (a message box) now when the window is on screen, else right
  // after its first paint.
  void ShowWhenOnScreen(std::function<void()> box);
  // Applies SpeedButton8's state to the window's z-order (no status text).
  void ApplyStaysOnTop();
  // Routes Edit1's key presses to Edit1KeyPress and its focus loss to
  // Edit1Exit; called once from the constructor.
  void ConnectRuleBox();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildLayout();
  void BuildTagPanel();
  void BuildCommands();
  void BuildToolbar();
  void FormShow();
  void FormPaint();
  void FormResize();
  bool FormCloseQuery();
  QSize ScreenSize() const;
  QMargins Frame() const;
  QSize OuterSize() const;
  QPoint OuterPosition() const;
  void MoveOuter(int left, int top);
  void SetOuterSize(int width, int height);
  void ApplySizeLimits();
  void DockControls();
  void ShowErrorBox(const std::exception& error);
  bool ListEvent(QAbstractItemView* list, QEvent* event);
  // Every row's new name made anew from the rule, tags read again; gives
  // back what each row's path held as its tag was read.
  std::vector<selvane::FileStatus> ExpandNames();
  void SetPreset(std::size_t index);
  // Checks "ID3v2 で補う" or not, and names files from then on by it.
  void SetId3v2Item(bool on);
  // 元に戻す follows UndoableChanged; this asks the history once, when the
  // menu first shows or after the first batch, never at start-up (the
  // store is not looked at before it is needed).
  void UpdateUndoState();
  bool undoStateAsked_ = false;

  Dialogs& dialogs_;
  std::vector<std::string> args_;  // native, until the creation takes them
  StatusLine* status_ = nullptr;
  std::unique_ptr<WindowPrompts> prompts_;
  std::unique_ptr<TagPanel> tagPanel_;
  std::unique_ptr<FileIntake> intake_;
  TForm2* Form2 = nullptr;
  HelpViewer* helpViewer_ = nullptr;
  QtTrash desktopTrash_;
  QWidget* client_ = nullptr;
  bool firstShowDone_ = false;
  QMargins appliedFrame_;  // the frame the current size and limits assume
  bool limitsSet_ = false;
  mutable QMargins knownFrame_;    // the window manager's frame, once told
  QPoint intendedPosition_;        // where the program last put the frame's corner
  bool createLoadFailed_ = false;  // FormCreate's LoadSettings raised an error
  bool onScreen_ = false;          // the first paint's work is done
  bool storeGarbled_ = false;      // the settings file could not be parsed
  std::vector<std::function<void()>> startupBoxes_;
};

// Set to 1 at start, cleared on the first paint of the main window.
extern unsigned char firstPaintPending;
