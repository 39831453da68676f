// Selvane's window with nothing behind it: the same menus, toolbar glyphs,
// tag panel, lists, rule box and status line, the same fonts and Qt's
// Japanese texts, both lists holding the names of the files given as
// arguments. No tag is read and no command does anything, so its start is
// the least that this layout costs: the floor of Selvane's start.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/AppLook.h"
#include "app/Glyphs.h"
#include "app/RulePresetItems.h"
#include "app/WindowLayout.h"
#include "core/rename/NamingRule.h"
#include "core/tags/GenreList.h"

namespace {

// Selvane's own sizes.
using namespace window_layout;

struct Button {
  const char* name;
  int left;
  const char* tip;
  const char* caption;  // a character instead of a glyph
  bool toggle;
};

const std::array<Button, 15> kToolbar = {{
    {"openButton", 8, "開く", nullptr, false},
    {"renameButton", 32, "ﾘﾈｰﾑ実行", nullptr, false},
    {"updateTagButton", 62, "ﾀｸﾞ情報更新", nullptr, false},
    {"removeTagButton", 86, "ﾀｸﾞ情報削除", nullptr, false},
    {"copyTagButton", 110, "ﾀｸﾞ情報ｺﾋﾟｰ", "複", false},
    {"pasteTagButton", 136, "ﾀｸﾞ情報貼り付け", "貼", false},
    {"moveUpButton", 164, "ｱｲﾃﾑを上に", nullptr, false},
    {"moveDownButton", 188, "ｱｲﾃﾑを下に", nullptr, false},
    {"sortButton", 212, "ｱｲﾃﾑｿｰﾄ", nullptr, false},
    {"deleteRowButton", 236, "選択ｱｲﾃﾑを削除", nullptr, false},
    {"clearListButton", 260, "ﾘｽﾄｸﾘｱ", nullptr, false},
    {"helpButton", 290, "目次", nullptr, false},
    {"aboutButton", 314, "バージョン情報", nullptr, false},
    {"fullPathButton", 350, "ﾌﾙﾊﾟｽ表示切替", nullptr, true},
    {"topmostButton", 374, "最前面表示切替", nullptr, true},
}};

QLineEdit* AddRow(QWidget* panel, const QString& label, int top) {
  (new QLabel(label, panel))->setGeometry(6, top, 46, 20);
  auto* edit = new QLineEdit(panel);
  edit->setGeometry(54, top, 130, 20);
  return edit;
}

// Rows as high as the font, as Selvane draws them, so that the first drawing
// shows as many rows.
class FontHighRows : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), option.fontMetrics.height()};
  }
};

QListWidget* AddList(QGroupBox* group, const QFont& font, const QStringList& names) {
  auto* list = new QListWidget(group);
  list->setFont(font);
  list->setItemDelegate(new FontHighRows(list));
  list->setUniformItemSizes(true);
  list->setTextElideMode(Qt::ElideNone);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setFocusPolicy(Qt::ClickFocus);
  list->addItems(names);
  if (!names.isEmpty()) list->setCurrentRow(0);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(2, 0, 2, 2);
  layout->addWidget(list);
  return list;
}

// The client area docks its parts as Selvane's does: toolbar and tag panel
// on top, the rule box at the bottom, the lists in between, split in halves.
class Client : public QWidget {
 public:
  explicit Client(const QStringList& names) {
    bar_ = new QFrame(this);
    bar_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    const bool listed = !names.isEmpty();
    for (const Button& design : kToolbar) {
      auto* button = new QToolButton(bar_);
      button->setObjectName(QString::fromLatin1(design.name));
      button->setGeometry(design.left, 4, 25, 25);
      button->setFocusPolicy(Qt::NoFocus);
      button->setCheckable(design.toggle);
      button->setToolTip(QString::fromUtf8(design.tip));
      if (design.caption != nullptr) {
        button->setText(QString::fromUtf8(design.caption));
      } else {
        button->setIcon(ToolbarGlyph(button->objectName()));
        button->setIconSize(QSize(20, 20));
      }
      // What Selvane enables with its first row selected (no tag copied yet),
      // or with an empty list.
      const QString name = button->objectName();
      const bool always =
          name == QLatin1String("openButton") || name == QLatin1String("helpButton") ||
          name == QLatin1String("aboutButton") || name == QLatin1String("fullPathButton") ||
          name == QLatin1String("topmostButton");
      const bool never = name == QLatin1String("pasteTagButton") ||
                         name == QLatin1String("moveUpButton") ||
                         (name == QLatin1String("moveDownButton") && names.size() < 2);
      button->setEnabled(always || (listed && !never));
    }

    tags_ = new QGroupBox(QStringLiteral("ﾀｸﾞ情報"), this);
    left_ = new QWidget(tags_);
    right_ = new QWidget(tags_);
    leftEdits_ = {AddRow(left_, QStringLiteral("ﾀｲﾄﾙ"), 4),
                  AddRow(left_, QStringLiteral("ｱｰﾃｨｽﾄ"), 28),
                  AddRow(left_, QStringLiteral("ｱﾙﾊﾞﾑ"), 52)};
    comment_ = AddRow(right_, QStringLiteral("ｺﾒﾝﾄ"), 4);
    (new QLabel(QStringLiteral("ｼﾞｬﾝﾙ"), right_))->setGeometry(6, 28, 46, 20);
    genre_ = new QComboBox(right_);
    genre_->setGeometry(54, 28, 130, 20);
    genre_->setMaxVisibleItems(16);
    for (const std::string_view genre : selvane::GenreList)
      genre_->addItem(QString::fromLatin1(genre.data(), static_cast<qsizetype>(genre.size())));
    genre_->setCurrentIndex(-1);
    year_ = AddRow(right_, QStringLiteral("年"), 52);

    rules_ = new QGroupBox(QStringLiteral("命名規則"), this);
    rule_ = new QLineEdit(rules_);
    rule_->setGeometry(8, 14, 143, 20);
    rule_->setFont(GothicFont("IPAGothic", true));
    rule_->setText(QString::fromLatin1(selvane::DefaultNamingRule.data(),
                                       static_cast<qsizetype>(selvane::DefaultNamingRule.size())));

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setHandleWidth(4);
    splitter_->setChildrenCollapsible(false);
    const QFont listFont = GothicFont("IPAGothic", true);
    auto* before = new QGroupBox(QStringLiteral("変換前"));
    AddList(before, listFont, names);
    auto* after = new QGroupBox(QStringLiteral("変換後"));
    AddList(after, listFont, names);
    splitter_->addWidget(before);
    splitter_->addWidget(after);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    const int w = width();
    const int half = window()->width() / 2;
    bar_->setGeometry(0, 0, w, ToolbarHeight);
    tags_->setGeometry(0, ToolbarHeight, w, TagGroupHeight);
    const int listsTop = ToolbarHeight + TagGroupHeight;
    const int ruleTop = std::max(listsTop, height() - RuleGroupHeight);
    rules_->setGeometry(0, ruleTop, w, RuleGroupHeight);
    splitter_->setGeometry(0, listsTop, w, ruleTop - listsTop);
    splitter_->setSizes({half, std::max(0, splitter_->width() - splitter_->handleWidth() - half)});
    const QRect ruleInside = rules_->contentsRect();
    rule_->setGeometry(8, ruleInside.top() + std::max(0, (ruleInside.height() - 20) / 2),
                       rules_->width() - 16, 20);
    const QRect inside = tags_->contentsRect();
    const int leftWidth = std::min(half, inside.width());
    left_->setGeometry(inside.left(), inside.top(), leftWidth, inside.height());
    right_->setGeometry(inside.left() + leftWidth, inside.top(), inside.width() - leftWidth,
                        inside.height());
    for (QLineEdit* edit : leftEdits_) edit->resize(leftWidth - 54 - 8, 20);
    const int rightWidth = right_->width() - 54 - 8;
    for (QWidget* box : {static_cast<QWidget*>(comment_), static_cast<QWidget*>(genre_),
                         static_cast<QWidget*>(year_)})
      box->resize(rightWidth, 20);
  }

 private:
  QFrame* bar_;
  QGroupBox *tags_, *rules_;
  QWidget *left_, *right_;
  std::array<QLineEdit*, 3> leftEdits_;
  QLineEdit *comment_, *year_, *rule_;
  QComboBox* genre_;
  QSplitter* splitter_;
};

void AddItems(QMenu* menu, std::initializer_list<const char*> captions) {
  for (const char* caption : captions) {
    if (caption == nullptr)
      menu->addSeparator();
    else
      menu->addAction(QString::fromUtf8(caption));
  }
}

void BuildMenus(QMenuBar* bar) {
  AddItems(bar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)")),
           {"開く(&O)...", "ﾘﾈｰﾑ(&R)", "元に戻す(&U)", nullptr, "終了(&X)"});
  AddItems(bar->addMenu(QStringLiteral("ﾀｸﾞ情報(&T)")),
           {"更新(&U)", "削除(&X)", nullptr, "ﾀｸﾞ情報ｺﾋﾟｰ(&C)", "ﾀｸﾞ情報貼り付け(&P)"});
  AddItems(bar->addMenu(QStringLiteral("ﾘｽﾄ情報(&L)")),
           {"選択ｱｲﾃﾑを上に(&P)", "選択ｱｲﾃﾑを下に(&N)", nullptr, "全体をｿｰﾄ(&S)", nullptr,
            "選択ｱｲﾃﾑを削除(&D)", "ﾘｽﾄ全ｸﾘｱ(&C)"});
  QMenu* rules = bar->addMenu(QStringLiteral("命名規則(&N)"));
  for (const RulePresetItem& preset : RulePresetItems) {
    rules->addAction(QString::fromUtf8(preset.caption));
    if (preset.separatorAfter) rules->addSeparator();
  }
  AddItems(bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)")),
           {"Selvaneヘルプ(&C)", nullptr, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."});
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("LayoutWindow"));
  QTranslator qtTexts;
  SetApplicationLook(qtTexts);

  // File names only, as Selvane lists them by default.
  QStringList names = QApplication::arguments().mid(1);
  for (QString& path : names) path = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);

  QMainWindow window;
  window.setWindowTitle(QStringLiteral("LayoutWindow"));
  window.setFont(GothicFont("IPAPGothic", false));
  window.setCentralWidget(new Client(names));
  BuildMenus(window.menuBar());
  window.statusBar()->setFixedHeight(StatusBarHeight);
  window.statusBar()->addWidget(new QLabel(window.statusBar()), 1);
  window.setMinimumSize(MinimumSize);
  window.setMaximumSize(MaximumSize);
  window.resize(StartSize);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize room = screen->geometry().size() - StartSize;
    window.move(std::max(0, room.width() / 2), std::max(0, room.height() / 2));
  }
  window.show();
  return QApplication::exec();
}
