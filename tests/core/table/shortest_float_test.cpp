// The fast shortest text of a float against std::to_chars, the text it must equal.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>

#include "core/table/shortest_float.hpp"

namespace {

std::string Fast(float value) {
  char text[ar4::kShortestFloatRoom];
  return std::string(text, ar4::WriteShortestFloat(text, value));
}

std::string Reference(float value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(ShortestFloat, EqualsToCharsForReadingsAndForAnyBits) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> any_bits;
  std::uniform_int_distribution<int> thousandths(-9000000, 9000000);
  std::uniform_int_distribution<std::uint32_t> exponent(0x74, 0x8D);  // about 0.0005 .. 32768
  for (int i = 0; i < 300000; ++i) {
    const float values[] = {
        std::bit_cast<float>(any_bits(random)),
        static_cast<float>(thousandths(random)) / 1000.0f,  // a reading with up to three decimals
        static_cast<float>(thousandths(random) / 10) / 100.0f,
        std::bit_cast<float>((exponent(random) << 23) | (any_bits(random) & 0x807FFFFFu)),
    };
    for (const float value : values) ASSERT_EQ(Fast(value), Reference(value)) << std::bit_cast<std::uint32_t>(value);
  }
}

TEST(ShortestFloat, EveryFloatAtTheEdgesOfTheShortWay) {
  for (const float value : {0.0f, -0.0f, 0.001f, -0.001f, 0.0009999f, 0.002f, 1.0f, 10.0f, 100.5f, 8191.999f,
                            8192.0f, 8191.0f, 112.423f, -23.5f, 0.1f, 0.3f, 1000.0f, 4096.125f}) {
    EXPECT_EQ(Fast(value), Reference(value)) << value;
  }
  // Whole stretches of consecutive floats around 0.001, 1 and 8192.
  for (const float centre : {0.001f, 1.0f, 8192.0f, 1024.0f}) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(centre);
    for (std::uint32_t b = bits - 300000; b < bits + 300000; ++b) {
      const float value = std::bit_cast<float>(b);
      ASSERT_EQ(Fast(value), Reference(value)) << b;
    }
  }
}

}  // namespace
