#include "core/archive/scan.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "archive_builder.hpp"
#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

using ar4gen::Damage;
using testing::ArchiveImage;
using testing::Content;

ScanResult Scan(ArchiveImage& image) {
  return ValidationScan(image.MainBlock(), image.Ring().PageCount, image.Profile());
}

std::uint32_t CountedCells(const ScanStatistics& s) {
  return s.ValidCells + s.CellsWithoutMarker + s.CellsWithWrongLength + s.CellsWithBadChecksum;
}

TEST(ValidationScan, TheFirstFailingTestDecidesTheCounter) {
  ArchiveImage image(73, 1);
  image.Put({0, 0}, Content(0x38000000));
  // Wrong marker, wrong length and wrong check byte: counted only as a missing marker.
  image.Put({0, 1}, Content(0x38000000));
  image.Cell(0, 1)[0] = 0xA4;
  image.Cell(0, 1)[1] = 13;
  image.Cell(0, 1)[25] ^= 0x55;
  // Wrong length and wrong check byte: a wrong length is never checksummed.
  image.Put({0, 2}, Content(0x38000000));
  image.Cell(0, 2)[1] = 25;
  image.Cell(0, 2)[25] ^= 0x55;
  image.Put({0, 3}, Content(0x38000000), Damage::kChecksum);
  // Cells 4..8 stay erased (0xFF): no marker.
  const ScanResult result = Scan(image);
  EXPECT_EQ(result.Statistics.ValidCells, 1u);
  EXPECT_EQ(result.Statistics.CellsWithoutMarker, 6u);
  EXPECT_EQ(result.Statistics.CellsWithWrongLength, 1u);
  EXPECT_EQ(result.Statistics.CellsWithBadChecksum, 1u);
  EXPECT_EQ(CountedCells(result.Statistics), 9u);
}

TEST(ValidationScan, ChainBreaksFollowTheAddressOrderAcrossPages) {
  // Pages of type 75 hold three cells: invalid, valid, invalid | invalid, valid, valid | invalid.
  ArchiveImage image(75, 3);
  image.Put({0, 1}, Content(1));
  image.Put({1, 1}, Content(2));
  image.Put({1, 2}, Content(3));
  const ScanResult result = Scan(image);
  EXPECT_EQ(result.Statistics.ValidCells, 3u);
  EXPECT_EQ(result.Statistics.ChainBreaks, 1u);

  // The wrap from the last page to page 0 is not followed: valid cells at both ends make no break.
  ArchiveImage ends(75, 2);
  ends.Put({0, 0}, Content(1));
  ends.Put({1, 2}, Content(2));
  EXPECT_EQ(Scan(ends).Statistics.ChainBreaks, 1u);  // the gap between them in address order
  ArchiveImage all_valid(75, 2);
  all_valid.FillAll(Content(5));
  EXPECT_EQ(Scan(all_valid).Statistics.ChainBreaks, 0u);
}

TEST(ValidationScan, OldestStampTiesKeepTheEarlierCell) {
  ArchiveImage image(73, 2);
  image.Put({0, 3}, Content(0x38000100));
  image.Put({1, 0}, Content(0x38000050));
  image.Put({0, 7}, Content(0x38000050));
  image.Put({0, 6}, Content(0x38000050));
  image.Put({0, 8}, Content(0x38000001), Damage::kChecksum);  // a damaged cell never counts
  image.Put({1, 2}, Content(0));
  image.Put({1, 3}, Content(0xFFFFFFFFu));
  const ScanResult result = Scan(image);
  EXPECT_EQ(result.MinDate, 0x38000050u);
  EXPECT_EQ(result.StartPosition, (CellPosition{0, 6}));
}

TEST(ValidationScan, StampsZeroAndAllOnesNeverBecomeTheMinimum) {
  ArchiveImage zeros(76, 2);
  zeros.FillAll(Content(0));
  ScanResult result = Scan(zeros);
  EXPECT_EQ(result.Statistics.ValidCells, 38u);
  EXPECT_EQ(result.MinDate, 0xFFFFFFFFu);
  EXPECT_EQ(result.StartPosition, (CellPosition{0, 0}));

  ArchiveImage ones(76, 2);
  ones.FillAll(Content(0xFFFFFFFFu));
  ones.Put({1, 5}, Content(0));
  result = Scan(ones);
  EXPECT_EQ(result.MinDate, 0xFFFFFFFFu);
  EXPECT_EQ(result.StartPosition, (CellPosition{0, 0}));
}

TEST(ValidationScan, PagesBeyondThePageCountAreNotExamined) {
  ArchiveImage image(74, 3);
  image.Put({0, 0}, Content(0x38000000));
  image.Put({2, 0}, Content(0x30000000));  // a stale page of an earlier file
  const ScanResult result = ValidationScan(image.MainBlock(), 2, image.Profile());
  EXPECT_EQ(CountedCells(result.Statistics), 12u);
  EXPECT_EQ(result.Statistics.ValidCells, 1u);
  EXPECT_EQ(result.MinDate, 0x38000000u);
}

ar4gen::CellContent WithValues(std::uint32_t stamp, std::initializer_list<float> values) {
  ar4gen::CellContent content = Content(stamp);
  std::size_t g = 0;
  for (float v : values) content.Fields[g++] = ar4gen::EncodeDeviceFloat(v);
  return content;
}

TEST(ValidationScan, OffScaleLimitsThemselvesAreOnScale) {
  ArchiveImage image(73, 1);
  image.Put({0, 0}, WithValues(1, {100000.0f, -100000.0f, 100001.0f, -100001.0f}));
  image.Put({0, 1}, WithValues(2, {99999.99f, 0.0f, -0.0f, 1e-40f}));
  EXPECT_EQ(Scan(image).Statistics.OffScaleValues, 2u);
}

TEST(ValidationScan, FlaggedChannelsAreNeverOffScale) {
  const float huge = 1e9f;
  // Types 73 and 74: bit g of byte 8 flags channel g + 1.
  ArchiveImage t73(73, 1);
  ar4gen::CellContent c73 = WithValues(1, {huge, huge, huge, huge});
  c73.Flags = 0b1010;
  t73.Put({0, 0}, c73);
  EXPECT_EQ(Scan(t73).Statistics.OffScaleValues, 2u);

  ArchiveImage t74(74, 1);
  ar4gen::CellContent c74 = WithValues(1, {1, 1, 1, 1, 1, 1, 1, huge});
  t74.Put({0, 0}, c74);
  c74.Flags = 0x80;
  t74.Put({0, 1}, c74);
  EXPECT_EQ(Scan(t74).Statistics.OffScaleValues, 1u);

  // Type 75: the flags of channels 9..16 are in byte 9.
  ArchiveImage t75(75, 1);
  ar4gen::CellContent c75 = Content(1);
  for (std::size_t g = 0; g < 16; ++g) c75.Fields[g] = ar4gen::EncodeDeviceFloat(huge);
  c75.Flags = 0x7F00;  // channels 9..15 flagged; 1..8 and 16 count
  t75.Put({0, 0}, c75);
  EXPECT_EQ(Scan(t75).Statistics.OffScaleValues, 9u);

  // Type 76: only bit 0 of byte 7 flags its channel.
  ArchiveImage t76(76, 1);
  ar4gen::CellContent c76 = WithValues(1, {-huge});
  c76.Flags = 0x01;
  t76.Put({0, 0}, c76);
  c76.Flags = 0xFE;
  t76.Put({0, 1}, c76);
  EXPECT_EQ(Scan(t76).Statistics.OffScaleValues, 1u);
}

TEST(ValidationScan, OffScaleCountAgreesWithTheDecodedValue) {
  // Bit patterns around the limits, the saturated exponents, subnormals and a spread of random ones.
  std::vector<std::uint32_t> patterns{0x47C34FFFu, 0x47C35000u, 0x47C35001u, 0x7F800000u, 0x7F7FFFFFu,
                                      0x7FFFFFFFu, 0x7F000000u, 0x00000001u, 0x00800000u, 0x00000000u};
  std::uint64_t state = 12345;
  for (int i = 0; i < 4000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    patterns.push_back(static_cast<std::uint32_t>(state >> 32));
  }
  const std::size_t positive = patterns.size();
  for (std::size_t i = 0; i < positive; ++i) patterns.push_back(patterns[i] | 0x80000000u);

  for (std::uint32_t bits : patterns) {
    ArchiveImage image(76, 1);
    ar4gen::CellContent content = Content(1);
    content.Fields[0] = {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                         static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
    image.Put({0, 0}, content);
    const double value = DeviceFloatToDouble(content.Fields[0].data());
    const std::uint32_t expected = (value > 100000.0 || value < -100000.0) ? 1 : 0;
    ASSERT_EQ(Scan(image).Statistics.OffScaleValues, expected) << std::hex << bits;
  }
}

/// A type-89 cell with `samples` used samples whose fields hold the given little-endian bytes.
ar4gen::CellContent SampleCell(std::uint8_t sample_byte, std::uint16_t flags,
                               std::initializer_list<std::array<std::uint8_t, 4>> fields) {
  ar4gen::CellContent content = Content(0x38000000);
  content.SampleByte = sample_byte;
  content.Flags = flags;
  std::size_t q = 0;
  for (const auto& f : fields) content.Fields[q++] = f;
  return content;
}

TEST(ValidationScan, TypeEightyNineLowersAllOnesExponentsAndKeepsTheCellValid) {
  ArchiveImage image(89, 1);
  // Three samples used: infinity, a negative NaN, and a flagged field; a fourth beyond the count.
  image.Put({0, 0}, SampleCell(0x02, 0b0100,
                               {{0x00, 0x00, 0x80, 0x7F}, {0x00, 0x00, 0xC0, 0xFF}, {0x00, 0x00, 0x80, 0x7F},
                                {0x00, 0x00, 0x80, 0x7F}}));
  const ScanResult result = Scan(image);
  const std::uint8_t* cell = image.Cell(0, 0);
  EXPECT_EQ(cell[23], 0x7E);
  EXPECT_EQ(cell[27], 0xFE);
  EXPECT_EQ(cell[31], 0x7F);  // flagged: a status code, untouched
  EXPECT_EQ(cell[35], 0x7F);  // beyond the sample count
  EXPECT_TRUE(IsCellIntact(cell, 85)) << "the check byte is recomputed after the repair";
  EXPECT_EQ(SingleToDouble(cell + 20), std::ldexp(1.0, 126));
  EXPECT_EQ(result.Statistics.ValidCells, 1u);
  EXPECT_EQ(result.Statistics.OffScaleValues, 2u);

  // A second scan finds the cell valid and changes nothing more.
  const std::vector<std::uint8_t> after_first(image.Bytes());
  const ScanResult again = Scan(image);
  EXPECT_EQ(again.Statistics.ValidCells, 1u);
  EXPECT_EQ(image.Bytes(), after_first);
}

TEST(ValidationScan, TypeEightyNineUsesOnlyTheLowFourBitsOfTheSampleCount) {
  ArchiveImage image(89, 1);
  ar4gen::CellContent content = SampleCell(0x2F, 0, {});
  for (auto& f : content.Fields) f = ar4gen::EncodeSingleLe(1.0f);
  content.Fields[15] = {0x00, 0x00, 0x00, 0x7F};  // exponent 254
  image.Put({0, 1}, content);
  const ScanResult result = Scan(image);
  EXPECT_EQ(image.Cell(0, 1)[20 + 4 * 15 + 3], 0x7E);
  EXPECT_TRUE(IsCellIntact(image.Cell(0, 1), 85));
  EXPECT_EQ(result.Statistics.OffScaleValues, 1u);
}

TEST(ValidationScan, TypeEightyNineLeavesInvalidAndOrdinaryCellsAlone) {
  ArchiveImage image(89, 1);
  image.Put({0, 0}, SampleCell(0x00, 0, {{0x00, 0x00, 0x80, 0x7F}}), Damage::kChecksum);
  image.Put({0, 1}, SampleCell(0x01, 0, {ar4gen::EncodeSingleLe(250000.0f), ar4gen::EncodeSingleLe(-3.5f)}));
  const std::vector<std::uint8_t> before(image.Bytes());
  const ScanResult result = Scan(image);
  EXPECT_EQ(image.Bytes(), before);
  EXPECT_EQ(result.Statistics.ValidCells, 1u);
  EXPECT_EQ(result.Statistics.CellsWithBadChecksum, 1u);
  EXPECT_EQ(result.Statistics.OffScaleValues, 1u);
}

TEST(ValidationScan, FillPerMilleAndNominalCapacity) {
  ArchiveImage one_page(73, 1);
  one_page.FillAll(Content(7));
  ScanResult result = Scan(one_page);
  EXPECT_EQ(result.Statistics.ValidCells, 9u);
  EXPECT_EQ(result.NominalCapacity, 1179648u);
  EXPECT_EQ(result.FillPerMille, 0u);

  ArchiveImage full89(89, 4);
  full89.FillAll(Content(7));
  result = Scan(full89);
  EXPECT_EQ(result.NominalCapacity, 12u);
  EXPECT_EQ(result.FillPerMille, 1000u);

  ArchiveImage empty(74, 2);
  result = Scan(empty);
  EXPECT_EQ(result.Statistics.ValidCells, 0u);
  EXPECT_EQ(result.FillPerMille, 0u);
  EXPECT_EQ(result.MinDate, 0xFFFFFFFFu);
}

TEST(ValidationScan, TenPerCentOfATypeSeventyThreeArchive) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 73;
  options.Header.PageCount = 13108;
  options.FilledCells = 117965;
  std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
  const ScanResult result = ValidationScan(file.data() + kHeaderSize, 13108, *FindDeviceProfile(73));
  EXPECT_EQ(result.Statistics.ValidCells, 117965u);
  EXPECT_EQ(result.FillPerMille, 100u);
}

/// The scan's counts, recomputed the plain way: one cell at a time with the codecs.
ScanResult ReferenceScan(std::vector<std::uint8_t> block, std::uint32_t pages, const DeviceProfile& p) {
  ScanResult r;
  r.NominalCapacity = NominalCapacityOf(p, pages);
  std::uint8_t chain = 0;
  for (std::uint32_t page = 0; page < pages; ++page) {
    for (std::uint32_t c = 0; c < p.CellsPerPage; ++c) {
      std::uint8_t* cell = block.data() + page * kPageSize + c * p.CellSize;
      const bool valid = IsCellIntact(cell, p.CellSize);
      if (!valid) {
        if (cell[0] != 0xA5) ++r.Statistics.CellsWithoutMarker;
        else if (cell[1] != p.CellSize) ++r.Statistics.CellsWithWrongLength;
        else ++r.Statistics.CellsWithBadChecksum;
      }
      ChainStep(chain, valid, r.Statistics.ChainBreaks);
      if (!valid) continue;
      ++r.Statistics.ValidCells;
      const std::uint32_t stamp = CellStamp(cell);
      if (stamp != 0 && stamp < r.MinDate) {
        r.MinDate = stamp;
        r.StartPosition = {page, c};
      }
      const bool samples = p.DeviceType == 89;
      const unsigned n = samples ? (cell[7] & 0x0Fu) + 1 : p.Channels;
      const unsigned flags = p.DeviceType == 76   ? cell[7] & 1u
                             : p.DeviceType == 75 ? ReadU16(cell + 8)
                             : samples            ? ReadU16(cell + 18)
                                                  : cell[8];
      for (unsigned g = 0; g < n; ++g) {
        if ((flags >> g) & 1u) continue;
        std::uint8_t field[4];
        std::copy(cell + p.FirstFieldOffset + 4 * g, cell + p.FirstFieldOffset + 4 * g + 4, field);
        double v;
        if (samples) {
          if (field[3] == 0xFF || field[3] == 0x7F) --field[3];
          v = SingleToDouble(field);
        } else {
          v = DeviceFloatToDouble(field);
        }
        if (v > 100000.0 || v < -100000.0) ++r.Statistics.OffScaleValues;
      }
    }
  }
  r.FillPerMille = r.Statistics.ValidCells * 1000u / r.NominalCapacity;
  return r;
}

TEST(ValidationScan, AgreesWithAPlainScanOnGeneratedArchives) {
  for (const DeviceProfile& p : kDeviceProfiles) {
    ar4gen::GeneratorOptions options;
    options.Seed = 77 + p.DeviceType;
    options.Header.DeviceType = p.DeviceType;
    options.Header.PageCount = 300;
    options.MarkerDamage = options.LengthDamage = options.ChecksumDamage = 0.03;
    options.ZeroStamps = options.AllOnesStamps = 0.02;
    options.FlaggedChannels = 0.1;
    options.SpecialValues = 0.2;
    options.SetBacks = 3;
    options.WrapSlot = 777;
    options.FilledCells = 300 * p.CellsPerPage - 50;
    std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
    std::vector<std::uint8_t> block(file.begin() + kHeaderSize, file.end());
    const ScanResult expected = ReferenceScan(block, 300, p);
    const ScanResult got = ValidationScan(block.data(), 300, p);
    SCOPED_TRACE(p.DeviceType);
    EXPECT_EQ(got.Statistics.ValidCells, expected.Statistics.ValidCells);
    EXPECT_EQ(got.Statistics.CellsWithoutMarker, expected.Statistics.CellsWithoutMarker);
    EXPECT_EQ(got.Statistics.CellsWithWrongLength, expected.Statistics.CellsWithWrongLength);
    EXPECT_EQ(got.Statistics.CellsWithBadChecksum, expected.Statistics.CellsWithBadChecksum);
    EXPECT_EQ(got.Statistics.ChainBreaks, expected.Statistics.ChainBreaks);
    EXPECT_EQ(got.Statistics.OffScaleValues, expected.Statistics.OffScaleValues);
    EXPECT_EQ(got.MinDate, expected.MinDate);
    EXPECT_EQ(got.StartPosition, expected.StartPosition);
    EXPECT_EQ(got.FillPerMille, expected.FillPerMille);
    EXPECT_GT(expected.Statistics.OffScaleValues, 0u);
    EXPECT_GT(expected.Statistics.CellsWithBadChecksum, 0u);
  }
}

TEST(ValidationScan, ScannedInStretchesOnThreadsItCountsAsOnePass) {
  // Damage that comes in runs as well as alone, and stretches so short that gaps run across their joints,
  // whole stretches without a valid cell, and a block whose first and last pages are erased.
  for (const DeviceProfile& p : kDeviceProfiles) {
    for (const double damage : {0.02, 0.4, 0.97}) {
      ar4gen::GeneratorOptions options;
      options.Seed = 9 + p.DeviceType + static_cast<std::uint64_t>(damage * 100);
      options.Header.DeviceType = p.DeviceType;
      options.Header.PageCount = 40;
      options.MarkerDamage = options.ChecksumDamage = damage / 2;
      options.LengthDamage = damage / 8;
      options.SpecialValues = 0.2;
      options.EqualStamps = 0.3;
      options.WrapSlot = 2 * p.CellsPerPage + 1;
      options.FilledCells = 34 * p.CellsPerPage;
      const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
      const std::vector<std::uint8_t> block(file.begin() + kHeaderSize, file.end());
      const ScanResult expected = ReferenceScan(block, 40, p);
      std::vector<std::uint32_t> expected_masks(40);
      std::vector<std::uint8_t> one_pass = block;
      ValidationScanInParts(one_pass.data(), 40, p, expected_masks.data(), 1);
      for (const unsigned parts : {2u, 3u, 5u, 7u, 40u, 100u}) {
        std::vector<std::uint8_t> copy = block;
        std::vector<std::uint32_t> masks(40);
        const ScanResult got = ValidationScanInParts(copy.data(), 40, p, masks.data(), parts);
        SCOPED_TRACE("type " + std::to_string(p.DeviceType) + ", damage " + std::to_string(damage) + ", " +
                     std::to_string(parts) + " stretches");
        EXPECT_EQ(got.Statistics.ValidCells, expected.Statistics.ValidCells);
        EXPECT_EQ(got.Statistics.CellsWithoutMarker, expected.Statistics.CellsWithoutMarker);
        EXPECT_EQ(got.Statistics.CellsWithWrongLength, expected.Statistics.CellsWithWrongLength);
        EXPECT_EQ(got.Statistics.CellsWithBadChecksum, expected.Statistics.CellsWithBadChecksum);
        EXPECT_EQ(got.Statistics.ChainBreaks, expected.Statistics.ChainBreaks);
        EXPECT_EQ(got.Statistics.OffScaleValues, expected.Statistics.OffScaleValues);
        EXPECT_EQ(got.MinDate, expected.MinDate);
        EXPECT_EQ(got.StartPosition, expected.StartPosition);
        EXPECT_EQ(got.FillPerMille, expected.FillPerMille);
        if (p.CellsPerPage <= 32) {
          EXPECT_EQ(masks, expected_masks);
        }
        EXPECT_TRUE(copy == one_pass);  // the type-89 repairs too
      }
    }
  }
}

}  // namespace
}  // namespace ar4
