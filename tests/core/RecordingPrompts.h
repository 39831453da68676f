#pragma once
// A UserPrompts that records every call and answers questions from a script,
// so that no test ever waits on a dialog. Texts are kept as given (CP932).
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/UserPrompts.h"

namespace selvane {

class RecordingPrompts : public UserPrompts {
 public:
  struct Box {
    std::string text;
    std::string caption;
  };

  void SetStatus(std::string_view text) override { statuses.emplace_back(text); }
  void Refuse(std::string_view text, std::string_view caption) override {
    refusals.push_back({std::string(text), std::string(caption)});
  }
  bool Ask(std::string_view text, std::string_view caption) override {
    questions.push_back({std::string(text), std::string(caption)});
    if (answers.empty()) return unscriptedAnswer;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(std::string_view text) override { errors.emplace_back(text); }

  std::vector<std::string> statuses;
  std::vector<Box> refusals;
  std::vector<Box> questions;
  std::vector<std::string> errors;
  std::deque<bool> answers;       // consumed by Ask, front first
  bool unscriptedAnswer = false;  // when the script has run out
};

}  // namespace selvane
