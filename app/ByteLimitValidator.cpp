#include "app/ByteLimitValidator.h"

#include "app/Cp932Text.h"

ByteLimitValidator::ByteLimitValidator(int byteLimit, QObject* parent)
    : QValidator(parent), byteLimit_(byteLimit) {}

// Text that overflows is cut like a length-limited box cuts typed or pasted
// text: the characters just before the cursor (the ones being inserted) go,
// until the rest fits.
QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
  int length = Cp932Length(input);
  if (length < 0) return Invalid;
  if (length <= byteLimit_) return Acceptable;
  while (length > byteLimit_ && pos > 0) {
    // Every character here has a CP932 form, so all are single UTF-16 units.
    length -= Cp932Length(input.mid(pos - 1, 1));
    input.remove(pos - 1, 1);
    --pos;
  }
  return length <= byteLimit_ ? Acceptable : Invalid;
}
