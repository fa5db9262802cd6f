#pragma once
/// The export of one conversion: "Pen.txt", then the listing, channel and relay files opened in this order,
/// then the ExportWalk over the ring from StartPosition to EndPosition, exporting every valid cell whose time
/// stamp lies within the bounds. Types 73..76 write one record per channel and relay; type 89 one record and
/// one listing line per sample.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "core/archive/format.hpp"
#include "core/export/export_files.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/bounds.hpp"
#include "core/pacer.hpp"

namespace ar4 {

struct ExportSettings {
  bool DetailedMode = false;     // "/S": cell offsets and the lines of invalid cells in the listing
  char DecimalSeparator = '.';   // one Windows-1251 byte
};

/// Entries of OverlapText at most; later overlaps are only counted.
inline constexpr std::uint32_t kMaxOverlapEntries = 20;

struct ExportResult {
  /// Exported cells earlier than the exported cell before them.
  std::uint32_t OverlapCount = 0;
  /// For the first 20 overlaps: LF CR, the earlier cell's time text, "    -_?_-    ", this cell's time
  /// text (ASCII bytes).
  std::string OverlapText;
  /// Valid cells within the bounds that were exported.
  std::uint32_t ExportedCells = 0;
};

/// Counts an exported cell that is earlier than the one exported before it, and lists it while fewer than
/// kMaxOverlapEntries are listed.
void AddOverlap(ExportResult& result, std::uint32_t previous, std::uint32_t stamp);

/// The progress gauge: called with PagesDone x 100 div PageCount whenever that number changes.
using GaugeCallback = std::function<void(int percent)>;

/// Runs the export into `output_folder` (which already exists). `main_block` holds ring.PageCount pages;
/// the bounds must lie on the ring. The files are created under temporary names into `files` and left open
/// there for the caller to publish (ExportFiles::Commit) or remove (ExportFiles::Discard), also when this
/// throws. Throws ExportError when a file cannot be created or
/// written, and before anything is created when the profile, ring and bounds do not fit together. Large
/// walks are formatted on worker threads; `gauge`, `pacer` and the files are used on the calling thread
/// only, and no thread outlives the call. `valid_masks`, when given, is the validation scan's verdict on
/// the block (ArchiveBuffers::ValidCellMasks while current): the walk then computes no check bytes.
ExportResult RunExport(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                       const ExportBounds& bounds, const ExportSettings& settings,
                       const std::filesystem::path& output_folder, ExportFiles& files,
                       OutputFileSystem& file_system, const GaugeCallback& gauge, Pacer& pacer,
                       const std::uint32_t* valid_masks = nullptr);

/// The "Pen.txt" text for a type: per channel "ChanK.pen" CR LF, the degree sign (0xB0) "C" CR LF.
std::string PenText(const DeviceProfile& profile);

}  // namespace ar4
