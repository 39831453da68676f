#pragma once
// Limits an edit box to a number of bytes of its CP932 form (a double-byte
// character takes two) and refuses characters that have no CP932 form.
#include <QValidator>

class ByteLimitValidator : public QValidator {
  Q_OBJECT

 public:
  ByteLimitValidator(int byteLimit, QObject* parent);
  int ByteLimit() const { return byteLimit_; }
  State validate(QString& input, int& pos) const override;

 private:
  int byteLimit_;
};
