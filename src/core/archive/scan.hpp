#pragma once
/// The validation scan: every cell of the MainBlock tested in address order, counted and decoded.

#include <cstdint>

#include "core/archive/format.hpp"

namespace ar4 {

struct ScanStatistics {
  std::uint32_t ValidCells = 0;
  std::uint32_t CellsWithoutMarker = 0;
  std::uint32_t CellsWithWrongLength = 0;
  std::uint32_t CellsWithBadChecksum = 0;
  std::uint32_t ChainBreaks = 0;
  std::uint32_t OffScaleValues = 0;
};

struct ScanResult {
  ScanStatistics Statistics;
  std::uint32_t MinDate = 0xFFFFFFFFu;  // smallest stamp of a valid cell other than 0 and 0xFFFFFFFF
  CellPosition StartPosition;           // the MinDate cell; (0, 0) when there is none
  std::uint32_t NominalCapacity = 0;
  std::uint32_t FillPerMille = 0;       // ValidCells x 1000 div NominalCapacity
};

/// Scans the first `page_count` pages. For type 89 it lowers an all-ones exponent byte of every unflagged
/// sample in place (0xFF to 0xFE, 0x7F to 0x7E) and recomputes that cell's check byte, so the repaired cell
/// stays valid for the analysis, the re-ordering and the export.
/// With `valid_masks` (room for `page_count` words), bit c of word p is set when cell c of page p is valid:
/// the analysis then needs no second check of every cell.
/// A large block is cut into two stretches of pages, scanned side by side on two threads where the machine
/// has two processors, and the stretches' counts are joined as one pass over the block would count them.
ScanResult ValidationScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                          std::uint32_t* valid_masks = nullptr);

/// The same scan cut into `parts` stretches of pages (at most one a page), all but the first scanned on
/// threads of their own. For tests; ValidationScan chooses the parts by the block's size.
ScanResult ValidationScanInParts(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                                 std::uint32_t* valid_masks, unsigned parts);

}  // namespace ar4
