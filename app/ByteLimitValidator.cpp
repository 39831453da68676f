#include "app/ByteLimitValidator.h"

#include "app/Cp932Text.h"

ByteLimitValidator::ByteLimitValidator(int byteLimit, QObject* parent, bool allowMarks)
    : QValidator(parent), byteLimit_(byteLimit), allowMarks_(allowMarks) {}

// CP932 bytes of the text, or -1 when a character has no CP932 form.
int ByteLimitValidator::Bytes(const QString& text) const {
  if (!allowMarks_) return Cp932Length(text);
  QString rest = text;
  const int marks = static_cast<int>(rest.count(QChar(QChar::ReplacementCharacter)));
  rest.remove(QChar(QChar::ReplacementCharacter));
  const int bytes = Cp932Length(rest);
  return bytes < 0 ? -1 : bytes + marks;
}

// Text that overflows is cut like a length-limited box cuts typed or pasted
// text: the characters just before the cursor (the ones being inserted) go,
// until the rest fits.
QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
  int length = Bytes(input);
  if (length < 0) return Invalid;
  if (length <= byteLimit_) return Acceptable;
  while (length > byteLimit_ && pos > 0) {
    // Every character here has a CP932 form (or is a mark), so all are
    // single UTF-16 units.
    length -= Bytes(input.mid(pos - 1, 1));
    input.remove(pos - 1, 1);
    --pos;
  }
  return length <= byteLimit_ ? Acceptable : Invalid;
}
