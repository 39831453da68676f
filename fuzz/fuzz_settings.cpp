// One stored settings value, read as the program reads it at start: the
// input is the whole INI file. Each integer and the rule either give a
// value or raise the program's own SettingsError, nothing else; a rule that
// is read fits the rule box and converts back to the very same bytes.
#include <stdlib.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "app/Cp932Text.h"
#include "app/SettingsValues.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "fuzz/FuzzCheck.h"

namespace {

// A folder of its own for the files; each input gets a new file name, since
// QSettings keeps what it has read of a file by its name.
const std::string& Folder() {
  static const std::string folder = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/selvane-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) FuzzFailed("no temporary folder", __FILE__, __LINE__);
    return pattern;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static unsigned long counter = 0;
  const std::string file = Folder() + "/" + std::to_string(++counter) + ".ini";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(static_cast<bool>(out));
  }
  {
    const QSettings store(QString::fromStdString(file), QSettings::IniFormat);
    for (const char* name : {"left", "top", "width", "height", "cb1", "cb3"}) {
      if (!store.contains(SettingsKey(name))) continue;
      try {
        (void)ReadInteger(store, name);
      } catch (const SettingsError&) {
      }
    }
    if (store.contains(SettingsKey("ed1"))) {
      try {
        const QString text = ReadText(store, "ed1");
        std::string rule;
        if (FromQt(text, rule)) {
          rule.resize(selvane::CharBoundary(rule, selvane::RuleBoxLimit));
          std::string back;
          FUZZ_CHECK(rule.size() <= selvane::RuleBoxLimit);
          FUZZ_CHECK(FromQt(ToQt(rule), back) && back == rule);
        }
      } catch (const SettingsError&) {
      }
    }
  }
  unlink(file.c_str());
  return 0;
}
