// Fuzz target: arbitrary bytes through the reading of an archive, the size rules, the validation scan,
// both halves of the report and the overlap analysis.
//
// Input: one byte of switches, then the bytes of an archive file.
//   bit 0: before the scan, give every cell whose marker and length match a correct check byte, so that
//          mutations reach the decoding of the cells instead of stopping at the check byte;
//   bit 1: detailed mode of the report.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/report.hpp"
#include "core/archive/scan.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"
#include "fuzz_support.hpp"

namespace {

using ar4::fuzz::Require;
using ar4::fuzz::RecomputeCheckBytes;

void CheckScan(const ar4::ScanResult& scan, const ar4::LoadedArchive& loaded, const std::uint8_t* main_block,
               const ar4::RingGeometry& ring) {
  const ar4::ScanStatistics& s = scan.Statistics;
  // Every cell falls into exactly one of the four counters.
  Require(std::uint64_t{s.ValidCells} + s.CellsWithoutMarker + s.CellsWithWrongLength + s.CellsWithBadChecksum ==
          ring.TotalCells());
  Require(s.ChainBreaks <= s.ValidCells);
  Require(scan.NominalCapacity == ar4::NominalCapacityOf(*loaded.Profile, loaded.PageCount));
  Require(scan.FillPerMille <= 1000);
  if (scan.MinDate != 0xFFFFFFFFu) {
    Require(scan.MinDate != 0);
    Require(scan.StartPosition.Page < ring.PageCount && scan.StartPosition.Cell < ring.CellsPerPage);
    const std::uint8_t* cell = main_block + ring.Offset(scan.StartPosition);
    Require(ar4::CellStamp(cell) == scan.MinDate);
    Require(ar4::IsCellIntact(cell, ring.CellSize));
  } else {
    Require(scan.StartPosition == ar4::CellPosition{});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One pair of 32 MiB buffers for the whole process, as in the programs.
  static ar4::ArchiveBuffers& buffers = *new ar4::ArchiveBuffers();
  static ar4::IntervalList& intervals = *new ar4::IntervalList();
  if (size == 0) return 0;
  const std::uint8_t switches = data[0];
  const bool fix_check_bytes = (switches & 1u) != 0;
  const bool detailed = (switches & 2u) != 0;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  ar4::LoadedArchive loaded;
  const ar4::LoadStatus status = ar4::LoadArchiveBytes(file, buffers, loaded);
  if (status != ar4::LoadStatus::kLoaded && status != ar4::LoadStatus::kUnknownType) {
    Require(!ar4::LoadStatusMessage(status).empty());
    return 0;
  }
  const std::string head = ar4::ReportHeaderLines(buffers.ArchiveHeader.data(), detailed);
  Require(!head.empty() && head.back() == '\r');
  const std::uint32_t creation = ar4::ReadU32(buffers.ArchiveHeader.data() + ar4::header::kCreationDate);
  (void)ar4::DateTimeToPacked(ar4::PackedToDateTime(creation));
  if (status == ar4::LoadStatus::kUnknownType) return 0;

  Require(loaded.PageCount >= 1 && loaded.PageCount <= ar4::kMaxPageCount);
  Require(ar4::kHeaderSize + std::uint64_t{loaded.PageCount} * ar4::kPageSize <= file.size());
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(*loaded.Profile, loaded.PageCount);
  std::uint8_t* main_block = buffers.MainBlock.get();
  if (fix_check_bytes) RecomputeCheckBytes(main_block, ring);

  const ar4::ScanResult scan = ar4::ValidationScan(main_block, loaded.PageCount, *loaded.Profile);
  CheckScan(scan, loaded, main_block, ring);
  const std::string closing = ar4::ReportClosingLines(scan, detailed);
  Require(!closing.empty() && closing.back() == '\r');

  // The type-89 repairs keep their cells valid: a second scan finds the same cells and values.
  const ar4::ScanResult again = ar4::ValidationScan(main_block, loaded.PageCount, *loaded.Profile);
  Require(again.Statistics.ValidCells == scan.Statistics.ValidCells);
  Require(again.Statistics.OffScaleValues == scan.Statistics.OffScaleValues);
  Require(again.MinDate == scan.MinDate && again.StartPosition == scan.StartPosition);

  ar4::Pacer pacer;
  ar4::AnalizInterval(main_block, ring, scan.StartPosition, intervals, pacer);
  Require(intervals.ItemCount <= ar4::kIntervalListCapacity);
  for (std::uint32_t k = 0; k < intervals.ItemCount; ++k) {
    const ar4::IntervalEntry& e = intervals.Entries[k];
    Require(e.FirstPage < ring.PageCount && e.LastPage < ring.PageCount);
    Require(e.FirstCell < ring.CellsPerPage && e.LastCell < ring.CellsPerPage);
    (void)ar4::IntervalItemText(e);
  }
  return 0;
}
