#pragma once
// Dialogs for window tests: scripted replies, and a record of every box and
// file dialog shown, so no test ever blocks on a modal window.
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "app/Dialogs.h"

class ScriptedDialogs : public Dialogs {
 public:
  enum class Kind { Refusal, Question, Error };
  struct Box {
    Kind kind;
    QString text;
    QString caption;
  };
  struct FileDialog {
    QString title, filter, selectedFilter, directory;
  };

  std::deque<bool> answers;         // replies to Ask in order; No once used up
  std::deque<QStringList> choices;  // replies to ChooseFiles; a cancel once used up
  std::vector<Box> shown;           // every box, in order
  std::vector<FileDialog> fileDialogs;
  std::vector<QUrl> openedUrls;
  std::function<void()> beforeBox;  // runs as each box comes up

  void Refuse(QWidget*, const QString& text, const QString& caption) override {
    if (beforeBox) beforeBox();
    shown.push_back({Kind::Refusal, text, caption});
  }
  bool Ask(QWidget*, const QString& text, const QString& caption) override {
    if (beforeBox) beforeBox();
    shown.push_back({Kind::Question, text, caption});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(QWidget*, const QString& text) override {
    shown.push_back({Kind::Error, text, QStringLiteral("Selvane")});
  }
  QStringList ChooseFiles(QWidget*, const QString& title, const QString& filter,
                          const QString& selectedFilter, const QString& directory) override {
    fileDialogs.push_back({title, filter, selectedFilter, directory});
    if (choices.empty()) return {};
    QStringList chosen = choices.front();
    choices.pop_front();
    return chosen;
  }
  void OpenUrl(const QUrl& url) override { openedUrls.push_back(url); }

  // The texts of the boxes of one kind, in order.
  QStringList Texts(Kind kind) const {
    QStringList texts;
    for (const Box& box : shown)
      if (box.kind == kind) texts << box.text;
    return texts;
  }
};
