#pragma once
// The byte stream from the handheld to the desktop. It runs one way; the fixed
// record widths are what lets the desktop cut it apart.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/RawPoints.h"

namespace pv::protocol {

inline constexpr char kAttach = '+';
inline constexpr char kExtent = ':';
inline constexpr char kPosition = '>';
inline constexpr char kButtonDown = '!';
inline constexpr char kButtonUp = '^';
inline constexpr char kRightClick = '|';

// True for the bytes that begin a message; everything a handheld sends begins with one.
constexpr bool StartsMessage(char c) {
    return c == kAttach || c == kExtent || c == kPosition || c == kButtonDown || c == kButtonUp ||
           c == kRightClick;
}

// The stored messages, each sent as exactly its bytes (never a terminating zero).
inline constexpr std::string_view kAttachStr = "+";
inline constexpr std::string_view kButtonDownStr = "!";
inline constexpr std::string_view kButtonUpStr = "^";
inline constexpr std::string_view kRightClickStr = "|";
inline constexpr std::string_view kClickStr = "!^";
inline constexpr std::string_view kDoubleClickStr = "!^!^";

inline constexpr char kExtentFormat[] = ":%04d%04d";
inline constexpr char kPositionFormat[] = ">%4d%4d";

inline constexpr std::size_t kRecordLength = 9;  // Extent and Position
inline constexpr std::size_t kNumberWidth = 4;
inline constexpr int kMinNumber = -999;  // the widest values that still fit four characters
inline constexpr int kMaxNumber = 9999;
// As many as one stylus event carries.
inline constexpr std::size_t kMaxBatchPoints = static_cast<std::size_t>(pv::history::kMaxPoints);
// Room for a full batch of records and the formatter's terminating zero after the last.
inline constexpr std::size_t kBatchBufferSize = kMaxBatchPoints * kRecordLength + 1;
static_assert(kBatchBufferSize == 145, "16 records of 9 bytes and a terminating zero");

inline constexpr uint16_t kDefaultPort = 55;

// Clamps a number so that its field keeps four characters.
constexpr int ClampNumber(int value) {
    return value < kMinNumber ? kMinNumber : (value > kMaxNumber ? kMaxNumber : value);
}

// Writes one Extent record (9 bytes and a terminating zero) into out, which must
// hold at least 10 bytes. Returns the record length, 9.
int FormatExtent(char* out, int a, int b);

// Writes one Position record (9 bytes and a terminating zero) into out, which
// must hold at least 10 bytes. Returns the record length, 9.
int FormatPosition(char* out, int x, int y);

}  // namespace pv::protocol
