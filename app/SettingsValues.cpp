#include "app/SettingsValues.h"

#include <cstdint>

namespace {

std::string Format(std::string text, const char* valueName) {
  text.replace(text.find("%s"), 2, valueName);
  return text;
}

}  // namespace

SettingsError::SettingsError(const char* format, const char* valueName)
    : std::runtime_error(Format(format, valueName)) {}

int ReadInteger(const QSettings& store, const char* name) {
  const QVariant value = store.value(SettingsKey(name));
  bool ok = false;
  qlonglong number = 0;
  switch (value.typeId()) {
    case QMetaType::QString:
      number = value.toString().trimmed().toLongLong(&ok, 10);
      break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      number = value.toLongLong(&ok);
      break;
    default:
      break;
  }
  if (!ok || number < INT32_MIN || number > INT32_MAX) throw SettingsError(kWrongType, name);
  return static_cast<int>(number);
}

QString ReadText(const QSettings& store, const char* name) {
  const QVariant value = store.value(SettingsKey(name));
  if (value.typeId() != QMetaType::QString) throw SettingsError(kWrongType, name);
  return value.toString();
}
