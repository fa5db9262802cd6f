#include "core/archive/scan.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/archive/codecs.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  bool InvalidBeforeFirstValid = false;  // a cell of the stretch before its first valid one is invalid
  std::uint8_t ChainState = 0;           // at its end, started from 0

  bool AnyValid() const { return ChainState != 0; }
  bool EndsInvalid() const { return ChainState == 2; }
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

#if defined(__SSE2__)

// Sixteen pages side by side. After a transpose of each 16 x 16 block of bytes, one register holds byte j
// of sixteen consecutive pages, lane r for the r-th page; each step of a cell's tests then runs for the
// same cell of sixteen pages at once. Counts are kept per lane in bytes and summed once per sixteen pages.

inline __m128i AllBytes(std::uint8_t value) { return _mm_set1_epi8(static_cast<char>(value)); }

/// Transposes 16 x 16 bytes: byte c of row r becomes byte r of row c. Each round interleaves row i with
/// row i + 8, which moves a byte's row and column numbers one bit along; four rounds swap them.
inline void Transpose(__m128i (&rows)[16]) {
  for (int round = 0; round < 4; ++round) {
    __m128i interleaved[16];
    for (int i = 0; i < 8; ++i) {
      interleaved[2 * i] = _mm_unpacklo_epi8(rows[i], rows[i + 8]);
      interleaved[2 * i + 1] = _mm_unpackhi_epi8(rows[i], rows[i + 8]);
    }
    for (int i = 0; i < 16; ++i) rows[i] = interleaved[i];
  }
}

/// Each byte rotated left by one bit: doubled, plus one where its top bit was set.
inline __m128i RotateBytesLeftOne(__m128i x) {
  return _mm_sub_epi8(_mm_add_epi8(x, x), _mm_cmplt_epi8(x, _mm_setzero_si128()));
}

/// 0xFF in the lanes where IsOffScale holds for the value whose bytes are given most significant first,
/// `top` already without the sign bit. The magnitude is compared with the limit 47 C3 50 00 byte by byte
/// from the least significant up: a byte above its limit byte decides, an equal byte leaves the decision
/// to the bytes below it, so each byte is compared with its limit byte lowered by one in the lanes where
/// the bytes below are above theirs. Unsigned bytes compare as signed ones with the top bit flipped.
inline __m128i OffScaleLanes(__m128i top, __m128i second, __m128i third, __m128i fourth) {
  static_assert(kOffScaleMagnitudeBits == 0x47C35000u, "the limit bytes below");
  const __m128i flip = AllBytes(0x80);
  const __m128i fourth_zero = _mm_cmpeq_epi8(fourth, _mm_setzero_si128());  // not above 00
  // Above 50 where the fourth byte is 00, else above 4F (flipped: CF + 1 or CF).
  const __m128i third_above = _mm_cmpgt_epi8(_mm_xor_si128(third, flip), _mm_sub_epi8(AllBytes(0xCF), fourth_zero));
  // Above C3, or above C2 where the bytes below are above 50 00 (flipped: 43 or 42).
  const __m128i second_above =
      _mm_cmpgt_epi8(_mm_xor_si128(second, flip), _mm_add_epi8(AllBytes(0x43), third_above));
  // Above 47, or above 46; `top` is below 0x80 and compares as it is.
  return _mm_cmpgt_epi8(top, _mm_add_epi8(AllBytes(0x47), second_above));
}

/// 0xFF in the lanes whose stamp (four columns, least significant byte first) is not 0 and is below
/// `min_date` (never 0). stamp - 1 < min_date - 1 as unsigned numbers says both at once, and with the top
/// bit flipped (stamp + 0x7FFFFFFF) the unsigned comparison becomes a signed one.
inline __m128i OlderStampLanes(const __m128i* stamp, std::uint32_t min_date) {
  const __m128i bias = _mm_set1_epi32(0x7FFFFFFF);
  const __m128i limit = _mm_set1_epi32(static_cast<int>(min_date + 0x7FFFFFFFu));
  const __m128i low_half = _mm_unpacklo_epi8(stamp[0], stamp[1]);   // bytes 0 and 1 of pages 0..7
  const __m128i low_half_later = _mm_unpackhi_epi8(stamp[0], stamp[1]);  // of pages 8..15
  const __m128i high_half = _mm_unpacklo_epi8(stamp[2], stamp[3]);
  const __m128i high_half_later = _mm_unpackhi_epi8(stamp[2], stamp[3]);
  const auto older = [&](__m128i stamps) { return _mm_cmplt_epi32(_mm_add_epi32(stamps, bias), limit); };
  const __m128i pages_0_7 = _mm_packs_epi32(older(_mm_unpacklo_epi16(low_half, high_half)),
                                            older(_mm_unpackhi_epi16(low_half, high_half)));
  const __m128i pages_8_15 = _mm_packs_epi32(older(_mm_unpacklo_epi16(low_half_later, high_half_later)),
                                             older(_mm_unpackhi_epi16(low_half_later, high_half_later)));
  return _mm_packs_epi16(pages_0_7, pages_8_15);
}

/// Calls step(std::integral_constant<std::size_t, k>{}) for k = 0 .. kCount - 1: a loop written out, with
/// k a constant in each step (the column of a byte, the bit of a flag, the register of a mask).
template <std::size_t kCount, typename Step>
inline void Unrolled(Step&& step) {
  [&]<std::size_t... kK>(std::index_sequence<kK...>) {
    (step(std::integral_constant<std::size_t, kK>{}), ...);
  }(std::make_index_sequence<kCount>{});
}

/// The sum of the sixteen bytes.
inline std::uint32_t SumOfBytes(__m128i bytes) {
  const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(sums, _mm_unpackhi_epi64(sums, sums))));
}

/// The cell byte and the bit within it that flags channel (or sample) g.
struct FlagBit {
  std::size_t Byte;
  std::uint8_t Bit;
};
constexpr FlagBit FlagOf(FlagLayout flags, std::size_t g) {
  switch (flags) {
    case FlagLayout::kByte8: return {8, static_cast<std::uint8_t>(1u << g)};
    case FlagLayout::kWord8: return {8 + g / 8, static_cast<std::uint8_t>(1u << (g % 8))};
    case FlagLayout::kByte7Bit0: return {7, 1};
    case FlagLayout::kWord18: break;
  }
  return {cell::kSampleFlags + g / 8, static_cast<std::uint8_t>(1u << (g % 8))};
}

/// Scans the sixteen pages from `first` on exactly as ScanPage does one by one: the same counts, masks,
/// chain, oldest stamp and type-89 repairs. `ahead`: the next sixteen pages, asked for meanwhile, or null.
template <std::size_t kIndex>
void ScanSixteenPages(std::uint8_t* main_block, std::uint32_t first, std::uint32_t* valid_masks,
                      StretchScan& result, std::uint8_t& chain_state, const std::uint8_t* ahead) {
  constexpr const DeviceProfile& kProfile = kDeviceProfiles[kIndex];
  constexpr std::size_t kSize = kProfile.CellSize;
  constexpr std::size_t kCells = kProfile.CellsPerPage;
  constexpr bool kSamples = kProfile.Flags == FlagLayout::kWord18;
  // A page's valid cells are gathered in three bytes per lane, per-lane counts stay below 256, and every
  // channel has its flag where FlagOf finds it.
  static_assert(kCells <= 24 && kCells * kSize <= kPageSize);
  static_assert(kCells * (kSamples ? cell::kMaxSamples : kProfile.Channels) < 256);
  static_assert(kSamples || kProfile.Channels <= (kProfile.Flags == FlagLayout::kByte7Bit0 ? 1u
                                                  : kProfile.Flags == FlagLayout::kByte8   ? 8u
                                                                                           : 16u));
  ScanStatistics& stats = result.Statistics;
  std::uint8_t* pages = main_block + std::size_t{first} * kPageSize;

  // column[j]: byte j of the sixteen pages. Bytes after the page's last cell are left out.
  constexpr std::size_t kColumns = (kCells * kSize + 15) / 16 * 16;
  __m128i column[kColumns];
  for (std::size_t k = 0; k < kColumns; k += 16) {
    // The rows are read 256 bytes apart while the columns are stored, and the processor's own look-ahead
    // does not reach the next pages in time: they are asked for here, a page's four lines per block of
    // columns (the last block takes the pages left).
    if (ahead != nullptr) {
      const std::size_t end_line = k + 16 == kColumns ? 64 : k / 4 + 4;
      for (std::size_t line = k / 4; line < end_line; ++line) {
        _mm_prefetch(reinterpret_cast<const char*>(ahead + 64 * line), _MM_HINT_T0);
      }
    }
    __m128i rows[16];
    for (std::size_t r = 0; r < 16; ++r) {
      rows[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pages + r * kPageSize + k));
    }
    Transpose(rows);
    for (std::size_t j = 0; j < 16; ++j) column[k + j] = rows[j];
  }

  // The check bytes: each is a chain of dependent steps, so the chains of several cells go step by step
  // side by side, as many as their sums stay in registers.
  __m128i sums[kCells];
  constexpr std::size_t kBatch = 10;
  Unrolled<(kCells + kBatch - 1) / kBatch>([&](auto batch) {
    constexpr std::size_t kFirst = batch * kBatch;
    constexpr std::size_t kCount = std::min(kBatch, kCells - kFirst);
    __m128i chains[kCount];
    Unrolled<kCount>([&](auto c) { chains[c] = AllBytes(1); });
    for (std::size_t i = 0; i + 1 < kSize; ++i) {
      Unrolled<kCount>([&](auto c) {
        chains[c] = RotateBytesLeftOne(_mm_add_epi8(chains[c], column[(kFirst + c) * kSize + i]));
      });
    }
    Unrolled<kCount>([&](auto c) { sums[kFirst + c] = chains[c]; });
  });

  const __m128i zero = _mm_setzero_si128();
  // Per lane: cells with the marker, with marker and length, valid ones, valid ones after an invalid one
  // (the starts of runs), off-scale values.
  __m128i with_marker = zero, with_length = zero, valid = zero, starts = zero, off_scale = zero;
  __m128i older = zero;                        // a valid cell with a stamp older than the oldest so far
  __m128i mask_bytes[3] = {zero, zero, zero};  // bits of cells 0..7, 8..15, 16..23
  __m128i first_cell_valid = zero, previous_valid = zero;
  [[maybe_unused]] int repair_lanes[kCells] = {};  // type 89: the pages whose cell c needs a repair
  const std::uint32_t min_date = result.MinDate;

  Unrolled<kCells>([&](auto c) {
    const __m128i* cell = column + c * kSize;
    const __m128i has_marker = _mm_cmpeq_epi8(cell[cell::kMarker], AllBytes(cell::kMarkerValue));
    const __m128i has_length = _mm_and_si128(has_marker, _mm_cmpeq_epi8(cell[cell::kLength], AllBytes(kSize)));
    const __m128i is_valid = _mm_and_si128(has_length, _mm_cmpeq_epi8(sums[c], cell[kSize - 1]));
    with_marker = _mm_sub_epi8(with_marker, has_marker);
    with_length = _mm_sub_epi8(with_length, has_length);
    valid = _mm_sub_epi8(valid, is_valid);
    mask_bytes[c / 8] = _mm_or_si128(mask_bytes[c / 8], _mm_and_si128(is_valid, AllBytes(1u << (c % 8))));
    if constexpr (c == 0) {
      first_cell_valid = is_valid;  // its start is known once the page's last cell is
    } else {
      starts = _mm_sub_epi8(starts, _mm_andnot_si128(previous_valid, is_valid));
    }
    previous_valid = is_valid;
    older = _mm_or_si128(older, _mm_and_si128(is_valid, OlderStampLanes(cell + cell::kStamp, min_date)));

    __m128i cell_off_scale = zero;
    if constexpr (kSamples) {
      // The first (byte 7 & 0x0F) + 1 samples, least significant byte first. A sample whose exponent
      // byte needs lowering takes its cell to RepairAndCountSamples, which also counts that cell.
      const __m128i last_sample = _mm_and_si128(cell[cell::kSampleCount], AllBytes(0x0F));
      __m128i repair = zero;
      Unrolled<cell::kMaxSamples>([&](auto q) {
        const __m128i* field = cell + cell::kFirstSample + 4 * q;
        constexpr FlagBit kFlag = FlagOf(kProfile.Flags, q);
        const __m128i flagged =
            _mm_cmpeq_epi8(_mm_and_si128(cell[kFlag.Byte], AllBytes(kFlag.Bit)), AllBytes(kFlag.Bit));
        // Sample q is used when q <= byte 7 & 0x0F; sample 0 always (compared with -1).
        const __m128i used = _mm_cmpgt_epi8(last_sample, AllBytes(static_cast<std::uint8_t>(q - 1)));
        const __m128i counted = _mm_andnot_si128(flagged, used);
        const __m128i top = _mm_and_si128(field[3], AllBytes(0x7F));
        cell_off_scale =
            _mm_sub_epi8(cell_off_scale, _mm_and_si128(counted, OffScaleLanes(top, field[2], field[1], field[0])));
        repair = _mm_or_si128(repair, _mm_and_si128(counted, _mm_cmpeq_epi8(top, AllBytes(0x7F))));
      });
      const __m128i repaired = _mm_and_si128(repair, is_valid);
      repair_lanes[c] = _mm_movemask_epi8(repaired);
      off_scale = _mm_add_epi8(off_scale, _mm_and_si128(cell_off_scale, _mm_andnot_si128(repaired, is_valid)));
    } else {
      Unrolled<kProfile.Channels>([&](auto g) {
        const __m128i* field = cell + kProfile.FirstFieldOffset + 4 * g;
        constexpr FlagBit kFlag = FlagOf(kProfile.Flags, g);
        const __m128i flagged =
            _mm_cmpeq_epi8(_mm_and_si128(cell[kFlag.Byte], AllBytes(kFlag.Bit)), AllBytes(kFlag.Bit));
        const __m128i top = _mm_and_si128(field[0], AllBytes(0x7F));
        cell_off_scale =
            _mm_sub_epi8(cell_off_scale, _mm_andnot_si128(flagged, OffScaleLanes(top, field[1], field[2], field[3])));
      });
      off_scale = _mm_add_epi8(off_scale, _mm_and_si128(cell_off_scale, is_valid));
    }
  });
  // Cell 0 of a page follows the last cell of the page before (lane r - 1); the first page's cell 0 follows
  // the stretch so far, in a run when its state is 1 or 3.
  const bool in_run = chain_state == 1 || chain_state == 3;
  const __m128i before_first = _mm_or_si128(_mm_slli_si128(previous_valid, 1), _mm_cvtsi32_si128(in_run ? 0xFF : 0));
  starts = _mm_sub_epi8(starts, _mm_andnot_si128(before_first, first_cell_valid));

  // The pages' masks: the three bytes of a lane side by side in 32 bits.
  alignas(16) std::uint32_t masks[16];
  const __m128i low_words = _mm_unpacklo_epi8(mask_bytes[0], mask_bytes[1]);
  const __m128i low_words_later = _mm_unpackhi_epi8(mask_bytes[0], mask_bytes[1]);
  const __m128i high_words = _mm_unpacklo_epi8(mask_bytes[2], zero);
  const __m128i high_words_later = _mm_unpackhi_epi8(mask_bytes[2], zero);
  _mm_store_si128(reinterpret_cast<__m128i*>(masks), _mm_unpacklo_epi16(low_words, high_words));
  _mm_store_si128(reinterpret_cast<__m128i*>(masks + 4), _mm_unpackhi_epi16(low_words, high_words));
  _mm_store_si128(reinterpret_cast<__m128i*>(masks + 8), _mm_unpacklo_epi16(low_words_later, high_words_later));
  _mm_store_si128(reinterpret_cast<__m128i*>(masks + 12), _mm_unpackhi_epi16(low_words_later, high_words_later));
  if (valid_masks != nullptr) std::memcpy(valid_masks + first, masks, sizeof masks);

  // The first failing test decides: every cell without the marker, then those with it but of another
  // length, then those of the right length with another check byte.
  const std::uint32_t marker_count = SumOfBytes(with_marker);
  const std::uint32_t length_count = SumOfBytes(with_length);
  const std::uint32_t valid_count = SumOfBytes(valid);
  stats.CellsWithoutMarker += static_cast<std::uint32_t>(16 * kCells) - marker_count;
  stats.CellsWithWrongLength += marker_count - length_count;
  stats.CellsWithBadChecksum += length_count - valid_count;
  stats.ValidCells += valid_count;
  stats.OffScaleValues += SumOfBytes(off_scale);
  if constexpr (kSamples) {
    for (std::size_t c = 0; c < kCells; ++c) {
      for (unsigned lanes = static_cast<unsigned>(repair_lanes[c]); lanes != 0; lanes &= lanes - 1) {
        const std::size_t r = static_cast<std::size_t>(std::countr_zero(lanes));
        stats.OffScaleValues += RepairAndCountSamples(pages + r * kPageSize + c * kSize, kSize);
      }
    }
  }

  // The oldest stamp: rarely does a block of sixteen pages hold an older one; then its valid cells are
  // gone through in address order, page before cell, as ScanPage would.
  if (_mm_movemask_epi8(older) != 0) {
    for (std::uint32_t r = 0; r < 16; ++r) {
      for (std::uint32_t lanes = masks[r]; lanes != 0; lanes &= lanes - 1) {
        const auto c = static_cast<std::uint32_t>(std::countr_zero(lanes));
        const std::uint32_t stamp = CellStamp(pages + r * kPageSize + c * kSize);
        if (stamp != 0 && stamp < result.MinDate) {
          result.MinDate = stamp;
          result.StartPosition = {first + r, c};
        }
      }
    }
  }

  // The ChainTracker over the sixteen pages, from the runs of valid cells: each start after an earlier
  // valid cell is a break.
  const std::uint32_t start_count = SumOfBytes(starts);
  if (valid_count == 0) {
    if (chain_state == 0) {
      result.InvalidBeforeFirstValid = true;
    } else {
      chain_state = 2;
    }
    return;
  }
  if (chain_state == 0) {
    result.InvalidBeforeFirstValid |= (masks[0] & 1u) == 0;
    stats.ChainBreaks += start_count - 1;
  } else {
    stats.ChainBreaks += start_count;
  }
  if (((masks[15] >> (kCells - 1)) & 1u) == 0) {
    chain_state = 2;
  } else {
    // Still in the first run of valid cells (state 1), or in a later one (3).
    const bool first_run = (chain_state == 0 && start_count == 1) || (chain_state == 1 && start_count == 0);
    chain_state = first_run ? 1 : 3;
  }
}

/// Scans the stretch's pages sixteen at a time as far as they go; returns the first page left over.
template <std::size_t kIndex>
std::uint32_t ScanSideBySide(const FixedLayout<kIndex>&, std::uint8_t* main_block, std::uint32_t first_page,
                             std::uint32_t end_page, std::uint32_t* valid_masks, StretchScan& result,
                             std::uint8_t& chain_state) {
  std::uint32_t p = first_page;
  for (; end_page - p >= 16; p += 16) {
    const std::uint8_t* ahead = end_page - p >= 32 ? main_block + std::size_t{p + 16} * kPageSize : nullptr;
    ScanSixteenPages<kIndex>(main_block, p, valid_masks, result, chain_state, ahead);
  }
  return p;
}

#endif  // __SSE2__

/// A layout known only at run time leaves every page to ScanPage.
template <typename Layout>
std::uint32_t ScanSideBySide(const Layout&, std::uint8_t*, std::uint32_t first_page, std::uint32_t, std::uint32_t*,
                             StretchScan&, std::uint8_t&) {
  return first_page;
}

template <typename Layout>
StretchScan ScanStretch(const Layout& layout, std::uint8_t* main_block, std::uint32_t first_page,
                        std::uint32_t end_page, std::uint32_t* valid_masks) {
  StretchScan result;
  std::uint8_t chain_state = 0;
  const std::uint32_t left_over =
      ScanSideBySide(layout, main_block, first_page, end_page, valid_masks, result, chain_state);
  for (std::uint32_t p = left_over; p < end_page; ++p) {
    ScanPage(layout, main_block, p, valid_masks, result, chain_state);
  }
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
  if (before.AnyValid() && next.AnyValid() && (before.EndsInvalid() || next.InvalidBeforeFirstValid)) {
    ++stats.ChainBreaks;
  }
  if (next.MinDate < before.MinDate) {  // a tie keeps the earlier cell
    before.MinDate = next.MinDate;
    before.StartPosition = next.StartPosition;
  }
  if (!before.AnyValid()) {
    before.InvalidBeforeFirstValid = before.InvalidBeforeFirstValid || next.InvalidBeforeFirstValid;
  }
  // The state after both: the next stretch's own when it has a valid cell (1 and 3 act alike), else a gap
  // after valid cells when there were any.
  if (next.AnyValid()) {
    before.ChainState = next.ChainState;
  } else if (before.AnyValid() && next.InvalidBeforeFirstValid) {
    before.ChainState = 2;
  }
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
