#pragma once
// The menu items of the six preset rules (selvane::PresetRules), in the same
// order: caption with its access letter, and hint (UTF-8).
#include <array>

struct RulePresetItem {
  const char* caption;
  const char* hint;
  bool separatorAfter;
};

inline constexpr std::array<RulePresetItem, 6> RulePresetItems = {{
    {"\"ﾀｲﾄﾙ.mp3\"(&A)", "シングル用途１", false},
    {"\"ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ).mp3\"(&B)", "シングル用途２", false},
    {"\"(ｱｰﾃｨｽﾄ)ﾀｲﾄﾙ.mp3\"(&C)", "シングル用途３", true},
    {"\"(曲番)ﾀｲﾄﾙ.mp3\"(&D)", "アルバム用途１", false},
    {"\"曲番.ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ／ｱﾙﾊﾞﾑ名).mp3\"(&E)", "アルバム用途２", true},
    {"\"元ﾌｧｲﾙ名.EXT\"(&F)", "拡張子変更用途", false},
}};
