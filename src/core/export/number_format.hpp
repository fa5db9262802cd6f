#pragma once
/// The listing's numbers: fixed-point with a fixed count of decimals, correctly rounded, with the regional
/// decimal separator; and the clamps that keep every listed value within ±100001.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ar4 {

/// Longest text FormatFixed writes for a clamped value: "-100001.000000" (14 characters).
inline constexpr std::size_t kMaxFixedLength = 14;

/// "00", "01" .. "99": the two digits of n at offset 2n.
inline constexpr std::array<char, 200> kTwoDigitTable = [] {
  std::array<char, 200> table{};
  for (int i = 0; i < 100; ++i) {
    table[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    table[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

/// The listing value of a channel: above 100000 it becomes 100001, then below -100000 it becomes -100001;
/// a NaN becomes -100001.
double ClampListingValue(double value);

/// Writes `value` (which must lie within ±100001) with exactly `decimals` digits (at most 6) after
/// `separator`, the nearest such number to the value, a leading "-" when negative. Returns the length.
/// `out` needs room for kMaxFixedLength characters. Nothing is allocated.
std::size_t FormatFixed(char* out, double value, int decimals, char separator);

/// The same text written so that it ends just before `end` (kMaxFixedLength characters of room before it);
/// returns where it begins. Lets a right-aligned field be filled without measuring the text first.
char* FormatFixedBackward(char* end, double value, int decimals, char separator);

/// The listing text of an unflagged channel field of types 73..76 with six decimals, straight from its four
/// bytes and written like FormatFixedBackward: the same text as FormatFixedBackward(end,
/// DeviceFloatListingValue(field), 6, separator), without the detour through a double.
char* FormatDeviceFloatBackward(char* end, const std::uint8_t* field, char separator);

/// The listing value of an unflagged channel field of types 73..76, straight from its four bytes:
/// the same as ClampListingValue(DeviceFloatToDouble(field)).
double DeviceFloatListingValue(const std::uint8_t* field);

}  // namespace ar4
