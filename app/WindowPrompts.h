#pragma once
// The questions the core asks, answered by the window through Dialogs. Every
// box is preceded by a paint of the status line, so that the line names the
// row the box is about.
#include <QString>
#include <functional>
#include <string_view>

#include "core/UserPrompts.h"

class Dialogs;
class QWidget;
class StatusLine;

class WindowPrompts : public selvane::UserPrompts {
 public:
  // Runs a box now or later (the start-up's boxes wait for the window to be
  // on screen).
  using Deferral = std::function<void(std::function<void()>)>;

  // `defer`, when given, takes every box that tells (a refusal, an error);
  // a question is always asked at once.
  WindowPrompts(QWidget& window, Dialogs& dialogs, StatusLine& status, Deferral defer = {});

  void SetStatus(std::string_view text) override;
  void Progress(int done, int total) override;
  void Refuse(std::string_view text, std::string_view caption) override;
  bool Ask(std::string_view text, std::string_view caption) override;
  void ShowError(std::string_view text) override;

  // The same boxes for texts the window already holds as QString.
  void Refuse(const QString& text, const QString& caption);
  void ShowError(const QString& text);

 private:
  void Tell(std::function<void()> box);

  QWidget& window_;
  Dialogs& dialogs_;
  StatusLine& status_;
  Deferral defer_;
};
