#pragma once
// What the conversion fuzz targets share: the whole road of a conversion up to the export, from one byte of
// switches and the bytes of an archive file, and the checks of the files an export leaves in memory.
//
// Input: one byte of switches, then the bytes of an archive file.
//   bit 0: before the scan, give every cell whose marker and length match a correct check byte, so that
//          mutations reach the export instead of stopping at the check byte;
//   bit 1: detailed mode of the listing;
//   bit 2: date-range mode (otherwise list mode);
//   bit 3: in date-range mode, re-order the main block by date when the list has more than one item;
//   bits 4..7: list mode: the item (modulo the item count); date-range mode: how narrow the range is.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/memory_file_system.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/overlap.hpp"
#include "core/interval/sort.hpp"
#include "core/pacer.hpp"
#include "fuzz_support.hpp"

namespace ar4::fuzz {

/// An archive read, scanned and analysed, with the bounds of the export the switches choose.
struct PreparedExport {
  const std::uint8_t* MainBlock = nullptr;
  RingGeometry Ring{};
  const DeviceProfile* Profile = nullptr;
  ExportBounds Bounds{};
  bool Detailed = false;
};

/// Everything before the export, on the process's one pair of buffers; nothing when the driver would stop
/// before the export (a rejected archive, nothing to convert).
inline std::optional<PreparedExport> PrepareExport(const std::uint8_t* data, std::size_t size) {
  // One pair of 32 MiB buffers for the whole process, as in the programs.
  static ArchiveBuffers& buffers = *new ArchiveBuffers();
  static IntervalList& intervals = *new IntervalList();
  if (size == 0) return std::nullopt;
  const std::uint8_t switches = data[0];
  const bool fix_check_bytes = (switches & 1u) != 0;
  const bool date_range = (switches & 4u) != 0;
  const bool sort = (switches & 8u) != 0;
  const unsigned choice = switches >> 4;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  LoadedArchive loaded;
  if (LoadArchiveBytes(file, buffers, loaded) != LoadStatus::kLoaded) return std::nullopt;
  PreparedExport prepared;
  prepared.Profile = loaded.Profile;
  prepared.Ring = RingGeometry::Of(*loaded.Profile, loaded.PageCount);
  prepared.Detailed = (switches & 2u) != 0;
  std::uint8_t* main_block = buffers.MainBlock.get();
  prepared.MainBlock = main_block;
  if (fix_check_bytes) RecomputeCheckBytes(main_block, prepared.Ring);

  const ScanResult scan = ValidationScan(main_block, loaded.PageCount, *loaded.Profile);
  Pacer pacer;
  AnalizInterval(main_block, prepared.Ring, scan.StartPosition, intervals, pacer);
  if (intervals.ItemCount == 0) return std::nullopt;  // nothing to convert: the driver stops after the report

  if (date_range) {
    // Narrower ranges for higher choices: from 2000 + choice to 2063 - choice.
    const int first_year = 2000 + static_cast<int>(choice) * 2;
    prepared.Bounds = DateRangeBounds(intervals, {1, 1, first_year}, {31, 12, 2063 - static_cast<int>(choice)});
    if (sort && intervals.ItemCount > 1) {
      SortirBufMinMaxDate(main_block, buffers.SortBuffer.get(), prepared.Ring, intervals, {}, pacer);
      // The re-ordered block replaces the main block; the walk starts at its first slot.
      std::memcpy(main_block, buffers.SortBuffer.get(), std::size_t{loaded.PageCount} * kPageSize);
      prepared.Bounds.StartPosition = {};
      prepared.Bounds.EndPosition = {};
    }
  } else {
    prepared.Bounds = ListModeBounds(intervals, choice % intervals.ItemCount, prepared.Ring);
  }
  return prepared;
}

/// The files of an export agree with each other and with the result.
inline void CheckOutput(const MemoryFileSystem& fs, const DeviceProfile& profile, const ExportResult& result,
                        bool detailed) {
  Require(fs.OpenFiles == 0 && fs.DoubleCloses == 0 && fs.Temporaries().empty());
  Require(fs.CreationOrder.size() == 2u + profile.Channels + profile.Relays);
  const std::size_t records = fs.Contents("/out/Chan1.pen").size() / 15;
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    Require(fs.Contents("/out/" + ChannelFileName(g)).size() == records * 15);
  }
  for (std::size_t r = 0; r < profile.Relays; ++r) {
    Require(fs.Contents("/out/" + RelayFileName(r)).size() == records * 7);
  }
  const bool grv300 = profile.DeviceType == 89;
  if (!grv300) Require(records == result.ExportedCells);
  if (grv300) Require(records >= result.ExportedCells && records <= 16u * result.ExportedCells);

  // Every exported line has the type's length; in detailed mode the rest are invalid-cell lines of 31 bytes.
  const std::size_t line = grv300 ? 121 : 35 + 20u * profile.Channels + 7 + 3u * profile.Relays + 2;
  const std::size_t listing = fs.Contents("/out/All_Chan.txt").size();
  Require(listing >= records * line);
  Require(detailed ? (listing - records * line) % 31 == 0 : listing == records * line);

  const std::uint32_t entries = result.OverlapCount < 20 ? result.OverlapCount : 20;
  Require(result.OverlapText.size() == entries * 59u);
}

}  // namespace ar4::fuzz
