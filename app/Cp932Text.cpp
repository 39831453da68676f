#include "app/Cp932Text.h"

#include "core/platform/Cp932.h"

QString ToQt(std::string_view cp932) {
  std::string native;
  if (selvane::Cp932ToNative(cp932, native)) return QString::fromStdString(native);
  // Character by character: a byte that does not start a valid character
  // (a Latin-1 "é" in a Western tag, say) is one replacement mark, and a
  // character that a core message marks as lacking in CP932 comes back.
  return QString::fromStdString(selvane::MessageToNative(cp932));
}

bool FromQt(const QString& text, std::string& cp932) {
  return selvane::NativeToCp932(text.toStdString(), cp932);
}

int Cp932Length(const QString& text) {
  std::string bytes;
  if (!FromQt(text, bytes)) return -1;
  return static_cast<int>(bytes.size());
}
