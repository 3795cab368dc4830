#pragma once
// Command ids of the program's menu, toolbar and accelerators.

namespace pv::cmd {
inline constexpr int kOrientationNorth = 32774;
inline constexpr int kOrientationWest = 32775;
inline constexpr int kOrientationSouth = 32776;
inline constexpr int kOrientationEast = 32777;
inline constexpr int kRotateOrientation = 32778;
inline constexpr int kClearScreen = 32792;
inline constexpr int kHelp = 32793;
inline constexpr int kSettings = 107;
inline constexpr int kLeftClick = 65010;
inline constexpr int kRightClick = 65011;
inline constexpr int kDoubleClick = 65012;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
}  // namespace pv::cmd

namespace pv::res {
inline constexpr int kIconWest = 130;
inline constexpr int kIconSouth = 131;
inline constexpr int kIconEast = 132;
inline constexpr int kIconNorth = 133;
inline constexpr int kCursorBitmap = 135;
inline constexpr int kAppIcon = 128;
}  // namespace pv::res

// The two places in the help file that the program opens.
namespace pv::help {
inline constexpr char kMainContents[] = "file:Penvale.htm#Main_Contents";
inline constexpr char kSettingsDialog[] = "file:Penvale.htm#SettingsDialog";
}  // namespace pv::help

namespace pv::key {
inline constexpr unsigned kAction = 0x86;        // the action button, F23
inline constexpr unsigned kRepeatFlag = 0x4000;  // the key was already down
}  // namespace pv::key
