#pragma once
// MainWindow, the program's window: the lists, the rule box, the toolbar and
// menus, and the handlers of the commands. Beside it, each with a job of its
// own: CommandTable (every command's action, button, menu items, hint and
// enabled rule), StatusLine (the status line and its hints), TagPanel (the
// five tag fields and the genre), WindowPrompts (the core's questions,
// answered through Dialogs) and FileIntake (the one road by which files come
// in). The handlers are split over files by what they work on:
//   MainWindow.cpp      layout, lifecycle
//   CommandTable.cpp    the commands, the toolbar, the menus, enabled states
//   WindowSettings.cpp  LoadSettings, SaveSettings
//   ListViews.cpp       list views, display mode, selection
//   ListEditing.cpp     move, sort, delete, clear
//   TagPanelLayout.cpp  ShowTagPanel
//   TagCommands.cpp     tag update, removal, copy, paste
//   OpenAndDrop.cpp     open dialog, dropped files (through FileIntake)
//   RenameCommands.cpp  rule box, presets, new-name refresh, rename run
//   UndoCommand.cpp     元に戻す
//   HelpAndTopmost.cpp  always on top, help, About box
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

#include "app/CommandTable.h"
#include "app/Dialogs.h"
#include "app/QtTrash.h"
#include "app/RowsHost.h"
#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "core/UserPrompts.h"
#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/FileOps.h"
#include "core/platform/ReadAhead.h"

class QAction;
class QGroupBox;
class QLineEdit;
class ListBox;
class QAbstractItemView;
class QSplitter;
class QToolButton;
class QWidget;
class AboutBox;
class HelpViewer;
class FileIntake;
class TagPanel;

class MainWindow : public QMainWindow, public RowsHost {
  Q_OBJECT

 public:
  // `args` are the command-line file arguments as the system gave them
  // (program name excluded). `dialogs` answers every modal question; it
  // must outlive the window.
  MainWindow(std::vector<std::string> args, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // State the window owns.
  selvane::EntryTable table;  // entries, entryCount
  QString helpFile;           // empty until the first help command
  // The file system the commands work on (tests and benchmarks may put a
  // counting or failing one in its place).
  selvane::FileOps* fileOps = &selvane::SystemFileOps();
  // Which native folders' files are read many at a time before they are
  // named (empty: those on a share or FUSE medium).
  std::function<bool(const std::string& nativeFolder)> readAheadWaits;
  // The rows a stopped reading did not reach (one flag per row, else
  // empty), until the lists are filled from what it read.
  std::vector<char> unreadRows;
  // Every change on disk is recorded here first; the store is opened when
  // first needed, never at start-up.
  selvane::History history;
  // Where a file replaced by the rename run goes.
  selvane::Trash* trash = &desktopTrash_;

  // The tag copied by CopyTag; the paste command follows whether it holds one.
  const selvane::FileEntry& TagClipboard() const { return tagClipboard_; }
  void SetTagClipboard(const selvane::FileEntry& entry);

  // Routines every command's ending uses.
  // `read`: the statuses the new-name refresh just read, one per row, which
  // stand for the rows' files in the after list's marks (empty: looked at).
  void RefreshLists(const std::vector<selvane::FileStatus>& read = {}) override;
  int SelectedIndex() const;
  void SyncListSelection(QAbstractItemView* source);
  // Selects `row` in the before list (nothing when it is out of range) and
  // gives the after list the same selection.
  void SelectRow(int row) override;
  void ShowTagPanel() override;
  // The start's tags, read ahead while the window was built.
  void UseReadAhead(std::unique_ptr<selvane::TailsReadAhead> ahead);
  void LoadSettings();
  [[nodiscard]] bool SaveSettings();  // false when the store could not be written
  void SetStatusText(const QString& text) { status_->SetText(text); }
  void SetStatusText(std::string_view cp932) { status_->SetText(cp932); }
  // "done / total" in the status line, painted at most once a frame.
  void ShowProgress(int done, int total) { status_->ShowProgress(done, total); }
  QString StatusText() const { return status_->Text(); }
  StatusLine& Status() override { return *status_; }
  // When valid, stands in for the primary screen's size (tests).
  static inline QSize screenSizeOverride;
  // The naming rule: the rule box's text as CP932 (characters without a
  // CP932 form cannot be typed, so the conversion does not fail in practice).
  std::string NamingRule() const override;
  WindowPrompts& Prompts() override { return *prompts_; }
  Dialogs& DialogsInUse() override { return dialogs_; }
  // The rest of what the file intake and the reads ahead take of the window.
  selvane::EntryTable& Rows() override { return table; }
  const std::function<bool(const std::string&)>& ReadAheadWaits() const override {
    return readAheadWaits;
  }
  QWidget& Window() override { return *this; }
  ListBox& BeforeList() override { return *beforeList; }
  ListBox& AfterList() override { return *afterList; }
  std::vector<char>& UnreadRows() override { return unreadRows; }
  // The About box; made, hidden, when first asked for (it costs the start
  // nothing that way and looks the same).
  AboutBox* AboutDialog();
  HelpViewer* Help() const { return helpViewer_; }
  CommandTable& Commands() const { return *commands_; }
  QAction* ActionFor(Command command) const { return commands_->Action(command); }
  QToolButton* ButtonFor(Command command) const { return commands_->Button(command); }
  TagPanel& Tags() const { return *tagPanel_; }

  // The window's own controls.
  QWidget* toolbar = nullptr;
  QGroupBox* ruleGroup = nullptr;
  QLineEdit* ruleBox = nullptr;
  QSplitter* splitter = nullptr;
  QGroupBox *beforeGroup = nullptr, *afterGroup = nullptr;
  ListBox *beforeList = nullptr, *afterList = nullptr;

  // The commands (CommandTable runs them).
  void StartUp();
  void Exit();
  void OpenFiles();
  void RenameAll();
  void UndoLastBatch();
  void UpdateTag();
  void RemoveTag();
  void CopyTag();
  void PasteTag();
  void MoveUp();
  void MoveDown();
  void SortAll();
  void DeleteSelected();
  void ClearList();
  // Puts preset `index` of selvane::PresetRules into the rule box and names
  // every file by it.
  void ChoosePreset(std::size_t index);
  void ToggleId3v2();
  void ToggleFullPath();
  void ToggleTopmost();
  void ShowHelp();
  void ShowAbout();
  // The new-name refresh: leaving the rule box, Enter in it, and the end
  // of every command that changes the table, a tag or the rule.
  void RefreshNames();

 signals:
  // Whether the history holds a batch that 元に戻す can take back, pushed
  // by the history whenever that becomes known or changes.
  void UndoableChanged(bool undoable);

 public:
  // Handlers that take event data.
  void ListMouseUp(QAbstractItemView* sender, Qt::MouseButton button, const QPoint& globalPos);
  void ListKeyUp(QAbstractItemView* sender, int key);
  // True when the key must be discarded.
  bool RuleBoxKeyPress(QChar key);
  // Files dropped from a file manager (native paths, in drop order).
  void AddDroppedFiles(const std::vector<std::string>& nativePaths);
  // Runs `box` (a message box) now when the window is on screen, else right
  // after its first paint.
  void ShowWhenOnScreen(std::function<void()> box) override;
  // Applies the topmost switch's state to the window's z-order (no status text).
  void ApplyStaysOnTop();
  // Routes the rule box's key presses to RuleBoxKeyPress and its focus loss
  // to RefreshNames; called once from the constructor.
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
  void BuildCommands();
  // Pushes the list's size and the selection to the commands' states.
  void FollowList();
  void PlaceOnFirstShow();
  void FinishStartAfterFirstPaint();
  void FitWidths();
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
  // `stopped`, when given, tells whether the user stopped the reading.
  std::vector<selvane::FileStatus> ExpandNames(bool* stopped = nullptr);
  std::vector<selvane::FileStatus> LookAfterRun();
  // The lists filled anew after ExpandNames, the selected row kept.
  void ShowNewNames(const std::vector<selvane::FileStatus>& read);
  // Checks "ID3v2 も使う" or not, and names files from then on by it.
  void SetId3v2Item(bool on);
  // 元に戻す follows UndoableChanged; this asks the history once, when the
  // menu first shows or after the first batch, never at start-up (the
  // store is not looked at before it is needed).
  void UpdateUndoState();
  bool undoStateAsked_ = false;

  selvane::FileEntry tagClipboard_{};
  Dialogs& dialogs_;
  std::vector<std::string> args_;  // native, until the creation takes them
  StatusLine* status_ = nullptr;
  CommandTable* commands_ = nullptr;
  std::unique_ptr<WindowPrompts> prompts_;
  std::unique_ptr<TagPanel> tagPanel_;
  std::unique_ptr<FileIntake> intake_;
  AboutBox* aboutBox_ = nullptr;
  HelpViewer* helpViewer_ = nullptr;
  QtTrash desktopTrash_;
  QWidget* client_ = nullptr;
  bool firstShowDone_ = false;
  QMargins appliedFrame_;  // the frame the current size and limits assume
  bool limitsSet_ = false;
  mutable QMargins knownFrame_;    // the window manager's frame, once told
  QPoint intendedPosition_;        // where the program last put the frame's corner
  bool createLoadFailed_ = false;  // StartUp's LoadSettings raised an error
  bool onScreen_ = false;          // the first paint's work is done
  bool storeGarbled_ = false;      // the settings file could not be parsed
  std::vector<std::function<void()>> startupBoxes_;
};

// Set to 1 at start, cleared on the first paint of the main window.
extern unsigned char firstPaintPending;
