#include "core/archive/codecs.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

namespace ar4 {
namespace {

TEST(CellChecksum, Examples) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  const std::uint8_t ff[] = {0xFF};
  EXPECT_EQ(CellChecksum(nullptr, 0), 0x01);
  EXPECT_EQ(CellChecksum(abc, 3), 0x5F);
  EXPECT_EQ(CellChecksum(ff, 1), 0x00);
}

TEST(CellChecksum, RotatesTheCarryBitIntoBitZero) {
  // 1 + 0x80 = 0x81; rotated left: 0x03 (bit 7 wraps round). A plain shift would give 0x02.
  const std::uint8_t b[] = {0x80};
  EXPECT_EQ(CellChecksum(b, 1), 0x03);
}

TEST(IsCellIntact, TestsMarkerLengthAndCheckByte) {
  std::uint8_t cell[13] = {0xA5, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0};
  cell[12] = CellChecksum(cell, 12);
  EXPECT_TRUE(IsCellIntact(cell, 13));
  EXPECT_FALSE(IsCellIntact(cell, 26));  // length byte differs from the cell size
  cell[5] ^= 1;
  EXPECT_FALSE(IsCellIntact(cell, 13));
  cell[5] ^= 1;
  cell[0] = 0xA4;
  cell[12] = CellChecksum(cell, 12);
  EXPECT_FALSE(IsCellIntact(cell, 13));
}

TEST(ByteToHex, UpperCaseHighNibbleFirst) {
  EXPECT_EQ(ByteToHex(0x5A), "5A");
  EXPECT_EQ(ByteToHex(0x07), "07");
  EXPECT_EQ(ByteToHex(0x00), "00");
  EXPECT_EQ(ByteToHex(0xFF), "FF");
  EXPECT_EQ(ByteToHex(0xAB), "AB");
}

TEST(PackedToText, Examples) {
  EXPECT_EQ(PackedToText(0xFFFFFFFFu), "----  ----");
  EXPECT_EQ(PackedToText(0), "01.01.2000    00:00:00");
  EXPECT_EQ(PackedToText(0xFEFD7EFBu), "31.12.2063    23:59:59");
  EXPECT_EQ(PackedToText(0xFEFD7EFBu).size(), kPackedTextLength);
}

TEST(PackedToText, FieldsBeyondTheirRangePrintInFull) {
  // Month field 15 (month 16), day field 31 (day 32), hour 31, minute 63, second 63.
  const std::uint32_t stamp = (5u << 26) | (15u << 22) | (31u << 17) | (31u << 12) | (63u << 6) | 63u;
  EXPECT_EQ(PackedToText(stamp), "32.16.2005    31:63:63");
  // Single digits get one leading zero.
  const std::uint32_t small = (9u << 26) | (2u << 22) | (4u << 17) | (7u << 12) | (8u << 6) | 9u;
  EXPECT_EQ(PackedToText(small), "05.03.2009    07:08:09");
}

TEST(PackedToFields, Examples) {
  using Fields = std::array<std::uint8_t, 6>;
  EXPECT_EQ(PackedToFields(0xFFFFFFFFu), (Fields{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(PackedToFields(0xFEFD7EFBu), (Fields{63, 12, 31, 23, 59, 59}));
  EXPECT_EQ(PackedToFields(0), (Fields{0, 1, 1, 0, 0, 0}));
}

double DeviceFloat(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  const std::uint8_t bytes[] = {b0, b1, b2, b3};
  return DeviceFloatToDouble(bytes);
}

TEST(DeviceFloatToDouble, Examples) {
  EXPECT_EQ(DeviceFloat(0x3F, 0x80, 0x00, 0x00), 1.0);
  EXPECT_EQ(DeviceFloat(0xC0, 0x00, 0x00, 0x00), -2.0);
  EXPECT_EQ(DeviceFloat(0x47, 0xC3, 0x50, 0x00), 100000.0);
  const double negative_zero = DeviceFloat(0x80, 0x00, 0x00, 0x00);
  EXPECT_EQ(negative_zero, 0.0);
  EXPECT_FALSE(std::signbit(negative_zero));
  EXPECT_EQ(DeviceFloat(0x00, 0x40, 0x00, 0x00), 0.0);  // an IEEE subnormal
  EXPECT_FALSE(std::signbit(DeviceFloat(0x80, 0x40, 0x00, 0x01)));
  EXPECT_EQ(DeviceFloat(0x7E, 0xFF, 0xFF, 0xFF), static_cast<double>(std::bit_cast<float>(0x7EFFFFFFu)));
}

TEST(DeviceFloatToDouble, TheExponentSaturatesAtTwoToThe126) {
  const double two126 = std::ldexp(1.0, 126);
  EXPECT_EQ(DeviceFloat(0x7F, 0x80, 0x00, 0x00), two126);                        // IEEE infinity
  EXPECT_EQ(DeviceFloat(0xFF, 0x80, 0x00, 0x00), -two126);                       // minus infinity
  EXPECT_EQ(DeviceFloat(0x7F, 0x7F, 0xFF, 0xFF), (2.0 - std::ldexp(1.0, -23)) * two126);  // half the largest
  EXPECT_EQ(DeviceFloat(0x7F, 0x00, 0x00, 0x00), two126);                        // exponent 254
  // IEEE NaN patterns give finite numbers.
  EXPECT_EQ(DeviceFloat(0x7F, 0xFF, 0xFF, 0xFF), (2.0 - std::ldexp(1.0, -23)) * two126);
  EXPECT_EQ(DeviceFloat(0x7F, 0xC0, 0x00, 0x00), 1.5 * two126);
}

TEST(DeviceFloatToDouble, MatchesIeeeBelowTheSaturatedExponents) {
  // Every exponent 1..253 with a few fractions and both signs.
  for (std::uint32_t e = 1; e <= 253; ++e) {
    for (std::uint32_t f : {0u, 1u, 0x400000u, 0x7FFFFFu, 0x123456u}) {
      for (std::uint32_t s : {0u, 1u}) {
        const std::uint32_t bits = (s << 31) | (e << 23) | f;
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                                      static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
        ASSERT_EQ(DeviceFloatToDouble(bytes), static_cast<double>(std::bit_cast<float>(bits))) << std::hex << bits;
      }
    }
  }
}

TEST(SingleToDouble, LittleEndianIeee) {
  const std::uint8_t one[] = {0x00, 0x00, 0x80, 0x3F};
  EXPECT_EQ(SingleToDouble(one), 1.0);
  // An infinity after the scan lowered its exponent byte.
  const std::uint8_t lowered[] = {0x00, 0x00, 0x80, 0x7E};
  EXPECT_EQ(SingleToDouble(lowered), std::ldexp(1.0, 126));
  const std::uint8_t minus_two[] = {0x00, 0x00, 0x00, 0xC0};
  EXPECT_EQ(SingleToDouble(minus_two), -2.0);
}

constexpr std::uint32_t Stamp(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<std::uint32_t>(year - 2000) << 26) | (static_cast<std::uint32_t>(month - 1) << 22) |
         (static_cast<std::uint32_t>(day - 1) << 17) | (static_cast<std::uint32_t>(hour) << 12) |
         (static_cast<std::uint32_t>(minute) << 6) | static_cast<std::uint32_t>(second);
}

TEST(PackedToDateTime, Examples) {
  EXPECT_EQ(PackedToDateTime(0), 36526.0);
  EXPECT_EQ(PackedToDateTime(0xFFFFFFFFu), 0.0);
  EXPECT_EQ(PackedToDateTime(Stamp(2004, 2, 29, 12, 0, 0)), 38046.5);
  EXPECT_EQ(PackedToDateTime(Stamp(2013, 1, 1, 0, 0, 0)), 41275.0);
  EXPECT_EQ(PackedToDateTime(Stamp(2063, 12, 31, 0, 0, 0)), 59901.0);
  // Leap years add a day from March on: 1 March 2004 follows 29 February.
  EXPECT_EQ(PackedToDateTime(Stamp(2004, 3, 1, 0, 0, 0)), 38047.0);
  EXPECT_EQ(PackedToDateTime(Stamp(2005, 3, 1, 0, 0, 0)), 38412.0);
}

TEST(PackedToDateTime, MonthFieldsBeyondTwelveGiveFiniteValues) {
  // Months 13..16 have no entry in the month table; every year and day must still give a finite number
  // (the address sanitizer catches a read outside the table).
  for (std::uint32_t year = 0; year < 64; ++year) {
    double previous = PackedToDateTime((year << 26) | (11u << 22) | (31u << 17));
    for (std::uint32_t month = 12; month < 16; ++month) {
      for (std::uint32_t day : {0u, 30u, 31u}) {
        const std::uint32_t stamp = (year << 26) | (month << 22) | (day << 17) | (31u << 12) | (63u << 6) | 62u;
        const double value = PackedToDateTime(stamp);
        ASSERT_TRUE(std::isfinite(value)) << std::hex << stamp;
        ASSERT_GT(value, 36525.0);
      }
      const double month_start = PackedToDateTime((year << 26) | (month << 22));
      EXPECT_GE(month_start, previous - 31.0);
      previous = month_start;
    }
  }
}

TEST(DateTimeToPacked, Examples) {
  const PackedWithMilliseconds zero = DateTimeToPacked(0.0);
  EXPECT_EQ(zero.Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(zero.Milliseconds, 0u);
  EXPECT_EQ(DateTimeToPacked(36526.0).Stamp, 0u);
  EXPECT_EQ(DateTimeToPacked(38046.5).Stamp, Stamp(2004, 2, 29, 12, 0, 0));
  EXPECT_EQ(DateTimeToPacked(41275.0).Stamp, Stamp(2013, 1, 1, 0, 0, 0));
}

TEST(DateTimeToPacked, RoundsToTheNearestMillisecond) {
  // 23:59:59.9996 of 31 December 2012 is 00:00:00 of 1 January 2013.
  const PackedWithMilliseconds next_day = DateTimeToPacked(41274.0 + 86399.9996 / 86400.0);
  EXPECT_EQ(next_day.Stamp, Stamp(2013, 1, 1, 0, 0, 0));
  EXPECT_EQ(next_day.Milliseconds, 0u);
  // 23:59:59.9994 stays on its day with 999 milliseconds.
  const PackedWithMilliseconds same_day = DateTimeToPacked(41274.0 + 86399.9994 / 86400.0);
  EXPECT_EQ(same_day.Stamp, Stamp(2012, 12, 31, 23, 59, 59));
  EXPECT_EQ(same_day.Milliseconds, 999u);
  const PackedWithMilliseconds quarter = DateTimeToPacked(41275.0 + 12.25 / 86400.0);
  EXPECT_EQ(quarter.Stamp, Stamp(2013, 1, 1, 0, 0, 12));
  EXPECT_EQ(quarter.Milliseconds, 250u);
}

TEST(DateTimeToPacked, YearsOutsideTwoThousandToTwoThousandSixtyThree) {
  EXPECT_EQ(DateTimeToPacked(36525.5).Stamp, 0xFFFFFFFFu);  // 31 December 1999, noon
  EXPECT_EQ(DateTimeToPacked(1.0).Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(DateTimeToPacked(-700.25).Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(DateTimeToPacked(59902.0).Stamp, 0xFFFFFFFFu);  // 1 January 2064
  EXPECT_EQ(DateTimeToPacked(1e300).Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(DateTimeToPacked(std::nan("")).Stamp, 0xFFFFFFFFu);
  // The milliseconds come back also when the stamp is 0xFFFFFFFF.
  const PackedWithMilliseconds before = DateTimeToPacked(36525.0 + 0.75 / 86400.0);
  EXPECT_EQ(before.Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(before.Milliseconds, 750u);
  // 23:59:59.9996 of the last day rolls over into 2064.
  EXPECT_EQ(DateTimeToPacked(59901.0 + 86399.9996 / 86400.0).Stamp, 0xFFFFFFFFu);
  EXPECT_EQ(DateTimeToPacked(59901.0 + 86399.0 / 86400.0).Stamp, 0xFEFD7EFBu);
}

TEST(DateTimeToPacked, InvertsPackedToDateTimeOnCalendarDates) {
  const std::vector<std::uint32_t> stamps{Stamp(2000, 1, 1, 0, 0, 1),    Stamp(2000, 2, 29, 23, 59, 59),
                                          Stamp(2001, 3, 1, 12, 30, 30), Stamp(2014, 7, 15, 6, 7, 8),
                                          Stamp(2063, 12, 31, 23, 59, 59)};
  for (std::uint32_t stamp : stamps) {
    const PackedWithMilliseconds back = DateTimeToPacked(PackedToDateTime(stamp));
    EXPECT_EQ(back.Stamp, stamp) << PackedToText(stamp);
    EXPECT_EQ(back.Milliseconds, 0u);
  }
}

TEST(PackDate, Examples) {
  EXPECT_EQ(PackDate(31, 12, 2063), 0xFEFC0000u);
  EXPECT_EQ(PackDate(1, 1, 2000), 0u);
  EXPECT_EQ(PackDate(31, 2, 2014), Stamp(2014, 2, 31, 0, 0, 0));  // no calendar test
}

TEST(ChainStep, CountsGapsBetweenValidRuns) {
  std::uint8_t state = 0;
  std::uint32_t breaks = 0;
  for (bool valid : {false, true, false, false, true, true, false}) ChainStep(state, valid, breaks);
  EXPECT_EQ(state, 2);
  EXPECT_EQ(breaks, 1u);

  state = 0;
  breaks = 0;
  for (int i = 0; i < 5; ++i) ChainStep(state, true, breaks);
  EXPECT_EQ(state, 1);
  EXPECT_EQ(breaks, 0u);

  // Gaps before the first and after the last valid cell do not count; each inner gap does.
  state = 0;
  breaks = 0;
  for (bool valid : {false, false, true, false, true, false, true, true, false, false}) {
    ChainStep(state, valid, breaks);
  }
  EXPECT_EQ(breaks, 2u);
  EXPECT_EQ(state, 2);
}

}  // namespace
}  // namespace ar4
