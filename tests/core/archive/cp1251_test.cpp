#include "core/archive/cp1251.hpp"

#include <gtest/gtest.h>

namespace ar4 {
namespace {

TEST(Cp1251, EveryByteButTheUnassignedOneRoundTrips) {
  for (unsigned b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(one);
    if (b == 0x98) {
      EXPECT_EQ(utf8, "\xEF\xBF\xBD");  // U+FFFD
      EXPECT_EQ(Utf8ToCp1251(utf8), "?");
      continue;
    }
    EXPECT_EQ(Utf8ToCp1251(utf8), one) << b;
  }
}

TEST(Cp1251, RussianWordsOfTheReport) {
  EXPECT_EQ(Utf8ToCp1251("Тип прибора: "), "\xD2\xE8\xEF \xEF\xF0\xE8\xE1\xEE\xF0\xE0: ");
  EXPECT_EQ(Utf8ToCp1251("Ошибки"), "\xCE\xF8\xE8\xE1\xEA\xE8");
  EXPECT_EQ(Utf8ToCp1251("ГРВ-300"), "\xC3\xD0\xC2-300");
  EXPECT_EQ(Utf8ToCp1251("ЁёЯяАа№"), "\xA8\xB8\xDF\xFF\xC0\xE0\xB9");
  EXPECT_EQ(Cp1251ToUtf8("\xCB\xD1 260"), "ЛС 260");
}

TEST(Cp1251, CharactersOutsideTheCodePageAndMalformedInput) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xADz"), "a?z");          // a CJK character
  EXPECT_EQ(Utf8ToCp1251("a\xF0\x9F\x98\x80z"), "a?z");      // outside the basic plane
  EXPECT_EQ(Utf8ToCp1251("a\x80z"), "a?z");                  // a stray continuation byte
  EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?");                    // cut off at the end
  EXPECT_EQ(Utf8ToCp1251("\xD0z"), "?z");                    // a lead byte without its continuation
  EXPECT_EQ(Utf8ToCp1251(std::string_view("\0x", 2)), std::string("\0x", 2));
}

}  // namespace
}  // namespace ar4
