#pragma once
// The program's ids: commands of the menu, toolbar and accelerators, images,
// strings and help topics. Every layer takes them from here.
#include <string_view>

#include "platform/Keys.h"

namespace pv::cmd {
inline constexpr int kOrientationNorth = 32774;
inline constexpr int kOrientationWest = 32775;
inline constexpr int kOrientationSouth = 32776;
inline constexpr int kOrientationEast = 32777;
inline constexpr int kRotateOrientation = 32778;
inline constexpr int kClearScreen = 32792;
inline constexpr int kHelp = 32793;
inline constexpr int kSettings = 107;  // also the Settings dialog's template
inline constexpr int kLeftClick = 65010;
inline constexpr int kRightClick = 65011;
inline constexpr int kDoubleClick = 65012;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
}  // namespace pv::cmd

namespace pv::res {
// The frame's menu, toolbar, accelerators, title string and application icon.
inline constexpr int kMainFrame = 128;
inline constexpr int kIconWest = 130;
inline constexpr int kIconSouth = 131;
inline constexpr int kIconEast = 132;
inline constexpr int kIconNorth = 133;
inline constexpr int kCursorBitmap = 135;
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

// The two places in the help file that the program opens.
namespace pv::help {
inline constexpr std::string_view kMainContents = "file:Penvale.htm#Main_Contents";
inline constexpr std::string_view kSettingsDialog = "file:Penvale.htm#SettingsDialog";
}  // namespace pv::help
