#include "ar4gen/generator.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "core/archive/codecs.hpp"

namespace ar4gen {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

const ar4::DeviceProfile& Profile(std::uint16_t type) { return *ar4::FindDeviceProfile(type); }

GeneratorOptions Options(std::uint16_t type, std::uint32_t pages, std::uint64_t seed = 1) {
  GeneratorOptions o;
  o.Seed = seed;
  o.Header.DeviceType = type;
  o.Header.PageCount = pages;
  return o;
}

const std::uint8_t* CellAt(const std::vector<std::uint8_t>& file, const ar4::RingGeometry& ring,
                           ar4::CellPosition pos) {
  return file.data() + ar4::kHeaderSize + ring.Offset(pos);
}

/// Calendar validity of a packed stamp (the generator must never write impossible dates).
bool IsCalendarDate(std::uint32_t stamp) {
  const auto f = ar4::PackedToFields(stamp);
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f[1] < 1 || f[1] > 12 || f[3] > 23 || f[4] > 59 || f[5] > 59) return false;
  const int days = kDays[f[1] - 1] + (f[1] == 2 && f[0] % 4 == 0 ? 1 : 0);
  return f[2] >= 1 && f[2] <= days;
}

/// Walks the whole ring from WrapSlot: the stamps of intact cells that carry one, and the count of
/// backward steps between consecutive ones.
struct RingWalk {
  std::vector<std::uint32_t> Stamps;
  std::uint32_t BackwardSteps = 0;
  std::uint32_t IntactCells = 0;
};

RingWalk Walk(const std::vector<std::uint8_t>& file, const GeneratorOptions& o) {
  const ar4::DeviceProfile& p = Profile(o.Header.DeviceType);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(p, o.Header.PageCount);
  const std::uint32_t start = o.WrapSlot % ring.TotalCells();
  ar4::CellPosition pos{start / p.CellsPerPage, start % p.CellsPerPage};
  RingWalk walk;
  for (std::uint32_t i = 0; i < ring.TotalCells(); ++i, pos = ring.Next(pos)) {
    const std::uint8_t* cell = CellAt(file, ring, pos);
    if (!ar4::IsCellIntact(cell, p.CellSize)) continue;
    ++walk.IntactCells;
    const std::uint32_t stamp = ar4::CellStamp(cell);
    if (!ar4::HasTimeStamp(stamp)) continue;
    if (!walk.Stamps.empty() && stamp < walk.Stamps.back()) ++walk.BackwardSteps;
    walk.Stamps.push_back(stamp);
  }
  return walk;
}

// ---- Value encoders ----

TEST(EncodeTest, KnownBytesOfBothByteOrders) {
  EXPECT_EQ(EncodeDeviceFloat(1.0f), (Bytes{0x3F, 0x80, 0x00, 0x00}));
  EXPECT_EQ(EncodeDeviceFloat(-2.0f), (Bytes{0xC0, 0x00, 0x00, 0x00}));
  EXPECT_EQ(EncodeDeviceFloat(100000.0f), (Bytes{0x47, 0xC3, 0x50, 0x00}));
  EXPECT_EQ(EncodeSingleLe(1.0f), (Bytes{0x00, 0x00, 0x80, 0x3F}));
  EXPECT_EQ(EncodeSingleLe(-std::numeric_limits<float>::infinity()), (Bytes{0x00, 0x00, 0x80, 0xFF}));
}

TEST(EncodeTest, RoundTripsThroughTheDecoders) {
  const float values[] = {0.0f, 1.0f, -1.0f, 0.1f, -49.999f, 149.5f, 100000.0f, -100000.0f, 250000.0f,
                          1e-30f, -3.0e37f, std::numeric_limits<float>::min(), 1.7e38f};
  for (const float v : values) {
    const Bytes device = EncodeDeviceFloat(v);
    const Bytes single = EncodeSingleLe(v);
    EXPECT_EQ(ar4::DeviceFloatToDouble(device.data()), static_cast<double>(v)) << v;
    EXPECT_EQ(ar4::SingleToDouble(single.data()), static_cast<double>(v)) << v;
  }
  // The instruments' reading saturates exponent 255; the plain singles pass infinities through.
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(ar4::DeviceFloatToDouble(EncodeDeviceFloat(inf).data()), std::ldexp(1.0, 126));
  EXPECT_TRUE(std::isinf(ar4::SingleToDouble(EncodeSingleLe(inf).data())));
}

// ---- Header ----

TEST(WriteHeaderTest, EveryFieldAtItsOffset) {
  HeaderFields f;
  f.DeviceType = 0x1234;
  f.PageCount = 0x020103;
  f.SizeLowByte = 0xAB;
  f.SizeHigh = 0x0A0B0C0D;
  f.MainBlockOffset = 0x0102;
  f.FormatVersion = 0x0304;
  f.FirmwareCount = 2;
  f.Firmware = {7, 8, 9};
  f.DataFormatMajor = 5;
  f.DataFormatMinor = 6;
  f.CreationDate = 0x11223344;
  f.SerialNumber = 0xA1B2C3D4;
  std::array<std::uint8_t, ar4::kHeaderSize> h;
  h.fill(0xEE);
  WriteHeader(h.data(), f);
  const std::uint8_t expected[30] = {0x61, 0x72, 0x02, 0x01, 0xAB, 0x03, 0x01, 0x02, 0x0D, 0x0C,
                                     0x0B, 0x0A, 0x04, 0x03, 2,    7,    8,    9,    0x34, 0x12,
                                     5,    6,    0x44, 0x33, 0x22, 0x11, 0xD4, 0xC3, 0xB2, 0xA1};
  EXPECT_EQ(0, std::memcmp(h.data(), expected, sizeof expected));
  for (std::size_t i = 30; i < h.size(); ++i) EXPECT_EQ(h[i], 0) << i;
  EXPECT_EQ(ar4::PageCountOf(h.data()), 0x020103u);

  f.BadSignature = true;
  WriteHeader(h.data(), f);
  EXPECT_FALSE(h[0] == 0x61 && h[1] == 0x72);
}

// ---- Cells ----

/// Content whose every byte tells where it came from.
CellContent DistinctContent() {
  CellContent c;
  c.Stamp = 0x38123456;
  c.Relays = 0x5B;
  c.Flags = 0xA55A;
  for (std::size_t g = 0; g < c.Fields.size(); ++g) {
    for (std::size_t k = 0; k < 4; ++k) c.Fields[g][k] = static_cast<std::uint8_t>(0x80 + 4 * g + k);
  }
  c.SampleInterval = 0;
  c.SampleByte = 0x2F;
  c.AuxA = 0xD0;
  c.AuxB = 0x4F;
  c.AuxC = {1, 2, 3, 4};
  c.AuxD = {5, 6, 7, 8};
  return c;
}

class WriteCellTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(WriteCellTest, FieldsLandWhereTheFormatPutsThem) {
  const ar4::DeviceProfile& p = Profile(GetParam());
  const CellContent c = DistinctContent();
  std::array<std::uint8_t, 128> buf;
  buf.fill(0xEE);
  WriteCell(buf.data(), p, c);
  const std::uint8_t* cell = buf.data();

  EXPECT_TRUE(ar4::IsCellIntact(cell, p.CellSize));
  EXPECT_EQ(cell[0], 0xA5);
  EXPECT_EQ(cell[1], p.CellSize);
  EXPECT_EQ(ar4::CellStamp(cell), c.Stamp);
  EXPECT_EQ(cell[p.CellSize - 1], ar4::CellChecksum(cell, p.CellSize - 1u));
  for (std::size_t i = p.CellSize; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << "wrote past the cell at " << i;

  const unsigned fields = p.DeviceType == 89 ? 16u : p.Channels;
  for (unsigned g = 0; g < fields; ++g) {
    EXPECT_EQ(0, std::memcmp(cell + p.FirstFieldOffset + 4 * g, c.Fields[g].data(), 4)) << "field " << g;
  }
  switch (p.DeviceType) {
    case 73:
    case 74:
      EXPECT_EQ(cell[6], c.Relays);
      EXPECT_EQ(cell[7], 0);
      EXPECT_EQ(cell[8], 0x5A);
      EXPECT_EQ(p.FirstFieldOffset, 9);
      break;
    case 75:
      EXPECT_EQ(cell[6], c.Relays);
      EXPECT_EQ(ar4::ReadU16(cell + 8), 0xA55A);
      EXPECT_EQ(p.FirstFieldOffset, 10);
      break;
    case 76:
      EXPECT_EQ(cell[6], c.Relays);
      EXPECT_EQ(cell[7] & 1, 0);  // 0x5A: bit 0 clear
      EXPECT_EQ(p.FirstFieldOffset, 8);
      break;
    case 89: {
      const std::uint8_t expected[14] = {0, 0x2F, 0xD0, 0x4F, 1, 2, 3, 4, 5, 6, 7, 8, 0x5A, 0xA5};
      EXPECT_EQ(0, std::memcmp(cell + 6, expected, sizeof expected));
      EXPECT_EQ(p.FirstFieldOffset, 20);
      break;
    }
  }
}

TEST_P(WriteCellTest, EachDamageFailsItsOwnTestOnly) {
  const ar4::DeviceProfile& p = Profile(GetParam());
  std::array<std::uint8_t, 85> cell{};
  const std::size_t check = p.CellSize - 1u;

  WriteCell(cell.data(), p, DistinctContent(), Damage::kMarker);
  EXPECT_NE(cell[0], 0xA5);
  EXPECT_EQ(cell[1], p.CellSize);
  EXPECT_EQ(cell[check], ar4::CellChecksum(cell.data(), check));

  WriteCell(cell.data(), p, DistinctContent(), Damage::kLength);
  EXPECT_EQ(cell[0], 0xA5);
  EXPECT_NE(cell[1], p.CellSize);
  EXPECT_EQ(cell[check], ar4::CellChecksum(cell.data(), check));

  WriteCell(cell.data(), p, DistinctContent(), Damage::kChecksum);
  EXPECT_EQ(cell[0], 0xA5);
  EXPECT_EQ(cell[1], p.CellSize);
  EXPECT_NE(cell[check], ar4::CellChecksum(cell.data(), check));
  EXPECT_FALSE(ar4::IsCellIntact(cell.data(), p.CellSize));
}

INSTANTIATE_TEST_SUITE_P(AllTypes, WriteCellTest, ::testing::Values(73, 74, 75, 76, 89));

// ---- Whole archives ----

class GenerateArchiveTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(GenerateArchiveTest, RingFilledFromTheWrapSlotInOrder) {
  GeneratorOptions o = Options(GetParam(), 5);
  o.Header.CreationDate = 0x38400000;
  o.FileTailBytes = 37;
  const ar4::DeviceProfile& p = Profile(o.Header.DeviceType);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(p, 5);
  o.WrapSlot = ring.TotalCells() - 2;  // the run wraps past the last page
  o.FilledCells = ring.TotalCells() - 3;
  const std::vector<std::uint8_t> file = GenerateArchive(o);

  ASSERT_EQ(file.size(), 256u + 5 * 256 + 37);
  std::array<std::uint8_t, 256> header;
  WriteHeader(header.data(), o.Header);
  EXPECT_EQ(0, std::memcmp(file.data(), header.data(), header.size()));

  // Written cells in ring order from the wrap slot, one step apart; the rest erased.
  const RingWalk walk = Walk(file, o);
  EXPECT_EQ(walk.IntactCells, *o.FilledCells);
  ASSERT_EQ(walk.Stamps.size(), *o.FilledCells);
  EXPECT_EQ(walk.Stamps.front(), o.FirstStamp);
  for (std::size_t i = 1; i < walk.Stamps.size(); ++i) {
    EXPECT_EQ(walk.Stamps[i], StampAfterSeconds(walk.Stamps[i - 1], o.StepSeconds));
  }
  const std::uint8_t* first = CellAt(file, ring, {4, p.CellsPerPage - 2u});
  EXPECT_EQ(ar4::CellStamp(first), o.FirstStamp);
  EXPECT_TRUE(ar4::IsCellIntact(CellAt(file, ring, {0, 0}), p.CellSize));  // wrapped onto page 0
  const std::uint32_t first_erased = ring.TotalCells() - 5;
  ar4::CellPosition pos{first_erased / p.CellsPerPage, first_erased % p.CellsPerPage};
  for (int k = 0; k < 3; ++k, pos = ring.Next(pos)) {
    const std::uint8_t* erased = CellAt(file, ring, pos);
    for (std::size_t i = 0; i < p.CellSize; ++i) ASSERT_EQ(erased[i], 0xFF);
  }
  // Page padding stays erased.
  for (std::uint32_t page = 0; page < 5; ++page) {
    for (std::size_t i = std::size_t{p.CellsPerPage} * p.CellSize; i < 256; ++i) {
      ASSERT_EQ(file[256 + page * 256 + i], 0xFF);
    }
  }
}

TEST_P(GenerateArchiveTest, SameSeedSameBytesOtherSeedOtherBytes) {
  GeneratorOptions o = Options(GetParam(), 6, 42);
  o.SetBacks = 2;
  o.FlaggedChannels = 0.1;
  o.SpecialValues = 0.1;
  o.ChecksumDamage = 0.05;
  const std::vector<std::uint8_t> a = GenerateArchive(o);
  EXPECT_EQ(a, GenerateArchive(o));
  o.Seed = 43;
  EXPECT_NE(a, GenerateArchive(o));
}

TEST_P(GenerateArchiveTest, SetBacksGiveThatManyBackwardSteps) {
  for (const std::uint32_t set_backs : {0u, 1u, 3u, 7u}) {
    for (const std::uint64_t seed : {1u, 2u, 99u}) {
      GeneratorOptions o = Options(GetParam(), 12, seed);
      o.SetBacks = set_backs;
      o.WrapSlot = static_cast<std::uint32_t>(seed * 5);
      o.StepSeconds = 600;
      o.FlaggedChannels = 0.2;
      const RingWalk walk = Walk(GenerateArchive(o), o);
      EXPECT_EQ(walk.BackwardSteps, set_backs) << "seed " << seed;
      for (const std::uint32_t stamp : walk.Stamps) ASSERT_TRUE(IsCalendarDate(stamp)) << std::hex << stamp;
    }
  }
}

TEST_P(GenerateArchiveTest, SetBacksSurviveDamageAndMissingStamps) {
  GeneratorOptions o = Options(GetParam(), 20, 7);
  o.SetBacks = 4;
  o.MarkerDamage = o.LengthDamage = o.ChecksumDamage = 0.05;
  o.ZeroStamps = o.AllOnesStamps = o.EqualStamps = 0.05;
  EXPECT_EQ(Walk(GenerateArchive(o), o).BackwardSteps, 4u);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, GenerateArchiveTest, ::testing::Values(73, 74, 75, 76, 89));

TEST(GenerateArchiveTest, SetBacksAreCappedByTheWrittenCells) {
  GeneratorOptions o = Options(73, 1);
  o.FilledCells = 4;
  o.SetBacks = 10;
  EXPECT_EQ(Walk(GenerateArchive(o), o).BackwardSteps, 3u);
}

TEST(GenerateArchiveTest, DefectsOfEveryKindAppearAndAreCountable) {
  GeneratorOptions o = Options(74, 200, 5);
  o.MarkerDamage = 0.1;
  o.LengthDamage = 0.1;
  o.ChecksumDamage = 0.1;
  o.ZeroStamps = 0.1;
  o.AllOnesStamps = 0.1;
  o.EqualStamps = 0.1;
  const std::vector<std::uint8_t> file = GenerateArchive(o);
  const ar4::DeviceProfile& p = Profile(74);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(p, 200);
  std::map<std::string, int> seen;
  ar4::CellPosition pos{};
  std::uint32_t previous = 0;
  for (std::uint32_t i = 0; i < ring.TotalCells(); ++i, pos = ring.Next(pos)) {
    const std::uint8_t* cell = CellAt(file, ring, pos);
    const std::uint32_t stamp = ar4::CellStamp(cell);
    if (cell[0] != 0xA5) ++seen["marker"];
    else if (cell[1] != p.CellSize) ++seen["length"];
    else if (!ar4::IsCellIntact(cell, p.CellSize)) ++seen["checksum"];
    if (stamp == 0) ++seen["zero"];
    if (stamp == 0xFFFFFFFFu) ++seen["ones"];
    if (ar4::HasTimeStamp(stamp) && stamp == previous) ++seen["equal"];
    previous = stamp;
  }
  // 1200 cells at 10 % each: every kind shows, none swamps the archive.
  for (const char* kind : {"marker", "length", "checksum", "zero", "ones", "equal"}) {
    EXPECT_GT(seen[kind], 40) << kind;
    EXPECT_LT(seen[kind], 240) << kind;
  }
}

TEST(GenerateArchiveTest, FlaggedChannelsAndSpecialValues) {
  GeneratorOptions o = Options(75, 100, 3);
  o.FlaggedChannels = 0.2;
  o.SpecialValues = 0.3;
  const std::vector<std::uint8_t> file = GenerateArchive(o);
  const ar4::DeviceProfile& p = Profile(75);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(p, 100);
  int flagged = 0, status_zero = 0, ordinary = 0;
  std::set<std::uint32_t> exponents;
  std::set<double> values;
  ar4::CellPosition pos{};
  for (std::uint32_t i = 0; i < ring.TotalCells(); ++i, pos = ring.Next(pos)) {
    const std::uint8_t* cell = CellAt(file, ring, pos);
    ASSERT_TRUE(ar4::IsCellIntact(cell, p.CellSize));
    EXPECT_EQ(cell[6] & ~0x07, 0) << "type 75 has three relays";
    const std::uint16_t flags = ar4::ReadU16(cell + 8);
    for (unsigned g = 0; g < 16; ++g) {
      const std::uint8_t* field = cell + 10 + 4 * g;
      if (flags & (1u << g)) {
        ++flagged;
        status_zero += field[0] == 0;
        continue;
      }
      const std::uint32_t bits = (std::uint32_t{field[0]} << 24) | (field[1] << 16) | (field[2] << 8) | field[3];
      exponents.insert((bits >> 23) & 0xFF);
      const double v = ar4::DeviceFloatToDouble(field);
      values.insert(v);
      if (v >= -50.0 && v <= 150.0) ++ordinary;
    }
  }
  EXPECT_GT(flagged, 300);
  EXPECT_GT(status_zero, 20);
  EXPECT_GT(ordinary, 2000);
  for (const std::uint32_t e : {0u, 254u, 255u}) EXPECT_TRUE(exponents.count(e)) << "exponent " << e;
  for (const double v : {250000.0, -250000.0, 100000.0, -100000.0}) EXPECT_TRUE(values.count(v)) << v;
}

TEST(GenerateArchiveTest, Type89SamplesIntervalsAndAuxiliaryValues) {
  GeneratorOptions o = Options(89, 60, 11);
  o.SpecialValues = 0.2;
  const std::vector<std::uint8_t> file = GenerateArchive(o);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(Profile(89), 60);
  std::set<unsigned> counts, intervals;
  int high_bits = 0, odd_aux = 0;
  ar4::CellPosition pos{};
  for (std::uint32_t i = 0; i < ring.TotalCells(); ++i, pos = ring.Next(pos)) {
    const std::uint8_t* cell = CellAt(file, ring, pos);
    ASSERT_TRUE(ar4::IsCellIntact(cell, 85));
    counts.insert((cell[7] & 0x0F) + 1u);
    high_bits += (cell[7] & 0xF0) != 0;
    intervals.insert(cell[6]);
    for (const std::size_t aux : {10u, 14u}) odd_aux += !std::isfinite(ar4::SingleToDouble(cell + aux));
  }
  EXPECT_EQ(counts.size(), 16u);
  EXPECT_GT(high_bits, 0);
  EXPECT_TRUE(intervals.count(0));
  EXPECT_GT(intervals.size(), 4u);
  EXPECT_GT(odd_aux, 0);

  o.Samples = 8;
  o.SampleInterval = 2;
  const std::vector<std::uint8_t> fixed = GenerateArchive(o);
  for (std::uint32_t i = 0; i < ring.TotalCells(); ++i, pos = ring.Next(pos)) {
    const std::uint8_t* cell = CellAt(fixed, ring, pos);
    ASSERT_EQ(cell[7] & 0x0F, 7);
    ASSERT_EQ(cell[6], 2);
  }
}

TEST(GenerateArchiveTest, UnknownTypeAndEmptyMainBlock) {
  GeneratorOptions o = Options(88, 3);
  std::vector<std::uint8_t> file = GenerateArchive(o);
  ASSERT_EQ(file.size(), 256u + 768);
  EXPECT_EQ(ar4::ReadU16(file.data() + 18), 88);
  for (std::size_t i = 256; i < file.size(); ++i) ASSERT_EQ(file[i], 0xFF);

  o = Options(73, 0);
  o.FileTailBytes = 300;
  file = GenerateArchive(o);
  EXPECT_EQ(file.size(), 556u);
  EXPECT_EQ(ar4::PageCountOf(file.data()), 0u);
}

TEST(GenerateArchiveTest, StampsStayCalendarDatesAcrossMonthsAndYears) {
  GeneratorOptions o = Options(76, 40);
  o.FirstStamp = *ParseStampText("2015-12-30T22:00:00");
  o.StepSeconds = 3 * 3600;
  const RingWalk walk = Walk(GenerateArchive(o), o);
  ASSERT_EQ(walk.Stamps.size(), 760u);
  EXPECT_EQ(walk.BackwardSteps, 0u);
  for (std::size_t i = 0; i < walk.Stamps.size(); ++i) {
    ASSERT_TRUE(IsCalendarDate(walk.Stamps[i])) << std::hex << walk.Stamps[i];
    if (i > 0) {
      ASSERT_LT(walk.Stamps[i - 1], walk.Stamps[i]);
    }
  }
  EXPECT_EQ(walk.Stamps.back(), *ParseStampText("2016-04-03T19:00:00"));  // 759 steps of 3 hours, leap year
}

// ---- Calendar and stamp text ----

TEST(StampAfterSecondsTest, FollowsTheCalendar) {
  EXPECT_EQ(StampAfterSeconds(*ParseStampText("2016-02-28T23:59:59"), 1), *ParseStampText("2016-02-29"));
  EXPECT_EQ(StampAfterSeconds(*ParseStampText("2015-02-28T12:00:00"), 86400), *ParseStampText("2015-03-01T12:00:00"));
  EXPECT_EQ(StampAfterSeconds(*ParseStampText("2014-01-01"), -1), *ParseStampText("2013-12-31T23:59:59"));
  // Held within the representable years.
  EXPECT_EQ(StampAfterSeconds(*ParseStampText("2063-12-31T23:59:59"), 100), 0xFEFD7EFBu);
  EXPECT_EQ(StampAfterSeconds(*ParseStampText("2000-01-01T00:00:10"), -100), 0u);
  // Fields beyond the calendar (31 February) are brought into range first.
  EXPECT_EQ(StampAfterSeconds(ar4::PackDate(31, 2, 2015), 0), ar4::PackDate(28, 2, 2015));
}

TEST(ParseStampTextTest, HexDecimalAndDates) {
  EXPECT_EQ(ParseStampText("0x38000000"), 0x38000000u);
  EXPECT_EQ(ParseStampText("0XFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseStampText("0"), 0u);
  EXPECT_EQ(ParseStampText("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseStampText("2014-01-01"), 0x38000000u);
  EXPECT_EQ(ParseStampText("2063-12-31T23:59:59"), 0xFEFD7EFBu);
  EXPECT_EQ(ParseStampText("2063-12-31 23:59:59"), 0xFEFD7EFBu);
  EXPECT_EQ(ParseStampText("2015-02-31"), ar4::PackDate(31, 2, 2015));  // no calendar test
  for (const char* bad : {"", "0x", "0x100000000", "4294967296", "1999-12-31", "2064-01-01", "2014-13-01",
                          "2014-00-10", "2014-01-32", "2014-01-01T24:00:00", "2014-01-01T10:60:00",
                          "2014-01-01X10:00:00", "2014/01/01", "12ab", "-5"}) {
    EXPECT_FALSE(ParseStampText(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace ar4gen
