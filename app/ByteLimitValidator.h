#pragma once
// Limits an edit box to a number of bytes of its CP932 form (a double-byte
// character takes two) and refuses characters that have no CP932 form. A
// box that shows tag bytes may hold replacement marks, one per byte that
// was not Shift-JIS: they count one byte each and do not stop typing.
#include <QValidator>

class ByteLimitValidator : public QValidator {
  Q_OBJECT

 public:
  ByteLimitValidator(int byteLimit, QObject* parent, bool allowMarks = false);
  State validate(QString& input, int& pos) const override;
  // Text already in the box stays; the limit holds for what is typed next.
  void SetByteLimit(int byteLimit) { byteLimit_ = byteLimit; }

 private:
  int Bytes(const QString& text) const;

  int byteLimit_;
  bool allowMarks_;
};
