#pragma once
/// The listing's numbers: fixed-point with a fixed count of decimals, correctly rounded, with the regional
/// decimal separator; and the clamps that keep every listed value within ±100001.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace number_format_detail {

#if defined(__SSE2__)

/// The integer parts and the fractions (times 10^6) of two listed magnitudes (as singles, already clamped and
/// with exponent 0 made 0), as [integer 0, integer 1, fraction 0, fraction 1].
inline __m128i IntegerAndFractionPairs(__m128d magnitude) {
  // A single's 24-bit mantissa times 10^6 fits the 53 bits of a double, so the product is exact, and adding
  // 2^52 rounds it to an integer, ties to even (the rounding mode is never changed), in the low bits of the
  // sum (the number is below 2^37).
  const __m128d scaled = _mm_add_pd(_mm_mul_pd(magnitude, _mm_set1_pd(1e6)), _mm_set1_pd(0x1p52));
  const __m128i bits = _mm_castpd_si128(scaled);
  // 10^6 = 2^6 x 15625: the number over 64 is below 2^31, and x / 15625 == (x * 2251799814) >> 45 for every
  // x below 7 x 10^9.
  const __m128i integer =
      _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(bits, 6), _mm_set1_epi32(static_cast<int>(2251799814u))), 45);
  // The fraction is below 2^20: the low 32 bits of the difference suffice.
  const __m128i fraction = _mm_sub_epi32(bits, _mm_mul_epu32(integer, _mm_set1_epi32(1000000)));
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(integer), _mm_castsi128_ps(fraction), _MM_SHUFFLE(2, 0, 2, 0)));
}

/// Four numbers below 2^20 (32-bit lanes) as pairs of decimal digits, 16-bit lanes in the order of the text:
/// [0, n / 10^4, n / 100 % 100, n % 100] for each number; the first two numbers in `first`, the others in
/// `second`.
inline void DigitPairs(__m128i numbers, __m128i& first, __m128i& second) {
  // The numbers are exact as singles. The singles nearest to 10^-4 and 10^-2 lie just above them, and the
  // truncated products are the quotients for every number below 2^20, the product's rounding included.
  const __m128 as_single = _mm_cvtepi32_ps(numbers);
  const __m128i ten_thousands = _mm_cvttps_epi32(_mm_mul_ps(as_single, _mm_set1_ps(1e-4f)));  // below 100
  const __m128i hundreds = _mm_cvttps_epi32(_mm_mul_ps(as_single, _mm_set1_ps(1e-2f)));       // below 10^4
  const __m128i hundred = _mm_set1_epi32(100);
  // The remainders within the low 16 bits of the lanes; the upper bits of the last one are dropped below.
  const __m128i middle = _mm_sub_epi16(hundreds, _mm_mullo_epi16(ten_thousands, hundred));
  const __m128i last = _mm_sub_epi16(numbers, _mm_mullo_epi16(hundreds, hundred));
  const __m128i upper = _mm_slli_epi32(ten_thousands, 16);
  const __m128i lower = _mm_or_si128(middle, _mm_slli_epi32(last, 16));
  first = _mm_unpacklo_epi32(upper, lower);
  second = _mm_unpackhi_epi32(upper, lower);
}

/// Each 16-bit lane holding a pair below 100 as its two decimal digits, the tens in the first byte.
inline __m128i PairDigits(__m128i pairs) {
  // x / 10 == (x * 6554) >> 16 for every x below 100; then tens + (x - 10 tens) x 256.
  const __m128i tens = _mm_mulhi_epu16(pairs, _mm_set1_epi16(6554));
  __m128i factor = _mm_set1_epi16(1 - 2560);
#if defined(__GNUC__)
  // Keeps the one multiplication, which the compiler would otherwise turn into four shifts and additions.
  __asm__("" : "+x"(factor));
#endif
  return _mm_add_epi16(_mm_slli_epi16(pairs, 8), _mm_mullo_epi16(tens, factor));
}

/// The text of two integer parts (digits 0..9, eight to a 64-bit lane, the first two always 0): the digits as
/// characters, the zeros in front of the first significant digit (the units at the latest) as blanks, the last
/// of them a '-' where `minus` has 0x0D in the bytes of the lane (0 elsewhere).
inline __m128i IntegerText(__m128i digits, __m128i minus) {
  // 0xFF for every 0 of the first seven digits; adding 1 to the lane clears the run of them at its start, so
  // the bytes kept are that run: the leading zeros.
  const __m128i zero = _mm_cmpeq_epi8(digits, _mm_set1_epi64x(static_cast<long long>(0xFF00000000000000u)));
  const __m128i leading = _mm_andnot_si128(_mm_add_epi64(zero, _mm_set1_epi64x(1)), zero);
  // '0' - 0x10 is a blank, '0' - 0x03 a '-': the run loses 0x10, or 0x03 and 0x0D more below its last byte.
  const __m128i text = _mm_sub_epi8(_mm_add_epi8(digits, _mm_set1_epi8('0')),
                                    _mm_and_si128(leading, _mm_sub_epi8(_mm_set1_epi8(0x10), minus)));
  return _mm_sub_epi8(text, _mm_and_si128(_mm_srli_epi64(leading, 8), minus));
}

/// WriteDeviceFloatField for kValues (2 or 4) consecutive values at once. Every field is written with three
/// 8-byte stores within its own 20 characters: blanks at 0..7, the decimals at 12..19 (12 and the separator at
/// 13 first), the integer part at 5..12.
template <std::size_t kValues>
inline void WriteDeviceFloatFieldsSse2(char* fields, const std::uint8_t* bytes, char separator) {
  static_assert(kValues == 2 || kValues == 4);
  static_assert(kDeviceFloatFieldWidth == 20, "the stores below cover characters 0..19");
  constexpr std::uint32_t kClampBits = std::bit_cast<std::uint32_t>(100000.0f);
  constexpr std::uint32_t kClampedBits = std::bit_cast<std::uint32_t>(100001.0f);
  __m128i stored;
  if constexpr (kValues == 4) {
    stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  } else {
    stored = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes));
  }
  // The values are stored most significant byte first.
  stored = _mm_shufflehi_epi16(_mm_shufflelo_epi16(stored, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
  const __m128i bits = _mm_or_si128(_mm_slli_epi16(stored, 8), _mm_srli_epi16(stored, 8));

  // As in WriteDeviceFloatField: past 100000 the magnitude becomes 100001 (NaNs and infinities too), exponent
  // 0 lists as 0 without a sign, every other negative value has its '-'.
  __m128i magnitude = _mm_and_si128(bits, _mm_set1_epi32(0x7FFFFFFF));
  const __m128i clamped = _mm_cmpgt_epi32(magnitude, _mm_set1_epi32(static_cast<int>(kClampBits)));
  magnitude = _mm_or_si128(_mm_andnot_si128(clamped, magnitude),
                           _mm_and_si128(clamped, _mm_set1_epi32(static_cast<int>(kClampedBits))));
  const __m128i normal = _mm_cmpgt_epi32(magnitude, _mm_set1_epi32(0x007FFFFF));
  magnitude = _mm_and_si128(magnitude, normal);
  const __m128i minus = _mm_and_si128(_mm_and_si128(_mm_srai_epi32(bits, 31), normal), _mm_set1_epi8(0x0D));

  const __m128i blanks = _mm_set1_epi8(' ');
  const __m128i fraction_base = _mm_set1_epi64x(static_cast<long long>(
      0x3030303030303030u - 0x3000u + (std::uint64_t{static_cast<unsigned char>(separator)} << 8)));
  const __m128 magnitudes = _mm_castsi128_ps(magnitude);
  // Two values: lanes `lane` and `lane` + 1 of the four.
  const auto write_two = [&](char* field, __m128i numbers, int lane) {
    __m128i integer_pairs;
    __m128i fraction_pairs;
    DigitPairs(numbers, integer_pairs, fraction_pairs);
    const __m128i lane_minus = lane == 0 ? _mm_shuffle_epi32(minus, _MM_SHUFFLE(1, 1, 0, 0))
                                         : _mm_shuffle_epi32(minus, _MM_SHUFFLE(3, 3, 2, 2));
    const __m128i integer_text = IntegerText(PairDigits(integer_pairs), lane_minus);
    const __m128i fraction_text = _mm_add_epi8(PairDigits(fraction_pairs), fraction_base);
    char* second = field + kDeviceFloatFieldWidth;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(field), blanks);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(field + 12), fraction_text);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(field + 5), integer_text);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(second), blanks);
    _mm_storeh_pi(reinterpret_cast<__m64*>(second + 12), _mm_castsi128_ps(fraction_text));
    _mm_storeh_pi(reinterpret_cast<__m64*>(second + 5), _mm_castsi128_ps(integer_text));
  };
  write_two(fields, IntegerAndFractionPairs(_mm_cvtps_pd(magnitudes)), 0);
  if constexpr (kValues == 4) {
    write_two(fields + 2 * kDeviceFloatFieldWidth,
              IntegerAndFractionPairs(_mm_cvtps_pd(_mm_movehl_ps(magnitudes, magnitudes))), 2);
  }
}

#endif  // __SSE2__

}  // namespace number_format_detail

/// WriteDeviceFloatField for kCount consecutive fields of four bytes, written into kCount consecutive listing
/// fields of kDeviceFloatFieldWidth characters: the same text, byte for byte. Nothing outside the kCount
/// fields is written. With SSE2, four or two values at a time.
template <std::size_t kCount>
inline void WriteDeviceFloatFields(char* fields, const std::uint8_t* bytes, char separator) {
  constexpr std::size_t kWidth = kDeviceFloatFieldWidth;
#if defined(__SSE2__)
  using number_format_detail::WriteDeviceFloatFieldsSse2;
  constexpr std::size_t kFours = kCount / 4;
  [&]<std::size_t... kI>(std::index_sequence<kI...>) {
    (WriteDeviceFloatFieldsSse2<4>(fields + 4 * kI * kWidth, bytes + 16 * kI, separator), ...);
  }(std::make_index_sequence<kFours>());
  if constexpr (kCount % 4 >= 2) {
    WriteDeviceFloatFieldsSse2<2>(fields + 4 * kFours * kWidth, bytes + 16 * kFours, separator);
  }
  if constexpr (kCount % 2 == 1) {
    WriteDeviceFloatField(fields + (kCount - 1) * kWidth, bytes + 4 * (kCount - 1), separator);
  }
#else
  [&]<std::size_t... kI>(std::index_sequence<kI...>) {
    (WriteDeviceFloatField(fields + kI * kWidth, bytes + 4 * kI, separator), ...);
  }(std::make_index_sequence<kCount>());
#endif
}

/// The listing value of an unflagged channel field of types 73..76, straight from its four bytes:
/// the same as ClampListingValue(DeviceFloatToDouble(field)).
double DeviceFloatListingValue(const std::uint8_t* field);

}  // namespace ar4
