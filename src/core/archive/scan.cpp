#include "core/archive/scan.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

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

/// The scan of a stretch of pages. The ChainTracker starts there as at the start of the block; what the
/// stretch tells about its chain is kept so that the stretches can be joined in address order afterwards.
struct StretchScan {
  ScanStatistics Statistics;  // ChainBreaks: those after the stretch's first valid cell
  std::uint32_t MinDate = 0xFFFFFFFFu;
  CellPosition StartPosition;
  bool AnyValid = false;
  bool InvalidBeforeFirstValid = false;  // a cell of the stretch before its first valid one is invalid
  bool EndsInvalid = false;              // its last cell is invalid
  std::uint8_t ChainState = 0;           // at its end, started from 0
};

/// Scans page `p` cell by cell, continuing the stretch's counts and its ChainTracker state.
template <typename Layout>
inline void ScanPage(const Layout& layout, std::uint8_t* main_block, std::uint32_t p, std::uint32_t* valid_masks,
                     StretchScan& result, std::uint8_t& chain_state) {
  ScanStatistics& stats = result.Statistics;
  const std::size_t cell_size = layout.CellSize();
  const bool samples = layout.Flags() == FlagLayout::kWord18;
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
    result.InvalidBeforeFirstValid |= !valid && chain_state == 0;
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

template <typename Layout>
StretchScan ScanStretch(const Layout& layout, std::uint8_t* main_block, std::uint32_t first_page,
                        std::uint32_t end_page, std::uint32_t* valid_masks) {
  StretchScan result;
  std::uint8_t chain_state = 0;
  for (std::uint32_t p = first_page; p < end_page; ++p) {
    ScanPage(layout, main_block, p, valid_masks, result, chain_state);
  }
  result.AnyValid = chain_state != 0;
  result.EndsInvalid = chain_state == 2;
  result.ChainState = chain_state;
  return result;
}

/// Appends the next stretch to the scan of the stretches before it, as if one ChainTracker had gone over
/// both: a gap that runs across the joint between valid cells on both sides is a break.
void JoinStretch(StretchScan& before, const StretchScan& next) {
  ScanStatistics& stats = before.Statistics;
  stats.ValidCells += next.Statistics.ValidCells;
  stats.CellsWithoutMarker += next.Statistics.CellsWithoutMarker;
  stats.CellsWithWrongLength += next.Statistics.CellsWithWrongLength;
  stats.CellsWithBadChecksum += next.Statistics.CellsWithBadChecksum;
  stats.OffScaleValues += next.Statistics.OffScaleValues;
  stats.ChainBreaks += next.Statistics.ChainBreaks;
  if (before.AnyValid && next.AnyValid && (before.EndsInvalid || next.InvalidBeforeFirstValid)) ++stats.ChainBreaks;
  if (next.MinDate < before.MinDate) {  // a tie keeps the earlier cell
    before.MinDate = next.MinDate;
    before.StartPosition = next.StartPosition;
  }
  if (!before.AnyValid) {
    before.InvalidBeforeFirstValid = before.InvalidBeforeFirstValid || next.InvalidBeforeFirstValid;
  }
  // The state after both: the next stretch's own when it has a valid cell (1 and 3 act alike), else a gap
  // after valid cells when there were any.
  if (next.AnyValid) {
    before.ChainState = next.ChainState;
  } else if (before.AnyValid && next.InvalidBeforeFirstValid) {
    before.ChainState = 2;
  }
  before.AnyValid = before.AnyValid || next.AnyValid;
  before.EndsInvalid = before.ChainState == 2;
}

/// Stretches of fewer pages are not worth a thread.
constexpr std::uint32_t kMinPagesPerStretch = 2048;

template <typename Layout>
ScanResult Scan(const Layout& layout, std::uint8_t* main_block, std::uint32_t page_count, std::uint32_t* valid_masks,
                unsigned parts) {
  parts = std::clamp<unsigned>(parts, 1, std::max<std::uint32_t>(page_count, 1));
  std::vector<StretchScan> stretches(parts);
  const auto first_page = [&](unsigned part) {
    return static_cast<std::uint32_t>(std::uint64_t{page_count} * part / parts);
  };
  const auto scan = [&](unsigned part) {
    stretches[part] = ScanStretch(layout, main_block, first_page(part), first_page(part + 1), valid_masks);
  };
  {
    // The stretches after the first on threads of their own; the calling thread scans the first. When a
    // thread cannot be started, its stretch is scanned here.
    std::vector<std::thread> threads;
    std::vector<unsigned> left_over;
    for (unsigned part = 1; part < parts; ++part) {
      try {
        threads.emplace_back(scan, part);
      } catch (const std::system_error&) {
        left_over.push_back(part);
      }
    }
    scan(0);
    for (const unsigned part : left_over) scan(part);
    for (std::thread& thread : threads) thread.join();
  }
  StretchScan whole = stretches[0];
  for (unsigned part = 1; part < parts; ++part) JoinStretch(whole, stretches[part]);

  ScanResult result;
  result.NominalCapacity = NominalCapacityOf(layout.Profile(), page_count);
  result.Statistics = whole.Statistics;
  result.MinDate = whole.MinDate;
  result.StartPosition = whole.StartPosition;
  // ValidCells is at most 2490368, so ValidCells x 1000 stays within 32 bits.
  result.FillPerMille =
      result.NominalCapacity != 0 ? result.Statistics.ValidCells * 1000u / result.NominalCapacity : 0;
  return result;
}

/// A profile with the same cell layout as a row of the table (normally the row itself).
constexpr bool SameLayout(const DeviceProfile& a, const DeviceProfile& b) {
  return a.CellSize == b.CellSize && a.CellsPerPage == b.CellsPerPage && a.Channels == b.Channels &&
         a.Flags == b.Flags && a.FirstFieldOffset == b.FirstFieldOffset && a.NominalCapacity == b.NominalCapacity;
}

template <std::size_t... kIndex>
ScanResult DispatchScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                        std::uint32_t* valid_masks, unsigned parts, std::index_sequence<kIndex...>) {
  ScanResult result;
  const bool fixed = ((SameLayout(profile, kDeviceProfiles[kIndex]) &&
                       (result = Scan(FixedLayout<kIndex>{}, main_block, page_count, valid_masks, parts), true)) ||
                      ...);
  if (!fixed) result = Scan(RuntimeLayout{profile}, main_block, page_count, valid_masks, parts);
  return result;
}

}  // namespace

ScanResult ValidationScanInParts(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                                 std::uint32_t* valid_masks, unsigned parts) {
  // A mask holds the cells of one page; no known page has more than 32.
  if (profile.CellsPerPage > 32) valid_masks = nullptr;
  return DispatchScan(main_block, page_count, profile, valid_masks, parts,
                      std::make_index_sequence<kDeviceProfiles.size()>{});
}

ScanResult ValidationScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                          std::uint32_t* valid_masks) {
  const unsigned processors = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
  const unsigned parts = std::min<unsigned>(processors, std::max<std::uint32_t>(page_count / kMinPagesPerStretch, 1));
  return ValidationScanInParts(main_block, page_count, profile, valid_masks, parts);
}

}  // namespace ar4
