#include "app/Cp932Text.h"

#include "core/platform/Cp932.h"

QString ToQt(std::string_view cp932) {
  std::string native;
  if (selvane::Cp932ToNative(cp932, native)) return QString::fromStdString(native);
  // Character by character: a byte that does not start a valid character
  // (a Latin-1 "é" in a Western tag, say) is one replacement mark, and the
  // next byte is read afresh, so the space or ")" after it stays.
  QString out;
  for (std::size_t i = 0; i < cp932.size();) {
    const std::size_t n = selvane::CharLength(cp932, i);
    if (selvane::Cp932ToNative(cp932.substr(i, n), native)) {
      out += QString::fromStdString(native);
      i += n;
    } else {
      out += QChar(QChar::ReplacementCharacter);
      ++i;
    }
  }
  return out;
}

bool FromQt(const QString& text, std::string& cp932) {
  return selvane::NativeToCp932(text.toStdString(), cp932);
}

int Cp932Length(const QString& text) {
  std::string bytes;
  if (!FromQt(text, bytes)) return -1;
  return static_cast<int>(bytes.size());
}
