#include "core/archive/scan.hpp"

#include <bit>
#include <cstddef>
#include <utility>

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

// The off-scale limit 100000.0 as the bits of an IEEE single without its sign. 100000.0 is exact in single
// precision, so the magnitude of a decoded value exceeds the limit exactly when these bits are exceeded:
// - exponents 1..253 decode to the IEEE value itself, and IEEE magnitudes order like their bit patterns;
// - exponents 254 and 255 saturate to at least 2^126, above the limit, and their bits are above it too;
// - exponent 0 decodes to +0.0, and its bits lie below the limit.
// The limits themselves are not off-scale. The comparison stands for decoding the value and testing
// value > 100000.0 or value < -100000.0, without the decoding.
constexpr std::uint32_t kOffScaleMagnitudeBits = 0x47C35000u;

/// A DeviceFloat field as IEEE single bits (stored most significant byte first).
inline std::uint32_t DeviceFloatBits(const std::uint8_t* field) {
  return (std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) | (std::uint32_t{field[2]} << 8) |
         field[3];
}

inline bool IsOffScale(std::uint32_t single_bits) { return (single_bits & 0x7FFFFFFFu) > kOffScaleMagnitudeBits; }

/// The profile's numbers as compile-time constants for the five known types, so the per-cell work of the
/// hot loop (checksum length, channel count, field offsets) unrolls.
template <std::size_t kIndex>
struct FixedLayout {
  static constexpr const DeviceProfile& kProfile = kDeviceProfiles[kIndex];
  constexpr const DeviceProfile& Profile() const { return kProfile; }
  constexpr std::size_t CellSize() const { return kProfile.CellSize; }
  constexpr std::size_t CellsPerPage() const { return kProfile.CellsPerPage; }
  constexpr std::size_t Channels() const { return kProfile.Channels; }
  constexpr std::size_t FirstField() const { return kProfile.FirstFieldOffset; }
  constexpr FlagLayout Flags() const { return kProfile.Flags; }
};

/// The same numbers taken at run time, for a profile that is not one of the table's rows.
struct RuntimeLayout {
  const DeviceProfile& profile;
  const DeviceProfile& Profile() const { return profile; }
  std::size_t CellSize() const { return profile.CellSize; }
  std::size_t CellsPerPage() const { return profile.CellsPerPage; }
  std::size_t Channels() const { return profile.Channels; }
  std::size_t FirstField() const { return profile.FirstFieldOffset; }
  FlagLayout Flags() const { return profile.Flags; }
};

/// Counts the off-scale values of a valid cell of types 73..76: every unflagged channel is decoded as a
/// DeviceFloat and tested against the limits; a flagged channel holds a status code and is not tested.
template <typename Layout>
inline std::uint32_t CountOffScaleChannels(const Layout& layout, const std::uint8_t* cell) {
  unsigned flags = 0;
  switch (layout.Flags()) {
    case FlagLayout::kByte8: flags = cell[8]; break;
    case FlagLayout::kWord8: flags = ReadU16(cell + 8); break;
    case FlagLayout::kByte7Bit0: flags = cell[7] & 1u; break;
    case FlagLayout::kWord18: flags = ReadU16(cell + cell::kSampleFlags); break;
  }
  std::uint32_t count = 0;
  for (std::size_t g = 0; g < layout.Channels(); ++g) {
    if ((flags >> g) & 1u) continue;
    count += IsOffScale(DeviceFloatBits(cell + layout.FirstField() + 4 * g)) ? 1u : 0u;
  }
  return count;
}

/// Type 89: the first (byte 7 & 0x0F) + 1 samples of its one channel. The exponent byte of every unflagged
/// sample is lowered in place when it is all ones (0xFF to 0xFE, 0x7F to 0x7E), so no infinity or NaN is
/// ever decoded. The check byte is then recomputed: the repaired cell stays valid for the overlap
/// analysis, the re-ordering and the export, and its lowered values are exported rather than dropped.
inline std::uint32_t RepairAndCountSamples(std::uint8_t* cell, std::size_t cell_size) {
  const std::size_t samples = (cell[cell::kSampleCount] & 0x0Fu) + 1u;
  const unsigned flags = ReadU16(cell + cell::kSampleFlags);
  std::uint32_t count = 0;
  bool repaired = false;
  for (std::size_t q = 0; q < samples; ++q) {
    if ((flags >> q) & 1u) continue;
    std::uint8_t* field = cell + cell::kFirstSample + 4 * q;
    if ((field[3] & 0x7Fu) == 0x7Fu) {
      field[3] = static_cast<std::uint8_t>(field[3] - 1u);
      repaired = true;
    }
    count += IsOffScale(ReadU32(field)) ? 1u : 0u;  // least significant byte first
  }
  if (repaired) cell[cell_size - 1] = CellChecksum(cell, cell_size - 1);
  return count;
}

template <typename Layout>
ScanResult Scan(const Layout& layout, std::uint8_t* main_block, std::uint32_t page_count,
                std::uint32_t* valid_masks) {
  ScanResult result;
  result.NominalCapacity = NominalCapacityOf(layout.Profile(), page_count);
  ScanStatistics& stats = result.Statistics;
  std::uint8_t chain_state = 0;
  const std::size_t cell_size = layout.CellSize();
  const bool samples = layout.Flags() == FlagLayout::kWord18;

  for (std::uint32_t p = 0; p < page_count; ++p) {
    std::uint8_t* page = main_block + std::size_t{p} * kPageSize;
    std::uint8_t sums[kPageSize];
    CellChecksums(page, cell_size, layout.CellsPerPage(), sums);
    std::uint32_t mask = 0;
    for (std::size_t c = 0; c < layout.CellsPerPage(); ++c) {
      std::uint8_t* cell = page + c * cell_size;
      // Three tests in order; the first that fails decides the counter (counted without branches, as
      // damaged cells come at random).
      const bool marker_ok = cell[cell::kMarker] == cell::kMarkerValue;
      const bool length_ok = cell[cell::kLength] == cell_size;
      const bool checksum_ok = sums[c] == cell[cell_size - 1];
      stats.CellsWithoutMarker += !marker_ok;
      stats.CellsWithWrongLength += marker_ok && !length_ok;
      stats.CellsWithBadChecksum += marker_ok && length_ok && !checksum_ok;
      const bool valid = marker_ok && length_ok && checksum_ok;
      ChainStep(chain_state, valid, stats.ChainBreaks);
      mask |= std::uint32_t{valid} << c;
      if (!valid) continue;
      ++stats.ValidCells;

      // The oldest time stamp; ties keep the earlier cell, 0 and 0xFFFFFFFF never count.
      const std::uint32_t stamp = CellStamp(cell);
      if (stamp != 0 && stamp < result.MinDate) {
        result.MinDate = stamp;
        result.StartPosition = {p, static_cast<std::uint32_t>(c)};
      }

      stats.OffScaleValues += samples ? RepairAndCountSamples(cell, cell_size) : CountOffScaleChannels(layout, cell);
    }
    if (valid_masks != nullptr) valid_masks[p] = mask;
  }
  // ValidCells is at most 2490368, so ValidCells x 1000 stays within 32 bits.
  result.FillPerMille = result.NominalCapacity != 0 ? stats.ValidCells * 1000u / result.NominalCapacity : 0;
  return result;
}

/// A profile with the same cell layout as a row of the table (normally the row itself).
constexpr bool SameLayout(const DeviceProfile& a, const DeviceProfile& b) {
  return a.CellSize == b.CellSize && a.CellsPerPage == b.CellsPerPage && a.Channels == b.Channels &&
         a.Flags == b.Flags && a.FirstFieldOffset == b.FirstFieldOffset && a.NominalCapacity == b.NominalCapacity;
}

template <std::size_t... kIndex>
ScanResult DispatchScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                        std::uint32_t* valid_masks, std::index_sequence<kIndex...>) {
  ScanResult result;
  const bool fixed = ((SameLayout(profile, kDeviceProfiles[kIndex]) &&
                       (result = Scan(FixedLayout<kIndex>{}, main_block, page_count, valid_masks), true)) ||
                      ...);
  if (!fixed) result = Scan(RuntimeLayout{profile}, main_block, page_count, valid_masks);
  return result;
}

}  // namespace

ScanResult ValidationScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                          std::uint32_t* valid_masks) {
  // A mask holds the cells of one page; no known page has more than 32.
  if (profile.CellsPerPage > 32) valid_masks = nullptr;
  return DispatchScan(main_block, page_count, profile, valid_masks,
                      std::make_index_sequence<kDeviceProfiles.size()>{});
}

}  // namespace ar4
