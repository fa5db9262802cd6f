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
ScanResult ValidationScan(std::uint8_t* main_block, std::uint32_t page_count, const DeviceProfile& profile,
                          std::uint32_t* valid_masks = nullptr);

}  // namespace ar4
