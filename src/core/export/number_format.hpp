#pragma once
/// The listing's numbers: fixed-point with a fixed count of decimals, correctly rounded, with the regional
/// decimal separator; and the clamps that keep every listed value within ±100001.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

/// Width of the right-aligned field in which the listing writes the value of a channel.
inline constexpr std::size_t kDeviceFloatFieldWidth = 20;

namespace number_format_detail {

/// The bytes of `word` in the opposite order (one byte-swap instruction).
constexpr std::uint64_t ReverseBytes(std::uint64_t word) {
  word = ((word & 0x00FF00FF00FF00FFu) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFu);
  word = ((word & 0x0000FFFF0000FFFFu) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFu);
  return (word << 32) | (word >> 32);
}

/// The eight decimal digits of `value` (below 10^8) as byte values 0..9 of a word read as a number in base
/// 256: the first digit in the most significant byte. Each step divides all the lanes of the word at once by
/// multiplying and shifting, and puts the quotients in the upper halves of the lanes: the value into two
/// halves of four digits (32-bit lanes), each half into two pairs (16-bit lanes), each pair into two digits.
constexpr std::uint64_t DecimalDigits(std::uint32_t value) {
  const std::uint64_t high = value / 10000u;
  std::uint64_t word = value + high * ((std::uint64_t{1} << 32) - 10000);  // high x 2^32 + low
  // x / 100 == (x * 5243) >> 19 for every x below 43699; the product stays within its 32-bit lane.
  const std::uint64_t hundreds = ((word * 5243u) >> 19) & 0x0000007F0000007Fu;
  word += hundreds * ((std::uint64_t{1} << 16) - 100);
  // x / 10 == (x * 103) >> 10 for every x below 179; the product stays within its 16-bit lane.
  const std::uint64_t tens = ((word * 103u) >> 10) & 0x000F000F000F000Fu;
  return word + tens * ((std::uint64_t{1} << 8) - 10);
}

}  // namespace number_format_detail

/// The whole listing field of an unflagged channel field of types 73..76: the text of
/// FormatDeviceFloatBackward right-aligned in exactly kDeviceFloatFieldWidth characters, blanks in front.
/// Three overlapping whole-word stores, no loop, no table, no branch on the digits.
inline void WriteDeviceFloatField(char* field, const std::uint8_t* bytes, char separator) {
  static_assert(std::endian::native == std::endian::little, "the words are stored least significant byte first");
  static_assert(kDeviceFloatFieldWidth == 20, "the stores below cover characters 0..19");
  using number_format_detail::DecimalDigits;
  using number_format_detail::ReverseBytes;
  const std::uint32_t bits = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                             (std::uint32_t{bytes[2]} << 8) | bytes[3];
  const std::uint32_t magnitude = bits & 0x7FFFFFFFu;

  // The listed number times 10^6, rounded to the nearest integer, ties to even, as DeviceFloatListingValue
  // and FormatFixedBackward have it. Past 100000 the value becomes 100001 (the saturated exponents 254 and
  // 255 too). Below 2^-22 it is less than half a unit and lists as 0, as 2^-22 itself does: raising the
  // smaller magnitudes (exponent 0 among them) to 2^-22 keeps every shift below within 7..45.
  constexpr std::uint32_t kClampBits = std::bit_cast<std::uint32_t>(100000.0f);
  constexpr std::uint32_t kClampedBits = std::bit_cast<std::uint32_t>(100001.0f);
  constexpr std::uint32_t kSmallestBits = std::bit_cast<std::uint32_t>(0x1p-22f);
  std::uint32_t listed = magnitude > kClampBits ? kClampedBits : magnitude;
  listed = listed < kSmallestBits ? kSmallestBits : listed;
  // listed = M x 2^(E - 150) with a 24-bit M: the number is M x 10^6 (below 2^44) shifted right by 150 - E.
  const std::uint32_t shift = 150u - (listed >> 23);
  const std::uint64_t product = std::uint64_t{(listed & 0x7FFFFFu) | 0x800000u} * 1000000u;
  // Half a unit less one, and one more when the kept part is odd: a halfway case goes to the even side.
  const std::uint64_t rounding = ((std::uint64_t{1} << shift) >> 1) - 1 + ((product >> shift) & 1u);
  const std::uint64_t scaled = (product + rounding) >> shift;  // at most 100001 x 10^6
  // Every negative value has its '-', also one listed as 0, except exponent 0, the instruments' zero.
  const std::uint64_t negative = bits >= 0x80800000u;

  // 10^6 = 2^6 x 15625: a 32-bit division, which compiles to a multiplication.
  const auto integer = static_cast<std::uint32_t>(scaled >> 6) / 15625u;  // at most 100001
  const auto fraction = static_cast<std::uint32_t>(scaled - std::uint64_t{integer} * 1000000u);
  constexpr std::uint64_t kZeros = 0x3030303030303030u;
  constexpr std::uint64_t kBlanks = 0x2020202020202020u;

  // Characters 12..19: the last integer digit (written by the store of the integer part), the separator,
  // the six decimals.
  const std::uint64_t decimals = ReverseBytes(DecimalDigits(fraction)) + (kZeros << 16) +
                                 (std::uint64_t{static_cast<unsigned char>(separator)} << 8);
  // Characters 5..12: the integer part as eight digits, of which the first two are always 0. `top` is the
  // highest bit of the byte of its first significant digit (the units when it is 0); the '0's above that
  // byte become blanks (0x10 less), the first of them a '-' (0x03 less) when the value is negative. The
  // amounts are shifted one bit further, as the bytes above begin at top + 1.
  const std::uint64_t digits = DecimalDigits(integer);
  const auto top = static_cast<unsigned>(std::bit_width(digits | 1u) - 1) | 7u;
  const std::uint64_t above = 0x0020202020202020u - negative * std::uint64_t{('-' - ' ') << 1};
  const std::uint64_t integer_text = ReverseBytes(digits + kZeros - (above << top));

  std::memcpy(field, &kBlanks, 8);
  std::memcpy(field + 12, &decimals, 8);
  std::memcpy(field + 5, &integer_text, 8);
}

/// The listing value of an unflagged channel field of types 73..76, straight from its four bytes:
/// the same as ClampListingValue(DeviceFloatToDouble(field)).
double DeviceFloatListingValue(const std::uint8_t* field);

}  // namespace ar4
