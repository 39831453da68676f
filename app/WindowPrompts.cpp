#include "app/WindowPrompts.h"

#include <utility>

#include "app/Cp932Text.h"
#include "app/Dialogs.h"
#include "app/StatusLine.h"

WindowPrompts::WindowPrompts(QWidget& window, Dialogs& dialogs, StatusLine& status, Deferral defer)
    : window_(window), dialogs_(dialogs), status_(status), defer_(std::move(defer)) {}

void WindowPrompts::SetStatus(std::string_view text) { status_.SetText(text); }

void WindowPrompts::Progress(int done, int total) { status_.ShowProgress(done, total); }

void WindowPrompts::Tell(std::function<void()> box) {
  auto shown = [this, box = std::move(box)] {
    status_.Flush();
    box();
  };
  if (defer_)
    defer_(std::move(shown));
  else
    shown();
}

void WindowPrompts::Refuse(const QString& text, const QString& caption) {
  Tell([this, text, caption] { dialogs_.Refuse(&window_, text, caption); });
}

void WindowPrompts::ShowError(const QString& text) {
  Tell([this, text] { dialogs_.ShowError(&window_, text); });
}

void WindowPrompts::Refuse(std::string_view text, std::string_view caption) {
  Refuse(ToQt(text), ToQt(caption));
}

void WindowPrompts::ShowError(std::string_view text) { ShowError(ToQt(text)); }

bool WindowPrompts::Ask(std::string_view text, std::string_view caption) {
  status_.Flush();
  return dialogs_.Ask(&window_, ToQt(text), ToQt(caption));
}
