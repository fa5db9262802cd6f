#include "core/export/number_format.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ar4 {
namespace {

constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

/// The exact route for the values the fast route does not take.
std::size_t FormatWithToChars(char* out, double value, int decimals, char separator) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::size_t length = error == std::errc() ? static_cast<std::size_t>(end - buffer) : 0;
  if (length > kMaxFixedLength) length = kMaxFixedLength;  // only for values outside the documented range
  for (std::size_t i = 0; i < length; ++i) out[i] = buffer[i] == '.' ? separator : buffer[i];
  return length;
}

/// Writes `scaled` (the value x 10^Decimals, rounded) backwards so that it ends just before `end`:
/// Decimals digits, the separator, the integer part without leading zeros, the sign. Returns the start.
template <int Decimals>
char* WriteScaledBackward(char* end, bool negative, std::uint64_t scaled, char separator) {
  constexpr std::uint64_t kUnit = kPowersOfTen[Decimals];
  auto fraction = static_cast<std::uint32_t>(scaled % kUnit);
  auto integer = static_cast<std::uint32_t>(scaled / kUnit);
  char* p = end;
  for (int i = 0; i < Decimals / 2; ++i) {
    p -= 2;
    std::memcpy(p, &kTwoDigitTable[2 * (fraction % 100)], 2);
    fraction /= 100;
  }
  *--p = separator;
  while (integer >= 100) {
    p -= 2;
    std::memcpy(p, &kTwoDigitTable[2 * (integer % 100)], 2);
    integer /= 100;
  }
  if (integer >= 10) {
    p -= 2;
    std::memcpy(p, &kTwoDigitTable[2 * integer], 2);
  } else {
    *--p = static_cast<char>('0' + integer);
  }
  if (negative) *--p = '-';
  return p;
}

}  // namespace

double ClampListingValue(double value) {
  if (std::isnan(value)) return -100001.0;
  if (value > 100000.0) value = 100001.0;
  if (value < -100000.0) value = -100001.0;
  return value;
}

char* FormatFixedBackward(char* end, double value, int decimals, char separator) {
  if (value == 0.0) value = 0.0;  // -0.0 is listed without a sign
  const bool fast_decimals = decimals == 2 || decimals == 4 || decimals == 6;
  if (fast_decimals && std::fabs(value) <= 100001.0) {
    // The exact binary value is M x 2^E. The listed number is M x 10^decimals x 2^E rounded to the nearest
    // integer, ties to even, as the exact conversion rounds. The values of the instruments are singles
    // (at most 24 significant bits), so the product fits in 64 bits; wider mantissas take the exact route.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = -1074;  // subnormal (or zero)
    if (biased != 0) {
      mantissa |= std::uint64_t{1} << 52;
      exponent = biased - 1075;
    }
    std::uint64_t scaled = 0;
    bool fits = true;
    if (mantissa != 0) {
      const int trailing = std::countr_zero(mantissa);
      mantissa >>= trailing;
      exponent += trailing;
      fits = mantissa < (std::uint64_t{1} << 43);
      const std::uint64_t product = mantissa * kPowersOfTen[decimals];  // below 2^63 when it fits
      if (exponent >= 0) {
        scaled = product << exponent;  // |value| <= 100001: no overflow
      } else if (exponent > -64) {
        const int shift = -exponent;
        scaled = product >> shift;
        const std::uint64_t remainder = product & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        scaled += static_cast<std::uint64_t>((remainder > half) | ((remainder == half) & (scaled & 1u)));
      }  // else: below 2^-64 x 2^63, less than half a unit: 0
    }
    if (fits) {
      switch (decimals) {
        case 6:
          return WriteScaledBackward<6>(end, negative, scaled, separator);
        case 4:
          return WriteScaledBackward<4>(end, negative, scaled, separator);
        default:
          return WriteScaledBackward<2>(end, negative, scaled, separator);
      }
    }
  }
  char text[kMaxFixedLength];
  const std::size_t length = FormatWithToChars(text, value, decimals, separator);
  std::memcpy(end - length, text, length);
  return end - length;
}

std::size_t FormatFixed(char* out, double value, int decimals, char separator) {
  char text[kMaxFixedLength];
  const char* begin = FormatFixedBackward(text + kMaxFixedLength, value, decimals, separator);
  const auto length = static_cast<std::size_t>(text + kMaxFixedLength - begin);
  std::memcpy(out, begin, length);
  return length;
}

namespace {

/// The listing value of a channel field of types 73..76 times 10^6, rounded as the exact conversion
/// rounds, with its sign.
struct ScaledValue {
  std::uint64_t Scaled;
  bool Negative;
};

ScaledValue DeviceFloatScaled(const std::uint8_t* field) {
  const std::uint32_t bits = (std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) |
                             (std::uint32_t{field[2]} << 8) | field[3];
  const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
  constexpr std::uint32_t kClampBits = std::bit_cast<std::uint32_t>(100000.0f);
  constexpr std::uint64_t kClampScaled = 100001u * 1000000ull;
  const bool negative = (bits >> 31) != 0;
  if (magnitude < (1u << 23)) return {0, false};  // exponent 0: the instruments' zero, without a sign
  if (magnitude > kClampBits) return {kClampScaled, negative};  // the saturated exponents 254, 255 too
  // The value is M x 2^(E - 150) with a 24-bit M and E at most 143 (it is at most 100000): the listed
  // number is M x 10^6 shifted right by 150 - E, rounded to the nearest, ties to even.
  const std::uint64_t product = ((magnitude & 0x7FFFFFu) | 0x800000u) * 1000000ull;  // below 2^44
  const int shift = 150 - static_cast<int>(magnitude >> 23);
  if (shift >= 45) return {0, negative};  // less than half a unit
  std::uint64_t scaled = product >> shift;
  const std::uint64_t remainder = product & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  scaled += static_cast<std::uint64_t>((remainder > half) | ((remainder == half) & (scaled & 1u)));
  return {scaled, negative};
}

}  // namespace

char* FormatDeviceFloatBackward(char* end, const std::uint8_t* field, char separator) {
  const ScaledValue value = DeviceFloatScaled(field);
  return WriteScaledBackward<6>(end, value.Negative, value.Scaled, separator);
}

double DeviceFloatListingValue(const std::uint8_t* field) {
  const unsigned exponent = ((field[0] & 0x7Fu) << 1) | (field[1] >> 7);
  if (exponent == 0) return 0.0;
  // Exponents 254 and 255 saturate at 2^126 or more: far beyond the clamps.
  if (exponent >= 254) return (field[0] & 0x80u) != 0 ? -100001.0 : 100001.0;
  // Otherwise the value is exactly the IEEE single of the same bits.
  const std::uint32_t bits = (std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) |
                             (std::uint32_t{field[2]} << 8) | field[3];
  return ClampListingValue(static_cast<double>(std::bit_cast<float>(bits)));
}

}  // namespace ar4
