#pragma once
// Ids of the program's own resources, and its string table.

namespace pv::res {
inline constexpr int kMainFrame = 128;  // menu, toolbar, accelerators, title, icon
inline constexpr int kAboutDialog = 100;
inline constexpr int kSettingsDialog = 107;
inline constexpr int kSliderControl = 1005;
inline constexpr int kMainPane = 59648;  // the surface, the frame's only child
inline constexpr int kCommandBar = 59392;
}  // namespace pv::res

namespace pv::str {
inline constexpr int kSocketsInitFailed = 104;
inline constexpr int kTipNew = 65000;
inline constexpr int kTipHelp = 65002;
inline constexpr int kTipRotate = 65008;
inline constexpr int kRegistryKey = 65009;
inline constexpr int kTipLeftClick = 65010;
inline constexpr int kTipRightClick = 65011;
inline constexpr int kTipDoubleClick = 65012;
inline constexpr int kTipClearScreen = 65013;
}  // namespace pv::str

// The text of string resource id; empty for an unknown id.
const char* PvLoadString(int id);

// Registers the images compiled into the program (they sit in a static library).
void PvInitAppResources();
