// Window placement, the naming rule and the two switches, kept between runs.
//
// The store is an INI file per user at the XDG configuration location
// ($XDG_CONFIG_HOME/Brindle/Selvane.ini); the machine-wide one
// ($XDG_CONFIG_DIRS/Brindle/Selvane.ini) is read for values missing there,
// so an administrator can give defaults. Only the per-user file is written:
// a machine-wide file is writable by root alone, and a failed save refuses
// the close.
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/Cp932Text.h"
#include "app/Unit1.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"

namespace {

class SettingsError : public std::runtime_error {
 public:
  SettingsError(const char* format, const char* valueName)
      : std::runtime_error(Format(format, valueName)) {}

 private:
  static std::string Format(std::string text, const char* valueName) {
    text.replace(text.find("%s"), 2, valueName);
    return text;
  }
};

constexpr const char* kWriteFailed = "'%s' の設定に失敗しました";
constexpr const char* kReadFailed = "'%s' の取得に失敗しました";
constexpr const char* kWrongType = "'%s' のデータ型が不正です";

QString Key(const char* name) { return QString::fromLatin1(name); }

// A signed 32-bit integer; text that is not one is a value of the wrong type.
int ReadInteger(const QSettings& store, const char* name) {
  const QVariant value = store.value(Key(name));
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

// A text; a list (unquoted commas) or a typed value is of the wrong type.
QString ReadText(const QSettings& store, const char* name) {
  const QVariant value = store.value(Key(name));
  if (value.typeId() != QMetaType::QString) throw SettingsError(kWrongType, name);
  return value.toString();
}

}  // namespace

void TForm1::LoadSettings() {
  const QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                        QStringLiteral("Selvane"));
  // A file that cannot be read at all counts as no store; one that is
  // garbled fails its first read.
  if (store.status() == QSettings::FormatError) {
    storeGarbled_ = true;
    throw SettingsError(kReadFailed, "ParamExist");
  }
  if (!store.contains(Key("ParamExist"))) return;

  if (store.contains(Key("ed1"))) {
    // The stored rule is not bounded by the box's typing limit: cut it to the
    // box's 100 bytes on a character boundary. A text with no CP932 form
    // cannot be a rule.
    std::string rule;
    if (!FromQt(ReadText(store, "ed1"), rule)) throw SettingsError(kWrongType, "ed1");
    rule.resize(selvane::CharBoundary(rule, selvane::RuleBoxLimit));
    Edit1->setText(ToQt(rule));
  }
  // Setting the state runs neither switch's handler.
  if (store.contains(Key("cb1"))) SpeedButton7->setChecked(ReadInteger(store, "cb1") != 0);
  if (store.contains(Key("cb3"))) SpeedButton8->setChecked(ReadInteger(store, "cb3") != 0);

  if (store.contains(Key("left"))) MoveOuter(ReadInteger(store, "left"), OuterPosition().y());
  if (store.contains(Key("top"))) MoveOuter(OuterPosition().x(), ReadInteger(store, "top"));
  if (store.contains(Key("width"))) SetOuterSize(ReadInteger(store, "width"), OuterSize().height());
  if (store.contains(Key("height")))
    SetOuterSize(OuterSize().width(), ReadInteger(store, "height"));

  // Back onto the screen, with the size the limits left.
  const QSize screen = ScreenSize();
  const QSize outer = OuterSize();
  int left = OuterPosition().x();
  int top = OuterPosition().y();
  if (screen.width() < left + outer.width()) left = screen.width() - outer.width();
  if (screen.height() < top + outer.height()) top = screen.height() - outer.height();
  MoveOuter(left, top);
}

bool TForm1::SaveSettings() {
  // Only the per-user file is written, so only its own state counts here.
  const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Brindle/Selvane.ini");
  QSettings store(file, QSettings::IniFormat);
  // A garbled file was reported when it was read; what it held cannot be
  // kept, so it gives way to a clean store of the values now in use.
  // (Qt keeps a file it has read once, so the load's verdict counts too.)
  const bool garbled = storeGarbled_ || store.status() == QSettings::FormatError;
  if (garbled) store.clear();
  // A store that cannot be written fails at its first value.
  auto fail = [this] {
    ShowErrorBox(SettingsError(kWriteFailed, "left"));
    return false;
  };
  if (!store.isWritable()) return fail();
  const QSize outer = OuterSize();
  store.setValue(Key("left"), OuterPosition().x());
  store.setValue(Key("top"), OuterPosition().y());
  store.setValue(Key("width"), outer.width());
  store.setValue(Key("height"), outer.height());
  store.setValue(Key("ed1"), Edit1->text());
  store.setValue(Key("cb1"), SpeedButton7->isChecked() ? 1 : 0);
  store.setValue(Key("cb3"), SpeedButton8->isChecked() ? 1 : 0);
  store.setValue(Key("ParamExist"), 1);
  store.sync();
  // The store keeps its first error; the file written anew is read back.
  const QSettings::Status status =
      garbled ? QSettings(file, QSettings::IniFormat).status() : store.status();
  if (status != QSettings::NoError) return fail();
  storeGarbled_ = false;
  return true;
}
