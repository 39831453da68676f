// Window placement, the naming rule, the two switches and the item "ID3v2 も使う",
// kept between runs.
//
// The store is an INI file per user at the XDG configuration location
// ($XDG_CONFIG_HOME/Brindle/Selvane.ini); the machine-wide one
// ($XDG_CONFIG_DIRS/Brindle/Selvane.ini) is read for values missing there,
// so an administrator can give defaults. Only the per-user file is written:
// a machine-wide file is writable by root alone, and a failed save refuses
// the close.
#include <QAction>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>
#include <cstdint>
#include <string>

#include "app/Cp932Text.h"
#include "app/MainWindow.h"
#include "app/SettingsValues.h"
#include "app/TagPanel.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"

namespace key = settings_key;

void MainWindow::LoadSettings() {
  const QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                        QStringLiteral("Selvane"));
  // A file that cannot be read at all counts as no store; one that is
  // garbled fails its first read.
  if (store.status() == QSettings::FormatError) {
    storeGarbled_ = true;
    throw SettingsError(kReadFailed, key::Saved);
  }
  if (!store.contains(SettingsKey(key::Saved))) return;

  if (store.contains(SettingsKey(key::Rule))) {
    // The stored rule is not bounded by the box's typing limit: cut it to the
    // box's 100 bytes on a character boundary. A text with no CP932 form
    // cannot be a rule.
    std::string rule;
    if (!FromQt(ReadText(store, key::Rule), rule)) throw SettingsError(kWrongType, key::Rule);
    rule.resize(selvane::CharBoundary(rule, selvane::RuleBoxLimit));
    ruleBox->setText(ToQt(rule));
  }
  // Setting the state runs neither switch's handler.
  if (store.contains(SettingsKey(key::FullPath)))
    ActionFor(Command::FullPath)->setChecked(ReadInteger(store, key::FullPath) != 0);
  if (store.contains(SettingsKey(key::Topmost)))
    ActionFor(Command::Topmost)->setChecked(ReadInteger(store, key::Topmost) != 0);
  if (store.contains(SettingsKey(key::Id3v2))) SetId3v2Item(ReadInteger(store, key::Id3v2) != 0);

  // The place is taken whole and pulled onto the screen before the window
  // moves: a stored integer can be any 32-bit value, so the sums are made
  // in 64 bits, and neither Qt nor X sees a coordinate it cannot hold.
  std::int64_t left = OuterPosition().x();
  std::int64_t top = OuterPosition().y();
  const auto place = [&] {
    const QSize screen = ScreenSize();
    const QSize outer = OuterSize();
    if (screen.width() < left + outer.width()) left = screen.width() - outer.width();
    if (screen.height() < top + outer.height()) top = screen.height() - outer.height();
    // A window may hang off the left or top edge, but not so far that none
    // of it is left on the screen.
    if (left + outer.width() <= 0) left = 0;
    if (top + outer.height() <= 0) top = 0;
    MoveOuter(static_cast<int>(left), static_cast<int>(top));
  };
  try {
    if (store.contains(SettingsKey(key::Left))) left = ReadInteger(store, key::Left);
    if (store.contains(SettingsKey(key::Top))) top = ReadInteger(store, key::Top);
    if (store.contains(SettingsKey(key::Width)))
      SetOuterSize(ReadInteger(store, key::Width), OuterSize().height());
    if (store.contains(SettingsKey(key::Height)))
      SetOuterSize(OuterSize().width(), ReadInteger(store, key::Height));
  } catch (const SettingsError&) {
    place();  // the place read before the bad value still counts
    throw;
  }
  place();
}

bool MainWindow::SaveSettings() {
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
    ShowErrorBox(SettingsError(kWriteFailed, key::Left));
    return false;
  };
  if (!store.isWritable()) return fail();
  const QSize outer = OuterSize();
  store.setValue(SettingsKey(key::Left), OuterPosition().x());
  store.setValue(SettingsKey(key::Top), OuterPosition().y());
  store.setValue(SettingsKey(key::Width), outer.width());
  store.setValue(SettingsKey(key::Height), outer.height());
  store.setValue(SettingsKey(key::Rule), ruleBox->text());
  store.setValue(SettingsKey(key::FullPath), ActionFor(Command::FullPath)->isChecked() ? 1 : 0);
  store.setValue(SettingsKey(key::Topmost), ActionFor(Command::Topmost)->isChecked() ? 1 : 0);
  store.setValue(SettingsKey(key::Id3v2), ActionFor(Command::Id3v2)->isChecked() ? 1 : 0);
  store.setValue(SettingsKey(key::Saved), 1);
  store.sync();
  // The store keeps its first error; the file written anew is read back.
  const QSettings::Status status =
      garbled ? QSettings(file, QSettings::IniFormat).status() : store.status();
  if (status != QSettings::NoError) return fail();
  storeGarbled_ = false;
  return true;
}

// Switching the item names every file anew, as a preset does.
void MainWindow::ToggleId3v2() {
  SetId3v2Item(ActionFor(Command::Id3v2)->isChecked());
  RefreshNames();
}

void MainWindow::SetId3v2Item(bool on) {
  ActionFor(Command::Id3v2)->setChecked(on);
  table.tagSources = on ? selvane::TagSources::WithId3v2 : selvane::TagSources::Id3v1;
  Tags().TakeWholeValues(on);
  // Removal cuts the trailer alone; with the item on the user is told so.
  Commands().ChangeHint(Command::RemoveTag, on ? RemoveTagId3v2Hint : nullptr);
}
