// Fuzz target: arbitrary bytes through a whole conversion without a disk: reading the archive, the
// validation scan, the overlap analysis, the bounds of either mode, the optional re-ordering by date and the
// export of every type into a file system held in memory.
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
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

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

namespace {

using ar4::fuzz::Require;
using ar4::fuzz::RecomputeCheckBytes;

/// The files of the export agree with each other and with the result.
void CheckOutput(const ar4::MemoryFileSystem& fs, const ar4::DeviceProfile& profile, const ar4::ExportResult& result,
                 bool detailed) {
  Require(fs.OpenFiles == 0 && fs.DoubleCloses == 0);
  Require(fs.CreationOrder.size() == 2u + profile.Channels + profile.Relays);
  const std::size_t records = fs.Contents("/out/Chan1.pen").size() / 15;
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    Require(fs.Contents("/out/" + ar4::ChannelFileName(g)).size() == records * 15);
  }
  for (std::size_t r = 0; r < profile.Relays; ++r) {
    Require(fs.Contents("/out/" + ar4::RelayFileName(r)).size() == records * 7);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One pair of 32 MiB buffers for the whole process, as in the programs.
  static ar4::ArchiveBuffers& buffers = *new ar4::ArchiveBuffers();
  static ar4::IntervalList& intervals = *new ar4::IntervalList();
  // The output buffers too are allocated once and reused by every export.
  static ar4::ExportFiles& files = *new ar4::ExportFiles();
  if (size == 0) return 0;
  const std::uint8_t switches = data[0];
  const bool fix_check_bytes = (switches & 1u) != 0;
  const bool detailed = (switches & 2u) != 0;
  const bool date_range = (switches & 4u) != 0;
  const bool sort = (switches & 8u) != 0;
  const unsigned choice = switches >> 4;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  ar4::LoadedArchive loaded;
  if (ar4::LoadArchiveBytes(file, buffers, loaded) != ar4::LoadStatus::kLoaded) return 0;
  const ar4::DeviceProfile& profile = *loaded.Profile;
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(profile, loaded.PageCount);
  std::uint8_t* main_block = buffers.MainBlock.get();
  if (fix_check_bytes) RecomputeCheckBytes(main_block, ring);

  const ar4::ScanResult scan = ar4::ValidationScan(main_block, loaded.PageCount, profile);
  ar4::Pacer pacer;
  ar4::AnalizInterval(main_block, ring, scan.StartPosition, intervals, pacer);
  if (intervals.ItemCount == 0) return 0;  // nothing to convert: the driver stops after the report

  ar4::ExportBounds bounds;
  if (date_range) {
    // Narrower ranges for higher choices: from 2000 + choice to 2063 - choice.
    const int first_year = 2000 + static_cast<int>(choice) * 2;
    bounds = ar4::DateRangeBounds(intervals, {1, 1, first_year}, {31, 12, 2063 - static_cast<int>(choice)});
    if (sort && intervals.ItemCount > 1) {
      ar4::SortirBufMinMaxDate(main_block, buffers.SortBuffer.get(), ring, intervals, {}, pacer);
      // The re-ordered block replaces the main block; the walk starts at its first slot.
      std::memcpy(main_block, buffers.SortBuffer.get(), std::size_t{loaded.PageCount} * ar4::kPageSize);
      bounds.StartPosition = {};
      bounds.EndPosition = {};
    }
  } else {
    bounds = ar4::ListModeBounds(intervals, choice % intervals.ItemCount, ring);
  }

  ar4::MemoryFileSystem fs;
  fs.AddDirectory("/out");
  int last_percent = 0;
  const ar4::ExportResult result = ar4::RunExport(
      main_block, ring, profile, bounds, {detailed, ','}, "/out/", files, fs,
      [&last_percent](int percent) {
        Require(percent > last_percent && percent <= 100);
        last_percent = percent;
      },
      pacer);
  Require(files.Commit());
  CheckOutput(fs, profile, result, detailed);
  if (bounds.StartPosition == bounds.EndPosition) Require(last_percent == 100);
  return 0;
}
