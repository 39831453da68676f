#include "app/HelpViewer.h"

#include <QAbstractTextDocumentLayout>
#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kPositionRole = Qt::UserRole;
// A help file is a few hundred kilobytes at most; anything far larger is
// not one, and reading it whole would only stall the window.
constexpr qint64 kMaxHelpFileBytes = 16 * 1024 * 1024;

QString EscapeForHtml(const QString& text) { return text.toHtmlEscaped(); }

QString AttributeValue(const QString& attributes, const QString& name) {
  static const QRegularExpression attribute(QStringLiteral(
      R"re(([A-Za-z_:][-A-Za-z0-9_:.]*)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+)))re"));
  for (auto it = attribute.globalMatch(attributes); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (m.captured(1).compare(name, Qt::CaseInsensitive) != 0) continue;
    for (int group = 2; group <= 4; ++group) {
      if (m.capturedStart(group) >= 0) {
        return QTextDocumentFragment::fromHtml(m.captured(group)).toPlainText();
      }
    }
  }
  return {};
}

// Where each named anchor of the document starts.
QHash<QString, int> AnchorPositions(const QTextDocument& document) {
  QHash<QString, int> positions;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      for (const QString& name : fragment.charFormat().anchorNames()) {
        if (!positions.contains(name)) positions.insert(name, fragment.position());
      }
    }
  }
  return positions;
}

// Brings the block holding `position` to the top of the view.
void ScrollToPosition(QTextBrowser& browser, int position) {
  const QTextBlock block = browser.document()->findBlock(position);
  const QRectF where = browser.document()->documentLayout()->blockBoundingRect(block);
  // Keep the document's own margin above it, as at the start of the text.
  const qreal margin = browser.document()->documentMargin();
  browser.verticalScrollBar()->setValue(static_cast<int>(std::max<qreal>(0, where.top() - margin)));
}

}  // namespace

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpViewer"));
  setWindowTitle(QStringLiteral("Selvaneヘルプ"));
  resize(760, 540);

  ContentsTree = new QTreeWidget;
  ContentsTree->setObjectName(QStringLiteral("ContentsTree"));
  ContentsTree->setHeaderHidden(true);
  ContentsTree->setColumnCount(1);
  connect(ContentsTree, &QTreeWidget::itemActivated, this, &HelpViewer::OpenContentsItem);
  connect(ContentsTree, &QTreeWidget::itemClicked, this, &HelpViewer::OpenContentsItem);

  IndexFilter = new QLineEdit;
  IndexFilter->setObjectName(QStringLiteral("IndexFilter"));
  IndexFilter->setPlaceholderText(QStringLiteral("キーワードを入力"));
  IndexFilter->setClearButtonEnabled(true);
  IndexList = new QListWidget;
  IndexList->setObjectName(QStringLiteral("IndexList"));
  connect(IndexFilter, &QLineEdit::textChanged, this, &HelpViewer::FilterIndex);
  connect(IndexFilter, &QLineEdit::returnPressed, this, [this] {
    for (int row = 0; row < IndexList->count(); ++row) {
      if (!IndexList->item(row)->isHidden()) {
        IndexList->setCurrentRow(row);
        OpenIndexItem(IndexList->item(row));
        return;
      }
    }
  });
  connect(IndexList, &QListWidget::itemActivated, this, &HelpViewer::OpenIndexItem);
  connect(IndexList, &QListWidget::itemClicked, this, &HelpViewer::OpenIndexItem);

  auto* indexPage = new QWidget;
  auto* indexLayout = new QVBoxLayout(indexPage);
  indexLayout->setContentsMargins(4, 4, 4, 4);
  indexLayout->addWidget(IndexFilter);
  indexLayout->addWidget(IndexList);

  Tabs = new QTabWidget;
  Tabs->setObjectName(QStringLiteral("Tabs"));
  Tabs->addTab(ContentsTree, QStringLiteral("目次"));
  Tabs->addTab(indexPage, QStringLiteral("索引"));

  Browser = new QTextBrowser;
  Browser->setObjectName(QStringLiteral("Browser"));
  // Links are followed here: anchors within the help scroll, anything that
  // would leave the file is not opened.
  Browser->setOpenLinks(false);
  connect(Browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.isRelative() && url.path().isEmpty() && url.hasFragment()) {
      Browser->scrollToAnchor(url.fragment());
    }
  });

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->addWidget(Tabs);
  splitter->addWidget(Browser);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({230, 530});
  splitter->setChildrenCollapsible(false);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
}

void HelpViewer::ShowContents(const QString& file) {
  file_ = file;
  ContentsTree->clear();
  IndexList->clear();
  IndexFilter->clear();

  QFile input(file);
  const QString shownName = QFileInfo(file).absoluteFilePath();
  if (!input.exists()) {
    ShowMessage(QStringLiteral("ヘルプファイル「%1」が見つかりません。").arg(shownName));
  } else if (!input.open(QIODevice::ReadOnly)) {
    ShowMessage(QStringLiteral("ヘルプファイル「%1」を開けません。\n%2")
                    .arg(shownName, input.errorString()));
  } else if (input.size() > kMaxHelpFileBytes) {
    ShowMessage(
        QStringLiteral("ヘルプファイル「%1」は大きすぎるため表示できません。").arg(shownName));
  } else {
    const QByteArray bytes = input.readAll();
    QStringDecoder decode(
        QStringConverter::encodingForHtml(bytes).value_or(QStringConverter::Utf8));
    const QString html = decode(bytes);
    if (decode.hasError() || !Qt::mightBeRichText(html)) {
      ShowMessage(
          QStringLiteral("ヘルプファイル「%1」はこのヘルプ画面で表示できる形式ではありません。")
              .arg(shownName));
    } else {
      Browser->document()->setBaseUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath() + '/'));
      Browser->setHtml(html);
      FillContents();
      FillIndex(html);
    }
  }
  Tabs->setCurrentIndex(0);
  if (!placed_) {
    const QWidget* owner = parentWidget();
    QRect area;
    if (owner != nullptr && owner->isVisible()) {
      area = owner->frameGeometry();
    } else if (screen() != nullptr) {
      area = screen()->availableGeometry();
    }
    if (area.isValid()) {
      QRect frame(QPoint(), size());
      frame.moveCenter(area.center());
      if (const QScreen* where = screen(); where != nullptr) {
        // Keep the title bar reachable when the main window is near an edge.
        const QRect screenArea = where->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), screenArea.left(),
                                  std::max(screenArea.left(), screenArea.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), screenArea.top(),
                                 std::max(screenArea.top(), screenArea.bottom() - frame.height())));
      }
      move(frame.topLeft());
    }
    placed_ = true;
  }
  show();
  raise();
  activateWindow();
}

void HelpViewer::ShowMessage(const QString& text) {
  Browser->setHtml(QStringLiteral("<h3>Selvaneヘルプ</h3><p>%1</p>")
                       .arg(EscapeForHtml(text).replace('\n', QStringLiteral("<br>"))));
}

void HelpViewer::FillContents() {
  // Headings become the contents, nested by their level.
  QList<QTreeWidgetItem*> parents;  // last item seen at each level
  for (QTextBlock block = Browser->document()->begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    const QString title = block.text().simplified();
    if (level <= 0 || title.isEmpty()) continue;
    while (parents.size() >= level) parents.removeLast();
    QTreeWidgetItem* parent = nullptr;
    for (auto it = parents.crbegin(); it != parents.crend() && parent == nullptr; ++it)
      parent = *it;
    auto* item =
        parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ContentsTree);
    item->setText(0, title);
    item->setData(0, kPositionRole, block.position());
    while (parents.size() < level - 1) parents.append(nullptr);
    parents.append(item);
  }
  ContentsTree->expandAll();
}

QList<HelpViewer::IndexTerm> HelpViewer::FindIndexTerms(const QString& html) {
  static const QRegularExpression comment(QStringLiteral("<!--.*?-->"),
                                          QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression anchorTag(QStringLiteral(R"re(<a\b([^>]*)>)re"),
                                            QRegularExpression::CaseInsensitiveOption);
  QString text = html;
  text.remove(comment);
  QList<IndexTerm> terms;
  for (auto it = anchorTag.globalMatch(text); it.hasNext();) {
    const QString attributes = it.next().captured(1);
    const QStringList classes =
        AttributeValue(attributes, QStringLiteral("class")).split(' ', Qt::SkipEmptyParts);
    if (!classes.contains(QStringLiteral("index"))) continue;
    QString anchor = AttributeValue(attributes, QStringLiteral("name"));
    if (anchor.isEmpty()) anchor = AttributeValue(attributes, QStringLiteral("id"));
    const QString term = AttributeValue(attributes, QStringLiteral("title")).simplified();
    const QString reading = AttributeValue(attributes, QStringLiteral("data-reading")).simplified();
    if (!anchor.isEmpty() && !term.isEmpty()) terms.append({term, anchor, reading});
  }
  return terms;
}

void HelpViewer::FillIndex(const QString& html) {
  const QTextDocument& document = *Browser->document();
  const QHash<QString, int> anchors = AnchorPositions(document);
  struct Entry {
    QString shown;
    QString sortKey;
    int position;
  };
  QList<Entry> entries;
  QHash<QString, int> uses;
  const QList<IndexTerm> terms = FindIndexTerms(html);
  for (const IndexTerm& term : terms) ++uses[term.term];
  for (const IndexTerm& term : terms) {
    const auto found = anchors.constFind(term.anchor);
    if (found == anchors.cend()) continue;  // a term without its anchor cannot be shown
    QString shown = term.term;
    if (uses.value(term.term) > 1) {
      // The same term at several places: tell them apart by their section.
      QString section;
      for (QTextBlock block = document.findBlock(*found); block.isValid();
           block = block.previous()) {
        if (block.blockFormat().headingLevel() > 0) {
          section = block.text().simplified();
          break;
        }
      }
      if (!section.isEmpty()) shown += QStringLiteral("（%1）").arg(section);
    }
    entries.append({shown, term.reading.isEmpty() ? shown : term.reading, *found});
  }
  QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
  collator.setNumericMode(true);
  std::stable_sort(entries.begin(), entries.end(), [&collator](const Entry& a, const Entry& b) {
    return collator.compare(a.sortKey, b.sortKey) < 0;
  });
  for (const Entry& entry : entries) {
    auto* item = new QListWidgetItem(entry.shown, IndexList);
    item->setData(kPositionRole, entry.position);
  }
}

void HelpViewer::FilterIndex(const QString& text) {
  const QString wanted = text.trimmed();
  for (int row = 0; row < IndexList->count(); ++row) {
    QListWidgetItem* item = IndexList->item(row);
    item->setHidden(!wanted.isEmpty() && !item->text().contains(wanted, Qt::CaseInsensitive));
  }
}

void HelpViewer::OpenContentsItem(QTreeWidgetItem* item) {
  if (item != nullptr) ScrollToPosition(*Browser, item->data(0, kPositionRole).toInt());
}

void HelpViewer::OpenIndexItem(QListWidgetItem* item) {
  if (item != nullptr) ScrollToPosition(*Browser, item->data(kPositionRole).toInt());
}
