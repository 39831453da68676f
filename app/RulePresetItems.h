#pragma once
// The menu items of the six preset rules (selvane::PresetRules), in the same
// order: item name, caption with its access letter, and hint (UTF-8).
#include <array>

struct RulePresetItem {
  const char* item;
  const char* caption;
  const char* hint;
  bool separatorAfter;
};

inline constexpr std::array<RulePresetItem, 6> RulePresetItems = {{
    {"mp311", "\"ﾀｲﾄﾙ.mp3\"(&A)", "シングル用途１", false},
    {"mp31", "\"ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ).mp3\"(&B)", "シングル用途２", false},
    {"D3", "\"(ｱｰﾃｨｽﾄ)ﾀｲﾄﾙ.mp3\"(&C)", "シングル用途３", true},
    {"mp3D1", "\"(曲番)ﾀｲﾄﾙ.mp3\"(&D)", "アルバム用途１", false},
    {"N13", "\"曲番.ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ／ｱﾙﾊﾞﾑ名).mp3\"(&E)", "アルバム用途２", true},
    {"EXTF1", "\"元ﾌｧｲﾙ名.EXT\"(&F)", "拡張子変更用途", false},
}};
