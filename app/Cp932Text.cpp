#include "app/Cp932Text.h"

#include "core/platform/Cp932.h"

QString ToQt(std::string_view cp932) {
  std::string native;
  if (selvane::Cp932ToNative(cp932, native)) return QString::fromStdString(native);
  // Convert character by character so one broken byte does not hide the rest.
  QString out;
  for (std::size_t i = 0; i < cp932.size();) {
    const std::size_t n = selvane::CharLength(cp932, i);
    if (selvane::Cp932ToNative(cp932.substr(i, n), native))
      out += QString::fromStdString(native);
    else
      out += QChar(QChar::ReplacementCharacter);
    i += n;
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
