#pragma once
// Hints of controls and menu items: "short|long" in CP932. The short part is
// the tooltip, the long part goes to the status line.
#include <QString>
#include <string>
#include <string_view>

class QObject;

struct HintParts {
  std::string shortHint;
  std::string longHint;
};

// Splits at the first "|" that is a character of its own: a trail byte 0x7C
// of a double-byte character never counts. Without "|" both parts are the
// whole text.
HintParts SplitHint(std::string_view cp932);

// Keeps the whole hint (CP932) on a control or action.
void SetHint(QObject* target, std::string_view cp932);
// The whole hint as stored, or empty.
std::string HintOf(const QObject* target);
QString LongHintOf(const QObject* target);
QString ShortHintOf(const QObject* target);
