#pragma once
// The main window's sizes, shared with the benchmark's window of
// the same layout so that the two can never drift apart.
#include <QSize>

namespace window_layout {

// Outer size of the window at its first start, and its limits.
inline constexpr QSize StartSize(411, 321);
inline constexpr QSize MinimumSize(240, 300);
inline constexpr QSize MaximumSize(1024, 768);
// Heights of the docked bands, top to bottom.
inline constexpr int ToolbarHeight = 33;
inline constexpr int TagGroupHeight = 94;
inline constexpr int RuleGroupHeight = 42;
inline constexpr int StatusBarHeight = 22;
// The lists' rows are at least as high as their 12-pixel font.
inline constexpr int ListRowPixels = 12;

}  // namespace window_layout
