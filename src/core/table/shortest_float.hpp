#pragma once
/// The shortest decimal text that reads back as the same single-precision number: exactly the text of
/// std::to_chars(float), written faster for the readings of ordinary instruments.

#include <cstddef>

namespace ar4 {

/// Room WriteShortestFloat needs ("-1.1754944e-38" is 14 characters).
inline constexpr std::size_t kShortestFloatRoom = 24;

/// Writes what std::to_chars(out, out + kShortestFloatRoom, value) writes and returns its end. A number
/// from 0.001 to 8192 whose shortest text has at most three decimals takes a short way: its nearest
/// multiple of 0.001 is tested exactly against the number's rounding interval (below 8192 the interval is
/// narrower than 0.001, so no shorter text can read back unless that multiple's trailing zeros go); every
/// other number goes to std::to_chars.
char* WriteShortestFloat(char* out, float value);

}  // namespace ar4
