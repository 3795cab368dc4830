#pragma once
// Virtual-key codes the surface understands, as every platform layer delivers them.

namespace pv::key {
inline constexpr unsigned kAction = 0x86;        // the action button, F23
inline constexpr unsigned kRepeatFlag = 0x4000;  // the key was already down
}  // namespace pv::key
