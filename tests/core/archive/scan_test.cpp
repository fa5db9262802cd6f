#include "core/archive/scan.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive_builder.hpp"
#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

using ar4gen::Damage;
using testing::ArchiveImage;
using testing::ExpectSameScan;
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

/// What a plain scan finds: the counts, the valid masks and the block after the type-89 repairs.
struct Reference {
  ScanResult Result;
  std::vector<std::uint32_t> Masks;
  std::vector<std::uint8_t> BlockAfter;
};

/// The scan recomputed the plain way: one cell at a time with the codecs.
Reference ReferenceScan(std::vector<std::uint8_t> block, std::uint32_t pages, const DeviceProfile& p) {
  ScanResult r;
  std::vector<std::uint32_t> masks(pages);
  r.NominalCapacity = NominalCapacityOf(p, pages);
  std::uint8_t chain = 0;
  for (std::uint32_t page = 0; page < pages; ++page) {
    for (std::uint32_t c = 0; c < p.CellsPerPage; ++c) {
      std::uint8_t* cell = block.data() + page * kPageSize + c * p.CellSize;
      const bool valid = IsCellIntact(cell, p.CellSize);
      masks[page] |= std::uint32_t{valid} << c;
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
      bool repaired = false;
      for (unsigned g = 0; g < n; ++g) {
        if ((flags >> g) & 1u) continue;
        std::uint8_t* field = cell + p.FirstFieldOffset + 4 * g;
        double v;
        if (samples) {
          if (field[3] == 0xFF || field[3] == 0x7F) {
            --field[3];
            repaired = true;
          }
          v = SingleToDouble(field);
        } else {
          v = DeviceFloatToDouble(field);
        }
        if (v > 100000.0 || v < -100000.0) ++r.Statistics.OffScaleValues;
      }
      if (repaired) cell[p.CellSize - 1] = CellChecksum(cell, p.CellSize - 1u);
    }
  }
  r.FillPerMille = r.Statistics.ValidCells * 1000u / r.NominalCapacity;
  return {r, std::move(masks), std::move(block)};
}

/// Scans a copy of `block` in `parts` stretches and compares everything with the plain scan: the result,
/// the valid masks and the bytes after the repairs; without masks too.
void ExpectAsReference(const std::vector<std::uint8_t>& block, std::uint32_t pages, const DeviceProfile& p,
                       unsigned parts) {
  const Reference expected = ReferenceScan(block, pages, p);
  std::vector<std::uint8_t> copy = block;
  std::vector<std::uint32_t> masks(pages, 0xDEADBEEFu);
  ExpectSameScan(ValidationScanInParts(copy.data(), pages, p, masks.data(), parts), expected.Result);
  EXPECT_TRUE(masks == expected.Masks);
  EXPECT_TRUE(copy == expected.BlockAfter);
  copy = block;
  ExpectSameScan(ValidationScanInParts(copy.data(), pages, p, nullptr, parts), expected.Result);
  EXPECT_TRUE(copy == expected.BlockAfter);
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
    const Reference expected = ReferenceScan(block, 300, p);
    const ScanResult got = ValidationScan(block.data(), 300, p);
    SCOPED_TRACE(p.DeviceType);
    ExpectSameScan(got, expected.Result);
    EXPECT_TRUE(block == expected.BlockAfter);
    EXPECT_GT(expected.Result.Statistics.OffScaleValues, 0u);
    EXPECT_GT(expected.Result.Statistics.CellsWithBadChecksum, 0u);
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
      const ScanResult expected = ReferenceScan(block, 40, p).Result;
      std::vector<std::uint32_t> expected_masks(40);
      std::vector<std::uint8_t> one_pass = block;
      ValidationScanInParts(one_pass.data(), 40, p, expected_masks.data(), 1);
      for (const unsigned parts : {2u, 3u, 5u, 7u, 40u, 100u}) {
        std::vector<std::uint8_t> copy = block;
        std::vector<std::uint32_t> masks(40);
        const ScanResult got = ValidationScanInParts(copy.data(), 40, p, masks.data(), parts);
        SCOPED_TRACE("type " + std::to_string(p.DeviceType) + ", damage " + std::to_string(damage) + ", " +
                     std::to_string(parts) + " stretches");
        ExpectSameScan(got, expected);
        if (p.CellsPerPage <= 32) {
          EXPECT_EQ(masks, expected_masks);
        }
        EXPECT_TRUE(copy == one_pass);  // the type-89 repairs too
      }
    }
  }
}

// The scan tests sixteen pages side by side and the pages beyond a multiple of sixteen one by one, so the
// tests below use blocks of both kinds and stretches that start and end anywhere.

/// Stamps that tie, that differ in one byte only, or on either side of the sign bit.
constexpr std::uint32_t kEdgeStamps[] = {0,           1,           0x000000FFu, 0x00000100u, 0x00FFFFFFu,
                                         0x01000000u, 0x37FFFFFFu, 0x38000000u, 0x38000001u, 0x38000100u,
                                         0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};

/// Value bits near the off-scale limit 0x47C35000 in every byte, and the exponents 254 and 255.
constexpr std::uint32_t kEdgeValues[] = {0x47C35000u, 0x47C35001u, 0x47C34FFFu, 0x47C350FFu, 0x47C35100u,
                                         0x47C3FFFFu, 0x47C40000u, 0x47C2FFFFu, 0x47C25000u, 0x47FFFFFFu,
                                         0x48000000u, 0x46C35000u, 0x47000000u, 0x7F000000u, 0x7F7FFFFFu,
                                         0x7F800000u, 0x7FC00000u, 0x3F800000u, 0x00000000u, 0x00800000u};

/// A block of cells of every kind at random: valid cells with random payloads, edge, falling and random
/// stamps and edge values, cells with one of the three tests failing or a payload byte changed, pages of
/// random bytes and erased pages. `damage` is the share of damaged cells; few give long runs of valid cells.
std::vector<std::uint8_t> RandomBlock(const DeviceProfile& p, std::uint32_t pages, double damage,
                                      std::uint64_t seed) {
  std::mt19937_64 random(seed);
  const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const auto chance = [&](double share) { return std::uniform_real_distribution<double>(0, 1)(random) < share; };
  std::vector<std::uint8_t> block(std::size_t{pages} * kPageSize);
  for (std::uint8_t& b : block) b = static_cast<std::uint8_t>(random());
  const bool samples = p.Flags == FlagLayout::kWord18;
  for (std::uint32_t page = 0; page < pages; ++page) {
    std::uint8_t* bytes = block.data() + std::size_t{page} * kPageSize;
    if (chance(damage / 8)) continue;  // random bytes
    if (chance(damage / 8)) {
      std::fill(bytes, bytes + kPageSize, std::uint8_t{0xFF});
      continue;
    }
    for (std::uint32_t c = 0; c < p.CellsPerPage; ++c) {
      std::uint8_t* cell = bytes + c * p.CellSize;
      cell[0] = cell::kMarkerValue;
      cell[1] = p.CellSize;
      // Stamps falling page by page, equal over three pages, move the oldest one along the whole block.
      const std::uint32_t stamp = chance(0.1)   ? kEdgeStamps[below(std::size(kEdgeStamps))]
                                  : chance(0.5) ? 0x38000000u - page / 3
                                                : static_cast<std::uint32_t>(random());
      for (std::size_t k = 0; k < 4; ++k) cell[2 + k] = static_cast<std::uint8_t>(stamp >> (8 * k));
      if (chance(0.5)) {  // nothing flagged
        switch (p.Flags) {
          case FlagLayout::kByte8: cell[8] = 0; break;
          case FlagLayout::kWord8: cell[8] = cell[9] = 0; break;
          case FlagLayout::kByte7Bit0: cell[7] &= 0xFE; break;
          case FlagLayout::kWord18: cell[18] = cell[19] = 0; break;
        }
      }
      for (std::size_t g = 0; g < (samples ? cell::kMaxSamples : p.Channels); ++g) {
        if (chance(0.6)) continue;
        const std::uint32_t bits = kEdgeValues[below(std::size(kEdgeValues))] | (chance(0.5) ? 0x80000000u : 0);
        std::uint8_t* field = cell + p.FirstFieldOffset + 4 * g;
        for (std::size_t k = 0; k < 4; ++k) {
          field[samples ? k : 3 - k] = static_cast<std::uint8_t>(bits >> (8 * k));
        }
      }
      cell[p.CellSize - 1] = CellChecksum(cell, p.CellSize - 1u);
      if (!chance(damage)) continue;
      switch (below(6)) {
        case 0: cell[0] = static_cast<std::uint8_t>(cell::kMarkerValue ^ (1u << below(8))); break;
        case 1: cell[1] = static_cast<std::uint8_t>(p.CellSize ^ (1u << below(8))); break;
        case 2: cell[p.CellSize - 1] = static_cast<std::uint8_t>(cell[p.CellSize - 1] ^ (1u << below(8))); break;
        case 3: cell[2 + below(p.CellSize - 3u)] ^= static_cast<std::uint8_t>(1 + below(255)); break;
        case 4: cell[0] = static_cast<std::uint8_t>(random()); break;  // random marker and length
        case 5: cell[1] = static_cast<std::uint8_t>(random()); break;
      }
    }
  }
  return block;
}

TEST(ValidationScan, AgreesWithAPlainScanOnRandomBlocks) {
  for (const DeviceProfile& p : kDeviceProfiles) {
    for (const std::uint32_t pages : {16u, 32u, 47u, 100u}) {
      for (const double damage : {0.02, 0.5}) {
        const std::vector<std::uint8_t> block =
            RandomBlock(p, pages, damage, p.DeviceType * 1000u + pages + static_cast<std::uint64_t>(damage * 100));
        for (const unsigned parts : {1u, 2u, 3u}) {
          SCOPED_TRACE("type " + std::to_string(p.DeviceType) + ", " + std::to_string(pages) + " pages, damage " +
                       std::to_string(damage) + ", " + std::to_string(parts) + " stretches");
          ExpectAsReference(block, pages, p, parts);
        }
      }
    }
  }
}

TEST(ValidationScan, AgreesWithAPlainScanOnHeavilyDamagedArchives) {
  for (const DeviceProfile& p : kDeviceProfiles) {
    for (const std::uint32_t pages : {64u, 135u}) {
      ar4gen::GeneratorOptions options;
      options.Seed = 5 + p.DeviceType + pages;
      options.Header.DeviceType = p.DeviceType;
      options.Header.PageCount = pages;
      options.MarkerDamage = options.ChecksumDamage = 0.25;
      options.LengthDamage = 0.1;
      options.ZeroStamps = options.AllOnesStamps = 0.05;
      options.EqualStamps = 0.3;
      options.FlaggedChannels = 0.2;
      options.SpecialValues = 0.3;
      options.SetBacks = 4;
      options.WrapSlot = 37 * p.CellsPerPage + 2;
      options.FilledCells = (pages - 3) * p.CellsPerPage;
      const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
      const std::vector<std::uint8_t> block(file.begin() + kHeaderSize, file.end());
      for (const unsigned parts : {1u, 2u}) {
        SCOPED_TRACE("type " + std::to_string(p.DeviceType) + ", " + std::to_string(pages) + " pages, " +
                     std::to_string(parts) + " stretches");
        ExpectAsReference(block, pages, p, parts);
      }
    }
  }
}

TEST(ValidationScan, EachTestFailsAloneInEveryPageAndCellOfSixteen) {
  // One fault in a block of valid cells: it must be found in its own page and cell and counted under its
  // own test, the chain broken there.
  for (const DeviceProfile& p : kDeviceProfiles) {
    ArchiveImage image(p.DeviceType, 16);
    image.FillAll(Content(0x38000000));
    const std::vector<std::uint8_t> intact(image.MainBlock(), image.MainBlock() + 16 * kPageSize);
    for (std::uint32_t page = 0; page < 16; ++page) {
      for (std::uint32_t c = 0; c < p.CellsPerPage; ++c) {
        for (int fault = 0; fault < 4; ++fault) {
          std::vector<std::uint8_t> block = intact;
          std::uint8_t* cell = block.data() + page * kPageSize + c * p.CellSize;
          switch (fault) {
            case 0: cell[0] ^= 0x01; break;
            case 1: cell[1] ^= 0x80; break;
            case 2: cell[p.CellSize - 1] ^= 0x80; break;
            case 3: cell[2 + (page + c) % (p.CellSize - 3u)] ^= 0x01; break;  // the check byte no longer fits
          }
          SCOPED_TRACE("type " + std::to_string(p.DeviceType) + ", page " + std::to_string(page) + ", cell " +
                       std::to_string(c) + ", fault " + std::to_string(fault));
          ExpectAsReference(block, 16, p, 1);
          if (HasFailure()) return;
        }
      }
    }
  }
}

TEST(ValidationScan, OldestStampTiesAcrossSixteenPagesKeepTheEarlierCell) {
  // Address order is page before cell: cell 18 of page 2 comes before cell 0 of page 9.
  ArchiveImage ties(76, 48);
  ties.FillAll(Content(0x38000500));
  ties.Put({9, 0}, Content(0x38000100));
  ties.Put({2, 18}, Content(0x38000100));
  ties.Put({1, 3}, Content(0x38000100), Damage::kChecksum);
  ties.Put({20, 0}, Content(0x38000100));
  ties.Put({0, 0}, Content(0));
  EXPECT_EQ(Scan(ties).StartPosition, (CellPosition{2, 18}));
  // A smaller stamp in a later group of sixteen, tied within that group.
  ties.Put({37, 5}, Content(0x380000FF));
  ties.Put({36, 9}, Content(0x380000FF));
  EXPECT_EQ(Scan(ties).StartPosition, (CellPosition{36, 9}));

  // Stamps on both sides of the sign bit compare as unsigned numbers.
  ArchiveImage high(73, 32);
  high.FillAll(Content(0x80000000u));
  high.Put({17, 4}, Content(0x7FFFFFFFu));
  high.Put({3, 8}, Content(0x80000001u));
  EXPECT_EQ(Scan(high).StartPosition, (CellPosition{17, 4}));

  for (ArchiveImage* image : {&ties, &high}) {
    const std::vector<std::uint8_t> block(image->MainBlock(), image->MainBlock() + image->Ring().PageCount * kPageSize);
    for (const unsigned parts : {1u, 2u}) ExpectAsReference(block, image->Ring().PageCount, image->Profile(), parts);
  }
}

TEST(ValidationScan, AGapFromTheJointOfTwoStretchesBreaksTheChainWhateverItsLength) {
  // Valid cells up to the joint (page 48 of 96 in two stretches), erased pages from there, valid cells
  // after them: one break, also when the gap covers whole blocks of sixteen pages.
  const DeviceProfile& p = *FindDeviceProfile(73);
  for (const std::uint32_t gap : {1u, 15u, 16u, 17u, 32u, 33u}) {
    ArchiveImage image(73, 96);
    image.FillAll(Content(0x38000000));
    std::fill(image.MainBlock() + 48 * kPageSize, image.MainBlock() + (48 + gap) * kPageSize, std::uint8_t{0xFF});
    const std::vector<std::uint8_t> block(image.MainBlock(), image.MainBlock() + 96 * kPageSize);
    SCOPED_TRACE("gap of " + std::to_string(gap) + " pages");
    EXPECT_EQ(ReferenceScan(block, 96, p).Result.Statistics.ChainBreaks, 1u);
    for (const unsigned parts : {1u, 2u}) ExpectAsReference(block, 96, p, parts);
  }
}

}  // namespace
}  // namespace ar4
