#include "core/export/listing.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/archive/codecs.hpp"
#include "core/archive/cp1251.hpp"

namespace ar4 {
namespace {

TEST(ListingLine, TimeTextIsThatOfTheCodec) {
  std::mt19937 random(11);
  ListingLine line;
  for (std::uint32_t stamp : {0u, 0xFFFFFFFFu, 0xFEFD7EFBu, 0xFFFFFFFEu, 0x7FFFFFFFu}) {
    line.Clear();
    line.AppendTimeText(stamp);
    EXPECT_EQ(line.View(), PackedToText(stamp)) << stamp;
  }
  for (int i = 0; i < 100000; ++i) {
    const auto stamp = static_cast<std::uint32_t>(random());
    line.Clear();
    line.AppendTimeText(stamp);
    ASSERT_EQ(line.View(), PackedToText(stamp)) << stamp;
  }
}

TEST(ListingLine, TimeTextEndsInColumn35) {
  ListingLine line;
  line.AppendAlignedTimeText(0);
  EXPECT_EQ(line.View(), std::string(13, ' ') + "01.01.2000    00:00:00");
  line.Clear();
  line.AppendAlignedTimeText(0xFFFFFFFFu);
  EXPECT_EQ(line.View(), std::string(25, ' ') + "----  ----");
  line.Clear();
  line.AppendCellOffset({131071, 8}, 26);
  line.PutInFront('A');
  line.AppendAlignedTimeText(0xFEFD7EFBu);
  EXPECT_EQ(line.View(), "A$01FFFFD0   31.12.2063    23:59:59");
}

TEST(ListingLine, RightAlignedFields) {
  ListingLine line;
  line.AppendStatus(0, 8);
  line.AppendStatus(9, 8);
  line.AppendStatus(255, 8);
  line.AppendUnsigned(4294967295u, 0);
  line.AppendValue(-1.25, 4, ',', 10);
  EXPECT_EQ(line.View(), "   Err_0   Err_9 Err_2554294967295   -1,2500");
}

TEST(ListingLine, InvalidCellTextIsWindows1251) {
  EXPECT_EQ(kInvalidCellText, Utf8ToCp1251(" Ошибочная ячейка"));
  EXPECT_EQ(kInvalidCellText.size(), 17u);
}

}  // namespace
}  // namespace ar4
