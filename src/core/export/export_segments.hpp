#pragma once
/// The ExportWalk cut into segments of consecutive positions. Worker threads format whole segments into
/// buffers of their own; the formatted segments are written file by file, each part on its file's turn, by
/// whichever thread is free: every file gets the segments in walk order, while two threads write different
/// files at the same time. On the turn of its listing part a segment is joined to the ones before it (the
/// overlap test across its first stamped cell). The calling thread moves the gauge and lets the front-end
/// breathe. The
/// output is byte for byte that of one walk from StartPosition to EndPosition. Internal to the export
/// library; tests choose small segments and thread counts through WalkOptions.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "core/archive/format.hpp"
#include "core/export/export_files.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/bounds.hpp"
#include "core/pacer.hpp"

namespace ar4 {

struct ExportResult;
struct SegmentTimes;

/// What one export walks over and how it lists it.
struct ExportJob {
  const std::uint8_t* MainBlock;
  RingGeometry Ring;
  const DeviceProfile& Profile;
  ExportBounds Bounds;
  ExportSettings Settings;
  /// The validation scan's verdict on the block, one word a page (bit c: cell c valid), while it still
  /// describes it; null: the walk checks every cell itself.
  const std::uint32_t* ValidCellMasks = nullptr;
};

/// About this many bytes of output per segment when the segment size is chosen by the type.
inline constexpr std::size_t kSegmentBytes = 2 * 1024 * 1024;

struct WalkOptions {
  /// Positions per segment; 0: chosen by the type (DefaultSegmentPositions).
  std::uint32_t SegmentPositions = 0;
  /// Threads that format and write segments while the calling thread follows them; 0: the calling thread
  /// does it all; below 0: DefaultWorkerCount(). A walk of one segment uses none.
  int Workers = -1;
  /// Segments being formatted or waiting to be written at one time, each with its own buffers; 0: one per
  /// thread that formats (each thread then keeps using the same buffers).
  std::uint32_t Contexts = 0;
};

/// Two worker threads on a machine with two cores or more, else none (the calling thread formats).
int DefaultWorkerCount();

/// Positions per segment for a type: as many as keep the largest possible output of a segment near
/// kSegmentBytes.
std::uint32_t DefaultSegmentPositions(const DeviceProfile& profile);

/// Number of positions the walk visits: from StartPosition up to the one before EndPosition, the whole
/// ring when the two are equal.
std::uint64_t WalkLength(const RingGeometry& ring, const ExportBounds& bounds);

/// The walk of RunExport after its inputs are checked and the files are open: every segment written to
/// `files` in walk order, one segment at a time. Only the calling thread calls `gauge` and `pacer`; no thread
/// outlives the call, also when a write fails (ExportError) or a callback throws.
ExportResult ExportWalk(const ExportJob& job, ExportFiles& files, const GaugeCallback& gauge, Pacer& pacer,
                        const WalkOptions& options);

/// RunExport with the walk cut and run as `options` say.
ExportResult RunExportWith(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                           const ExportBounds& bounds, const ExportSettings& settings,
                           const std::filesystem::path& output_folder, ExportFiles& files,
                           OutputFileSystem& file_system, const GaugeCallback& gauge, Pacer& pacer,
                           const WalkOptions& options, const std::uint32_t* valid_masks = nullptr);

/// Joins a segment to the ones before it: its first stamped cell is an overlap when it is earlier than
/// `previous_stamp` (the last stamp exported before the segment), and then its listing line gets the
/// letter "A"; the overlaps are counted and listed in walk order. `previous_stamp` becomes the segment's
/// last stamp.
void JoinSegmentTimes(const SegmentTimes& times, std::uint32_t& previous_stamp, ExportResult& result);

}  // namespace ar4
