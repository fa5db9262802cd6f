#include "core/export/number_format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

std::string Fixed(double value, int decimals = 6, char separator = '.') {
  char out[kMaxFixedLength];
  return std::string(out, FormatFixed(out, value, decimals, separator));
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
