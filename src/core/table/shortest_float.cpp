#include "core/table/shortest_float.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/export/number_format.hpp"

namespace ar4 {

char* WriteShortestFloat(char* out, float value) {
  const float magnitude = std::fabs(value);
  if (magnitude >= 0.001f && magnitude < 8192.0f) {
    // The rounding interval: every real number strictly between the midpoints to the neighbouring floats
    // reads back as this one; a midpoint itself reads back as the neighbour with the even significand.
    // Midpoints have one bit more than a float, and times 1000 they are still exact in double.
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(magnitude);
    const double exact = magnitude;
    const double low = (exact + static_cast<double>(std::bit_cast<float>(bits - 1))) * 500.0;
    const double high = (exact + static_cast<double>(std::bit_cast<float>(bits + 1))) * 500.0;
    const double scaled = exact * 1000.0;             // exact
    const double nearest = (scaled + 0x1p52) - 0x1p52;  // rounded to an integer, ties to even
    const bool even = (bits & 1u) == 0;
    if ((nearest > low || (even && nearest == low)) && (nearest < high || (even && nearest == high)) &&
        std::fabs(nearest - scaled) != 0.5) {
      const auto thousandths = static_cast<std::uint32_t>(nearest);
      const std::uint32_t integer = thousandths / 1000;  // below 8192: four digits at most
      const std::uint32_t fraction = thousandths % 1000;
      char* at = out;
      if (value < 0) *at++ = '-';
      if (integer >= 100) {
        if (integer >= 1000) *at++ = static_cast<char>('0' + integer / 1000);
        std::memcpy(at, kTwoDigitTable.data() + 2 * (integer / 10 % 100), 2);
        at += 2;
        *at++ = static_cast<char>('0' + integer % 10);
      } else if (integer >= 10) {
        std::memcpy(at, kTwoDigitTable.data() + 2 * integer, 2);
        at += 2;
      } else {
        *at++ = static_cast<char>('0' + integer);
      }
      if (fraction != 0) {
        *at++ = '.';
        *at++ = static_cast<char>('0' + fraction / 100);
        const std::uint32_t rest = fraction % 100;
        if (rest != 0) {
          std::memcpy(at, kTwoDigitTable.data() + 2 * rest, 2);
          at += rest % 10 != 0 ? 2 : 1;  // no trailing zero
        }
      }
      return at;
    }
  }
  return std::to_chars(out, out + kShortestFloatRoom, value).ptr;
}

}  // namespace ar4
