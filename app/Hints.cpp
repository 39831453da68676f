#include "app/Hints.h"

#include <QByteArray>
#include <QObject>
#include <QVariant>

#include "app/Cp932Text.h"
#include "core/platform/Cp932.h"

namespace {
constexpr const char* kHintProperty = "selvaneHint";
}

HintParts SplitHint(std::string_view cp932) {
  for (std::size_t i = 0; i < cp932.size(); i += selvane::CharLength(cp932, i)) {
    if (cp932[i] == '|') return {std::string(cp932.substr(0, i)), std::string(cp932.substr(i + 1))};
  }
  return {std::string(cp932), std::string(cp932)};
}

void SetHint(QObject* target, std::string_view cp932) {
  target->setProperty(kHintProperty,
                      QByteArray(cp932.data(), static_cast<qsizetype>(cp932.size())));
}

std::string HintOf(const QObject* target) {
  const QByteArray bytes = target->property(kHintProperty).toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString LongHintOf(const QObject* target) { return ToQt(SplitHint(HintOf(target)).longHint); }

QString ShortHintOf(const QObject* target) { return ToQt(SplitHint(HintOf(target)).shortHint); }
