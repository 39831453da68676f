#pragma once
// Reading one stored value of the settings file, and the error that a
// value which cannot be read or written raises (its text names the value).
#include <QSettings>
#include <QString>
#include <stdexcept>
#include <string>

class SettingsError : public std::runtime_error {
 public:
  // `format` holds one "%s" for the value's name.
  SettingsError(const char* format, const char* valueName);
};

inline constexpr const char* kWriteFailed = "'%s' の設定に失敗しました";
inline constexpr const char* kReadFailed = "'%s' の取得に失敗しました";
inline constexpr const char* kWrongType = "'%s' のデータ型が不正です";

// The keys of the settings file, spelt as users' files already hold them.
namespace settings_key {
inline constexpr const char* Left = "left";
inline constexpr const char* Top = "top";
inline constexpr const char* Width = "width";
inline constexpr const char* Height = "height";
inline constexpr const char* Rule = "ed1";
inline constexpr const char* FullPath = "cb1";
inline constexpr const char* Topmost = "cb3";
inline constexpr const char* Id3v2 = "id3v2";
inline constexpr const char* Saved = "ParamExist";  // 1 once the program has saved
}  // namespace settings_key

inline QString SettingsKey(const char* name) { return QString::fromLatin1(name); }

// A signed 32-bit integer; text that is not one is a value of the wrong type.
int ReadInteger(const QSettings& store, const char* name);
// A text; a list (unquoted commas) or a typed value is of the wrong type.
QString ReadText(const QSettings& store, const char* name);
