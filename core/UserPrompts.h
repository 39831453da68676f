#pragma once
// How core reaches the user. The window implements it with message boxes and
// the status line; tests implement it with scripted answers. All texts are
// CP932; what CP932 lacks is marked as Cp932Showing does.
#include <string>
#include <string_view>

namespace selvane {

// Over more files than this, long work (a refresh, a rename run, a large
// addition) shows "done / total" in the status line instead of each path.
inline constexpr int ProgressFrom = 2000;

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  // Replace the whole status line.
  virtual void SetStatus(std::string_view text) = 0;
  // Progress of long work over many files: "1234 / 20000" in the status
  // line (a window paints it at most once a frame).
  virtual void Progress(int done, int total) {
    SetStatus(std::to_string(done) + " / " + std::to_string(total));
  }
  // Refusal: exclamation icon, OK.
  virtual void Refuse(std::string_view text, std::string_view caption) = 0;
  // Question: question icon, Yes and No, Yes the default. True for Yes.
  virtual bool Ask(std::string_view text, std::string_view caption) = 0;
  // The application's error box: caption "Selvane", error icon, OK.
  virtual void ShowError(std::string_view text) = 0;
};

}  // namespace selvane
