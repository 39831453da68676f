#pragma once
// The one helper pair between CP932 texts and the widgets' QString.
#include <QString>
#include <string>
#include <string_view>

// CP932 bytes -> QString. A byte that does not start a valid character is
// shown as one U+FFFD, and the text goes on at the next byte.
QString ToQt(std::string_view cp932);
// QString -> CP932 bytes. False when a character has no CP932 form.
[[nodiscard]] bool FromQt(const QString& text, std::string& cp932);
// Byte length of the text in CP932, or -1 when it has no CP932 form.
int Cp932Length(const QString& text);
