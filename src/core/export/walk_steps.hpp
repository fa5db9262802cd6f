#pragma once
/// The steps of the ExportWalk: the positions of the ring from a walk index on, page by page, every cell
/// tested as the export tests it (marker, length, check byte) and a valid cell's stamp held against the
/// bounds. The export and the table both walk through here, so that they visit the same cells in the same
/// order.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/archive/codecs.hpp"
#include "core/archive/format.hpp"
#include "core/interval/bounds.hpp"

namespace ar4 {

/// Whether channel g of a cell is flagged (no value, a status code in the field's first byte).
inline bool ChannelFlagged(const std::uint8_t* cell, FlagLayout layout, std::size_t g) {
  switch (layout) {
    case FlagLayout::kByte8:
      return ((cell[8] >> g) & 1u) != 0;
    case FlagLayout::kWord8:
      return ((ReadU16(cell + 8) >> g) & 1u) != 0;
    case FlagLayout::kByte7Bit0:
      return (cell[7] & 1u) != 0;
    case FlagLayout::kWord18:
      return ((ReadU16(cell + cell::kSampleFlags) >> g) & 1u) != 0;
  }
  return false;
}

/// The position `index` steps after the bounds' StartPosition, as a slot number of the ring.
inline std::uint64_t WalkSlot(const RingGeometry& ring, const ExportBounds& bounds, std::uint64_t index) {
  const std::uint64_t start = std::uint64_t{bounds.StartPosition.Page} * ring.CellsPerPage + bounds.StartPosition.Cell;
  return (start + index) % ring.TotalCells();
}

/// Visits `count` positions from walk index `first` for the type kDeviceProfiles[kIndex]: `on_step(position)`
/// at every position, then `on_exported(cell)` for a valid cell whose stamp lies within the bounds, or
/// `on_invalid()` for a cell that is not valid. With `valid_masks` (the validation scan's verdict, one word
/// a page, while it still describes the block) a cell is valid when its bit is set; without, the check
/// bytes of a page's cells are computed side by side before its cells are visited.
template <std::size_t kIndex, class OnStep, class OnExported, class OnInvalid>
inline void WalkSteps(const std::uint8_t* main_block, const RingGeometry& ring, const ExportBounds& bounds,
                      std::uint64_t first, std::uint64_t count, OnStep&& on_step, OnExported&& on_exported,
                      OnInvalid&& on_invalid, const std::uint32_t* valid_masks = nullptr) {
  constexpr DeviceProfile kProfile = kDeviceProfiles[kIndex];
  constexpr std::size_t kCellSize = kProfile.CellSize;
  constexpr std::uint32_t kCellsPerPage = kProfile.CellsPerPage;
  const std::uint32_t start_stamp = bounds.StartStamp;
  const std::uint32_t end_stamp = bounds.EndStamp;
  const std::uint64_t slot = WalkSlot(ring, bounds, first);
  std::uint32_t page_index = static_cast<std::uint32_t>(slot / kCellsPerPage);
  std::uint32_t first_cell = static_cast<std::uint32_t>(slot % kCellsPerPage);
  std::uint64_t remaining = count;
  // A page's cells fit the bits of a mask word for every known type.
  static_assert(kCellsPerPage <= 32);
  std::uint8_t sums[kCellsPerPage];
  while (remaining > 0) {
    const std::uint8_t* page = main_block + std::size_t{page_index} * kPageSize;
    std::uint32_t mask = 0;
    if (valid_masks != nullptr) {
      mask = valid_masks[page_index];
    } else {
      CellChecksums(page, kCellSize, kCellsPerPage, sums);
      for (std::uint32_t c = 0; c < kCellsPerPage; ++c) {
        const std::uint8_t* cell = page + c * kCellSize;
        const bool valid = cell[cell::kMarker] == cell::kMarkerValue && cell[cell::kLength] == kCellSize &&
                           sums[c] == cell[kCellSize - 1];
        mask |= std::uint32_t{valid} << c;
      }
    }
    const std::uint32_t end_cell =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kCellsPerPage, first_cell + remaining));
    for (std::uint32_t c = first_cell; c < end_cell; ++c) {
      on_step(CellPosition{page_index, c});
      const std::uint8_t* cell = page + c * kCellSize;
      if (((mask >> c) & 1u) != 0) {
        const std::uint32_t stamp = CellStamp(cell);
        if (start_stamp <= stamp && stamp <= end_stamp) on_exported(cell);
      } else {
        on_invalid();
      }
    }
    remaining -= end_cell - first_cell;
    first_cell = 0;
    page_index = page_index + 1 == ring.PageCount ? 0 : page_index + 1;
  }
}

}  // namespace ar4
