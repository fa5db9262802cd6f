#include "core/export/number_format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

std::string Fixed(double value, int decimals = 6, char separator = '.') {
  char out[kMaxFixedLength];
  return std::string(out, FormatFixed(out, value, decimals, separator));
}

/// Mantissas of a single that reach the edges of the digit arithmetic (all zeros, all ones, single bits,
/// alternating bits), then `random_count` random ones from `seed`.
std::vector<std::uint32_t> SpreadMantissas(unsigned seed, int random_count) {
  std::vector<std::uint32_t> mantissas = {0u,        1u,        2u,        3u,        0x7FFFFFu, 0x7FFFFEu,
                                          0x400000u, 0x400001u, 0x3FFFFFu, 0x200000u, 0x600000u, 0x555555u,
                                          0x2AAAAAu, 0x000080u, 0x7FFF80u, 0x123456u};
  std::mt19937 random(seed);
  for (int i = 0; i < random_count; ++i) mantissas.push_back(static_cast<std::uint32_t>(random()) & 0x7FFFFFu);
  return mantissas;
}

TEST(ClampListingValue, KeepsEveryValueWithinTheFields) {
  EXPECT_EQ(ClampListingValue(250000.0), 100001.0);
  EXPECT_EQ(ClampListingValue(-250000.0), -100001.0);
  EXPECT_EQ(ClampListingValue(100000.0), 100000.0);
  EXPECT_EQ(ClampListingValue(-100000.0), -100000.0);
  EXPECT_EQ(ClampListingValue(100000.00390625), 100001.0);
  EXPECT_EQ(ClampListingValue(std::numeric_limits<double>::infinity()), 100001.0);
  EXPECT_EQ(ClampListingValue(-std::numeric_limits<double>::infinity()), -100001.0);
  EXPECT_EQ(ClampListingValue(std::nan("")), -100001.0);
  EXPECT_EQ(ClampListingValue(23.5), 23.5);
}

TEST(FormatFixed, SixDecimalsWithTheSeparator) {
  EXPECT_EQ(Fixed(23.5), "23.500000");
  EXPECT_EQ(Fixed(23.5, 6, ','), "23,500000");
  EXPECT_EQ(Fixed(100001.0), "100001.000000");
  EXPECT_EQ(Fixed(-100001.0), "-100001.000000");
  EXPECT_EQ(Fixed(0.0), "0.000000");
  EXPECT_EQ(Fixed(-0.0), "0.000000");
  EXPECT_EQ(Fixed(-2.0), "-2.000000");
  EXPECT_EQ(Fixed(100001.0, 4), "100001.0000");
  EXPECT_EQ(Fixed(-1.5, 4, ','), "-1,5000");
}

TEST(FormatFixed, RoundsToTheNearestOfTheExactValue) {
  EXPECT_EQ(Fixed(static_cast<double>(0.1f)), "0.100000");         // 0.100000001490116...
  EXPECT_EQ(Fixed(static_cast<double>(123.45678f), 4), "123.4568");  // 123.456779479980...
  EXPECT_EQ(Fixed(0.0000004), "0.000000");
  EXPECT_EQ(Fixed(0.0000006), "0.000001");
  EXPECT_EQ(Fixed(99999.9999996), "100000.000000");
  EXPECT_EQ(Fixed(static_cast<double>(1.0f / 3.0f)), "0.333333");
}

TEST(FormatFixed, EveryFloatInRangeMatchesTheExactConversion) {
  // The values the instruments deliver are singles; compare with the standard's exact conversion.
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (!std::isfinite(f) || std::fabs(f) > 100001.0f) continue;
    const double value = f == 0.0f ? 0.0 : static_cast<double>(f);
    for (int decimals : {4, 6}) {
      char expected[64];
      const auto end = std::to_chars(expected, expected + 64, value, std::chars_format::fixed, decimals).ptr;
      ASSERT_EQ(Fixed(value, decimals), std::string(expected, end)) << value;
    }
  }
}

TEST(FormatFixed, WiderDoublesTakeTheExactRoute) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> values(-100001.0, 100001.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = values(random);
    char expected[64];
    const auto end = std::to_chars(expected, expected + 64, value, std::chars_format::fixed, 6).ptr;
    ASSERT_EQ(Fixed(value), std::string(expected, end)) << value;
  }
}

TEST(FormatFixed, BackwardWritingEndsAtTheGivenPlace) {
  char field[20];
  std::fill(std::begin(field), std::end(field), '#');
  char* begin = FormatFixedBackward(field + 20, -23.5, 6, ',');
  EXPECT_EQ(std::string(begin, field + 20), "-23,500000");
  EXPECT_EQ(begin - field, 10);
  EXPECT_EQ(field[9], '#');
}

TEST(DeviceFloatListingValue, SameAsDecodingThenClamping) {
  std::mt19937 random(5);
  const auto check = [](std::uint32_t bits) {
    const std::uint8_t field[4] = {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                                   static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
    const double expected = ClampListingValue(DeviceFloatToDouble(field));
    const double actual = DeviceFloatListingValue(field);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(expected)) << std::hex << bits;
  };
  for (std::uint32_t bits : {0u, 0x80000000u, 0x00400000u, 0x7F800000u, 0xFF800000u, 0x7FFFFFFFu, 0x7F7FFFFFu,
                             0x47C35000u, 0x47C35080u, 0xC7C35000u, 0xC7C35080u, 0x3F800000u}) {
    check(bits);
  }
  for (int i = 0; i < 200000; ++i) check(static_cast<std::uint32_t>(random()));
}

}  // namespace
}  // namespace ar4

namespace ar4 {
namespace {

TEST(DeviceFloatText, SameAsDecodingThenFormatting) {
  std::mt19937 random(17);
  const auto check = [](std::uint32_t bits) {
    const std::uint8_t field[4] = {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                                   static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
    char expected[kMaxFixedLength];
    char actual[kMaxFixedLength];
    const char* expected_begin =
        FormatFixedBackward(expected + kMaxFixedLength, DeviceFloatListingValue(field), 6, ',');
    const char* actual_begin = FormatDeviceFloatBackward(actual + kMaxFixedLength, field, ',');
    const std::string text(expected_begin, expected_begin + (expected + kMaxFixedLength - expected_begin));
    ASSERT_EQ(std::string(actual_begin, actual_begin + (actual + kMaxFixedLength - actual_begin)), text)
        << std::hex << bits;
  };
  // Zeros, clamps, saturated exponents, the halfway cases of the sixth decimal, the smallest values.
  for (std::uint32_t bits : {0u, 0x80000000u, 0x00400000u, 0x80000001u, 0x7F800000u, 0xFF800000u, 0x7FFFFFFFu,
                             0x47C35000u, 0x47C35001u, 0xC7C35000u, 0xC7C35001u, 0x3F800000u, 0x35000000u,
                             0xB5000000u, 0x35800000u, 0x34FFFFFFu, 0x00800000u, 0x80800000u}) {
    check(bits);
  }
  for (int i = 0; i < 300000; ++i) {
    // Mostly the exponents of listed numbers (2^-30 .. 2^18), sometimes any bits at all.
    std::uint32_t bits = static_cast<std::uint32_t>(random());
    if (i % 4 != 0) bits = (bits & 0x807FFFFFu) | ((97u + static_cast<std::uint32_t>(random() % 48)) << 23);
    check(bits);
  }
}

}  // namespace
}  // namespace ar4

namespace ar4 {
namespace {

std::array<std::uint8_t, 4> DeviceFloatBytes(std::uint32_t bits) {
  return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

/// The field as the listing wrote it before: blanks, then the backward text ending at the field's end.
std::array<char, kDeviceFloatFieldWidth> ReferenceField(std::uint32_t bits, char separator) {
  std::array<char, kDeviceFloatFieldWidth> field;
  field.fill(' ');
  FormatDeviceFloatBackward(field.data() + field.size(), DeviceFloatBytes(bits).data(), separator);
  return field;
}

/// Compares the whole field with the reference; a failure names the bits and shows both texts.
::testing::AssertionResult FieldMatches(std::uint32_t bits, char separator) {
  const auto bytes = DeviceFloatBytes(bits);
  std::array<char, kDeviceFloatFieldWidth> actual;
  actual.fill('#');
  WriteDeviceFloatField(actual.data(), bytes.data(), separator);
  const auto expected = ReferenceField(bits, separator);
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << "bits 0x" << bits << ": \""
                                       << std::string(actual.begin(), actual.end()) << "\" instead of \""
                                       << std::string(expected.begin(), expected.end()) << "\"";
}

std::string FieldText(float value, char separator = ',') {
  const auto bytes = DeviceFloatBytes(std::bit_cast<std::uint32_t>(value));
  char field[kDeviceFloatFieldWidth];
  WriteDeviceFloatField(field, bytes.data(), separator);
  return std::string(field, sizeof field);
}

TEST(DeviceFloatField, RightAlignedTextsWithEitherSeparator) {
  EXPECT_EQ(FieldText(23.5f), "           23,500000");
  EXPECT_EQ(FieldText(23.5f, '.'), "           23.500000");
  EXPECT_EQ(FieldText(-2.0f), "           -2,000000");
  EXPECT_EQ(FieldText(0.1f), "            0,100000");  // 0.100000001490116...
  EXPECT_EQ(FieldText(-0.25f, '.'), "           -0.250000");
  EXPECT_EQ(FieldText(1.0f / 3.0f), "            0,333333");
  EXPECT_EQ(FieldText(10.0f), "           10,000000");
  EXPECT_EQ(FieldText(-12345.5f), "       -12345,500000");
  EXPECT_EQ(FieldText(100000.0f), "       100000,000000");
  EXPECT_EQ(FieldText(-100000.0f, '.'), "      -100000.000000");
  EXPECT_EQ(FieldText(0.0f), "            0,000000");
}

TEST(DeviceFloatField, WritesExactlyTheWidthOfTheField) {
  for (const std::uint32_t bits : {0u, 0x3F800000u, 0xC7C35000u, 0xFF800000u, 0xB3000000u}) {
    char buffer[kDeviceFloatFieldWidth + 16];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    WriteDeviceFloatField(buffer + 8, DeviceFloatBytes(bits).data(), '.');
    EXPECT_EQ(std::string(buffer, 8), "########") << std::hex << bits;
    EXPECT_EQ(std::string(buffer + 8 + kDeviceFloatFieldWidth, 8), "########") << std::hex << bits;
    EXPECT_EQ(std::count(buffer + 8, buffer + 8 + kDeviceFloatFieldWidth, '#'), 0) << std::hex << bits;
  }
}

TEST(DeviceFloatField, ZerosAndClampsKeepTheirSpecialTexts) {
  // Exponent 0 is listed without a sign, whatever the mantissa.
  for (const std::uint32_t bits : {0u, 0x80000000u, 0x00000001u, 0x807FFFFFu, 0x00400000u}) {
    const auto bytes = DeviceFloatBytes(bits);
    char field[kDeviceFloatFieldWidth];
    WriteDeviceFloatField(field, bytes.data(), '.');
    EXPECT_EQ(std::string(field, sizeof field), "            0.000000") << std::hex << bits;
  }
  // Past 100000 in either direction, and the saturated exponents 254 and 255.
  for (const std::uint32_t bits : {0x47C35001u, 0x47FFFFFFu, 0x7F000000u, 0x7F7FFFFFu, 0x7F800000u, 0x7FFFFFFFu}) {
    const auto bytes = DeviceFloatBytes(bits);
    const auto negative_bytes = DeviceFloatBytes(bits | 0x80000000u);
    char field[kDeviceFloatFieldWidth];
    WriteDeviceFloatField(field, bytes.data(), ',');
    EXPECT_EQ(std::string(field, sizeof field), "       100001,000000") << std::hex << bits;
    WriteDeviceFloatField(field, negative_bytes.data(), ',');
    EXPECT_EQ(std::string(field, sizeof field), "      -100001,000000") << std::hex << bits;
  }
}

TEST(DeviceFloatField, NegativeValuesRoundingToZeroKeepTheirSign) {
  EXPECT_EQ(FieldText(-1e-9f), "           -0,000000");
  EXPECT_EQ(FieldText(-4e-7f), "           -0,000000");
  EXPECT_EQ(FieldText(-6e-7f), "           -0,000001");
  EXPECT_EQ(FieldText(4e-7f), "            0,000000");
  EXPECT_EQ(FieldText(std::bit_cast<float>(0x80800000u)), "           -0,000000");  // the smallest exponent
  // Around half a unit of the sixth decimal (2^-21 is just below it), on both sides of zero.
  const std::uint32_t half_unit = std::bit_cast<std::uint32_t>(5e-7f);
  for (std::uint32_t bits = half_unit - 3000; bits <= half_unit + 3000; ++bits) {
    ASSERT_TRUE(FieldMatches(bits, ','));
    ASSERT_TRUE(FieldMatches(bits | 0x80000000u, '.'));
  }
}

TEST(DeviceFloatField, HalfwayValuesRoundToEven) {
  // The values whose millionfold ends in exactly .5 are the odd multiples of 1/128.
  EXPECT_EQ(FieldText(1.0f / 128), "            0,007812");   // 7812.5
  EXPECT_EQ(FieldText(3.0f / 128), "            0,023438");   // 23437.5
  EXPECT_EQ(FieldText(-5.0f / 128), "           -0,039062");  // 39062.5
  EXPECT_EQ(FieldText(99999.9921875f), "        99999,992188");  // the largest single below 100000
  EXPECT_EQ(FieldText(-99999.9921875f, '.'), "       -99999.992188");
  for (std::uint32_t k = 1; k < 100000u * 128; k += k < 20000 ? 2 : 2 * 997) {
    const float value = static_cast<float>(k) / 128;
    ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(value), ','));
    ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(-value), '.'));
  }
}

TEST(DeviceFloatField, AroundTheClamps) {
  // 100000 itself is listed; the next single above it and everything beyond are clamped.
  const std::uint32_t clamp = std::bit_cast<std::uint32_t>(100000.0f);
  for (std::uint32_t bits = clamp - 2000; bits <= clamp + 2000; ++bits) {
    ASSERT_TRUE(FieldMatches(bits, ','));
    ASSERT_TRUE(FieldMatches(bits | 0x80000000u, '.'));
  }
  // The widest integer parts, and the places where the count of digits grows.
  for (const float value : {99999.5f, 99999.99f, 10000.0f, 9999.9999f, 1000.0f, 999.99999f, 100.0f, 99.999999f,
                            9.9999995f, 1.0f, 0.99999997f, 0.9999995f, 0.9999994f}) {
    ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(value), ','));
    ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(-value), '.'));
    for (std::uint32_t step = 1; step <= 64; ++step) {
      ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(value) + step, ','));
      ASSERT_TRUE(FieldMatches(std::bit_cast<std::uint32_t>(value) - step, '.'));
    }
  }
}

TEST(DeviceFloatField, EveryExponentWithBothSignsAndSpreadMantissas) {
  const std::vector<std::uint32_t> mantissas = SpreadMantissas(29, 48);
  for (std::uint32_t exponent = 0; exponent < 256; ++exponent) {
    for (const std::uint32_t sign : {0u, 0x80000000u}) {
      for (const std::uint32_t mantissa : mantissas) {
        const std::uint32_t bits = sign | (exponent << 23) | mantissa;
        ASSERT_TRUE(FieldMatches(bits, ','));
        ASSERT_TRUE(FieldMatches(bits, '.'));
      }
    }
  }
}

/// FieldMatches for loops over millions of patterns: a plain comparison first, the explained one only
/// when they differ.
::testing::AssertionResult QuicklyMatches(std::uint32_t bits, char separator) {
  const auto bytes = DeviceFloatBytes(bits);
  char actual[kDeviceFloatFieldWidth];
  WriteDeviceFloatField(actual, bytes.data(), separator);
  const auto expected = ReferenceField(bits, separator);
  if (std::memcmp(actual, expected.data(), kDeviceFloatFieldWidth) == 0) return ::testing::AssertionSuccess();
  return FieldMatches(bits, separator);
}

TEST(DeviceFloatField, RandomBitPatterns) {
  std::mt19937 random(31);
  for (int i = 0; i < 4000000; ++i) {
    std::uint32_t bits = static_cast<std::uint32_t>(random());
    // Half of them with the exponents of the listed numbers (2^-22 .. 2^17), the rest any bits at all.
    if (i % 2 != 0) bits = (bits & 0x807FFFFFu) | ((105u + static_cast<std::uint32_t>(random() % 40)) << 23);
    const char separator = (i & 2) != 0 ? ',' : '.';
    ASSERT_TRUE(QuicklyMatches(bits, separator));
  }
}

// Every one of the 2^32 bit patterns: about a minute in an optimised build, for runs by hand
// (--gtest_also_run_disabled_tests --gtest_filter=*EveryBitPattern*).
TEST(DeviceFloatField, DISABLED_EveryBitPattern) {
  std::uint32_t bits = 0;
  do {
    const char separator = (bits & 0x100u) != 0 ? ',' : '.';
    ASSERT_TRUE(QuicklyMatches(bits, separator));
  } while (++bits != 0);
}

/// Where the batch is checked: the fields lie between guard bytes, at an odd offset.
constexpr std::size_t kGuardBytes = 13;

/// The batch of kCount fields against kCount calls of WriteDeviceFloatField, guard bytes included; a failure
/// names the lane, its bits and both texts.
template <std::size_t kCount>
::testing::AssertionResult BatchMatches(const std::array<std::uint32_t, kCount>& bits, char separator) {
  std::array<std::uint8_t, 4 * kCount> bytes;
  for (std::size_t i = 0; i < kCount; ++i) {
    const auto value = DeviceFloatBytes(bits[i]);
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  std::array<char, 2 * kGuardBytes + kCount * kDeviceFloatFieldWidth> actual;
  actual.fill('#');
  auto expected = actual;
  WriteDeviceFloatFields<kCount>(actual.data() + kGuardBytes, bytes.data(), separator);
  for (std::size_t i = 0; i < kCount; ++i) {
    WriteDeviceFloatField(expected.data() + kGuardBytes + i * kDeviceFloatFieldWidth, bytes.data() + 4 * i,
                          separator);
  }
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto first_difference =
      static_cast<std::size_t>(std::mismatch(actual.begin(), actual.end(), expected.begin()).first - actual.begin());
  if (first_difference < kGuardBytes || first_difference >= kGuardBytes + kCount * kDeviceFloatFieldWidth) {
    return ::testing::AssertionFailure() << "a byte outside the fields was written: \""
                                         << std::string(actual.begin(), actual.end()) << "\"";
  }
  const std::size_t lane = (first_difference - kGuardBytes) / kDeviceFloatFieldWidth;
  const auto field = actual.begin() + static_cast<std::ptrdiff_t>(kGuardBytes + lane * kDeviceFloatFieldWidth);
  const auto wanted = expected.begin() + (field - actual.begin());
  return ::testing::AssertionFailure() << std::hex << "lane " << lane << " of " << kCount << ", bits 0x"
                                       << bits[lane] << ": \"" << std::string(field, field + kDeviceFloatFieldWidth)
                                       << "\" instead of \"" << std::string(wanted, wanted + kDeviceFloatFieldWidth)
                                       << "\"";
}

/// Every pattern of `patterns` in every lane of batches of kCount: lane i of batch b takes pattern
/// (b + i x stride) mod n, so neighbouring lanes hold different patterns; both separators alternate.
template <std::size_t kCount>
::testing::AssertionResult EveryPatternInEveryLane(const std::vector<std::uint32_t>& patterns) {
  const std::size_t n = patterns.size();
  const std::size_t stride = n / kCount + 1;
  std::array<std::uint32_t, kCount> bits;
  for (std::size_t b = 0; b < n; ++b) {
    for (std::size_t i = 0; i < kCount; ++i) bits[i] = patterns[(b + i * stride) % n];
    auto result = BatchMatches<kCount>(bits, (b & 1) != 0 ? ',' : '.');
    if (!result) return result;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult EveryPatternInEveryLaneOfEveryCount(const std::vector<std::uint32_t>& patterns) {
  for (auto result : {EveryPatternInEveryLane<1>(patterns), EveryPatternInEveryLane<2>(patterns),
                      EveryPatternInEveryLane<3>(patterns), EveryPatternInEveryLane<4>(patterns),
                      EveryPatternInEveryLane<8>(patterns), EveryPatternInEveryLane<16>(patterns)}) {
    if (!result) return result;
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::uint32_t> WithBothSigns(std::vector<std::uint32_t> patterns) {
  const std::size_t n = patterns.size();
  for (std::size_t i = 0; i < n; ++i) patterns.push_back(patterns[i] ^ 0x80000000u);
  return patterns;
}

TEST(DeviceFloatFields, EachLaneGetsItsOwnValue) {
  const std::array<float, 4> values = {23.5f, -0.25f, 100000.0f, -12345.5f};
  std::array<std::uint8_t, 16> bytes;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto value = DeviceFloatBytes(std::bit_cast<std::uint32_t>(values[i]));
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  char fields[4 * kDeviceFloatFieldWidth];
  WriteDeviceFloatFields<4>(fields, bytes.data(), ',');
  EXPECT_EQ(std::string(fields, sizeof fields),
            "           23,500000           -0,250000       100000,000000       -12345,500000");
  WriteDeviceFloatFields<3>(fields, bytes.data() + 4, '.');
  EXPECT_EQ(std::string(fields, 3 * kDeviceFloatFieldWidth),
            "           -0.250000       100000.000000       -12345.500000");
  WriteDeviceFloatFields<2>(fields, bytes.data() + 8, '.');
  EXPECT_EQ(std::string(fields, 2 * kDeviceFloatFieldWidth), "       100000.000000       -12345.500000");
}

TEST(DeviceFloatFields, WriteNothingOutsideTheirFields) {
  // The guard bytes right before and after the fields must survive, wherever the fields begin.
  const std::array<std::uint32_t, 16> bits = {0u,          0x3F800000u, 0xC7C35000u, 0xFF800000u,
                                              0xB3000000u, 0x47C35001u, 0x80000000u, 0x3DCCCCCDu,
                                              0xC2F6E979u, 0x7FFFFFFFu, 0x00400000u, 0xBF7FFFFFu,
                                              0x3C000000u, 0xC7C34FFFu, 0x34000000u, 0x80800000u};
  std::array<std::uint8_t, 64> bytes;
  for (std::size_t i = 0; i < 16; ++i) {
    const auto value = DeviceFloatBytes(bits[i]);
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  for (std::size_t offset = 0; offset < 16; ++offset) {
    std::array<char, 16 + 16 * kDeviceFloatFieldWidth + 16> buffer;
    for (const std::size_t count : {1u, 2u, 3u, 4u, 8u, 16u}) {
      buffer.fill('#');
      char* fields = buffer.data() + offset;
      switch (count) {
        case 1: WriteDeviceFloatFields<1>(fields, bytes.data(), '.'); break;
        case 2: WriteDeviceFloatFields<2>(fields, bytes.data(), '.'); break;
        case 3: WriteDeviceFloatFields<3>(fields, bytes.data(), '.'); break;
        case 4: WriteDeviceFloatFields<4>(fields, bytes.data(), '.'); break;
        case 8: WriteDeviceFloatFields<8>(fields, bytes.data(), '.'); break;
        default: WriteDeviceFloatFields<16>(fields, bytes.data(), '.'); break;
      }
      char* end = fields + count * kDeviceFloatFieldWidth;
      EXPECT_EQ(std::count(buffer.data(), fields, '#'), static_cast<std::ptrdiff_t>(offset)) << count;
      EXPECT_EQ(std::count(fields, end, '#'), 0) << count;
      EXPECT_EQ(std::count(end, buffer.data() + buffer.size(), '#'), buffer.data() + buffer.size() - end) << count;
    }
  }
}

TEST(DeviceFloatFields, EveryExponentWithBothSignsAndSpreadMantissas) {
  const std::vector<std::uint32_t> mantissas = SpreadMantissas(37, 16);
  std::vector<std::uint32_t> patterns;
  for (std::uint32_t exponent = 0; exponent < 256; ++exponent) {
    for (const std::uint32_t mantissa : mantissas) patterns.push_back((exponent << 23) | mantissa);
  }
  EXPECT_TRUE(EveryPatternInEveryLaneOfEveryCount(WithBothSigns(patterns)));
}

TEST(DeviceFloatFields, ZerosSaturatedExponentsAndTheClamps) {
  std::vector<std::uint32_t> patterns;
  // Exponent 0 (listed as 0 without a sign), 254 and 255 (clamped), with mantissas at both ends.
  for (const std::uint32_t exponent : {0u, 254u, 255u}) {
    for (std::uint32_t mantissa = 0; mantissa < 300; ++mantissa) {
      patterns.push_back((exponent << 23) | mantissa);
      patterns.push_back((exponent << 23) | (0x7FFFFFu - mantissa));
      patterns.push_back((exponent << 23) | (mantissa * 27961u & 0x7FFFFFu));
    }
  }
  // Both sides of 100000, the last value listed.
  const std::uint32_t clamp = std::bit_cast<std::uint32_t>(100000.0f);
  for (std::uint32_t bits = clamp - 1500; bits <= clamp + 1500; ++bits) patterns.push_back(bits);
  EXPECT_TRUE(EveryPatternInEveryLaneOfEveryCount(WithBothSigns(patterns)));
}

TEST(DeviceFloatFields, ValuesRoundingToZeroAndWhereTheDigitsGrow) {
  std::vector<std::uint32_t> patterns;
  // Around half a unit of the sixth decimal: 0 with or without '-', or one unit.
  const std::uint32_t half_unit = std::bit_cast<std::uint32_t>(5e-7f);
  for (std::uint32_t bits = half_unit - 2000; bits <= half_unit + 2000; ++bits) patterns.push_back(bits);
  for (std::uint32_t bits = 0x00800000u; bits < 0x00800000u + 200; ++bits) patterns.push_back(bits);
  // Where the integer part or the fraction carries into another digit.
  for (const float value : {99999.99f, 10000.0f, 9999.9999f, 1000.0f, 999.99999f, 100.0f, 99.999999f, 9.9999995f,
                            1.0f, 0.99999997f, 0.9999995f, 0.1f, 0.01f, 0.001f, 1e-4f, 1e-5f, 1e-6f}) {
    for (std::uint32_t step = 0; step <= 64; ++step) {
      patterns.push_back(std::bit_cast<std::uint32_t>(value) + step);
      patterns.push_back(std::bit_cast<std::uint32_t>(value) - step);
    }
  }
  EXPECT_TRUE(EveryPatternInEveryLaneOfEveryCount(WithBothSigns(patterns)));
}

TEST(DeviceFloatFields, HalfwayValuesRoundToEven) {
  // The odd multiples of 1/128: their millionfold ends in exactly .5.
  std::vector<std::uint32_t> patterns;
  for (std::uint32_t k = 1; k < 100000u * 128; k += k < 4000 ? 2 : 2 * 1009) {
    patterns.push_back(std::bit_cast<std::uint32_t>(static_cast<float>(k) / 128));
  }
  EXPECT_TRUE(EveryPatternInEveryLaneOfEveryCount(WithBothSigns(patterns)));
}

template <std::size_t kCount>
::testing::AssertionResult RandomBatchesMatch(std::uint32_t seed, std::size_t values) {
  std::mt19937 random(seed);
  std::array<std::uint32_t, kCount> bits;
  for (std::size_t done = 0; done < values; done += kCount) {
    for (std::size_t i = 0; i < kCount; ++i) {
      bits[i] = static_cast<std::uint32_t>(random());
      // Mostly the exponents of the listed numbers (2^-22 .. 2^17), the rest any bits at all.
      if ((bits[i] & 3u) != 0) bits[i] = (bits[i] & 0x807FFFFFu) | ((105u + (bits[i] >> 8) % 40u) << 23);
    }
    auto result = BatchMatches<kCount>(bits, (done & kCount) != 0 ? ',' : '.');
    if (!result) return result;
  }
  return ::testing::AssertionSuccess();
}

TEST(DeviceFloatFields, RandomBitPatterns) {
  EXPECT_TRUE(RandomBatchesMatch<1>(41, 200000));
  EXPECT_TRUE(RandomBatchesMatch<2>(43, 500000));
  EXPECT_TRUE(RandomBatchesMatch<3>(47, 500000));
  EXPECT_TRUE(RandomBatchesMatch<4>(53, 1000000));
  EXPECT_TRUE(RandomBatchesMatch<8>(59, 1000000));
  EXPECT_TRUE(RandomBatchesMatch<16>(61, 1000000));
}

// Every one of the 2^32 bit patterns in every lane of batches of four and of two: several minutes in an
// optimised build, for runs by hand (--gtest_also_run_disabled_tests --gtest_filter=*EveryBitPatternInEveryLane*).
TEST(DeviceFloatFields, DISABLED_EveryBitPatternInEveryLane) {
  // Lane i takes the pattern rotated by 8 i bits: every lane sees every pattern, next to different ones.
  const auto rotated = [](std::uint32_t bits, int by) { return std::rotl(bits, by); };
  std::uint32_t bits = 0;
  do {
    const char separator = (bits & 0x100u) != 0 ? ',' : '.';
    const std::array<std::uint32_t, 4> four = {bits, rotated(bits, 8), rotated(bits, 16), rotated(bits, 24)};
    const std::array<std::uint32_t, 2> two = {rotated(bits, 4), rotated(bits, 12)};
    ASSERT_TRUE(BatchMatches<4>(four, separator));
    ASSERT_TRUE(BatchMatches<2>(two, separator));
  } while (++bits != 0);
}

}  // namespace
}  // namespace ar4
