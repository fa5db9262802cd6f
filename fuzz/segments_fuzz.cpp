// Fuzz target: the export cut into tiny segments that worker threads format and write, file by file on
// each file's turn, compared byte for byte with the export in one piece. The inputs of the other targets
// (at most 63 pages) always make one segment at the default size, so only this target reaches the writing
// of several threads, the joining of segments and the order of the files' turns.
//
// Input: as for convert_fuzz (fuzz_conversion.hpp). The cut comes from the input's size: 1 to 7 positions
// a segment, one or two worker threads, 0 to 3 segment contexts (0: one per thread), files without a write
// unit or with one of 16 or 64 bytes (every write then whole units at multiples of it, but the last).

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/export/export_segments.hpp"
#include "fuzz_conversion.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ar4::fuzz::Require;
  static ar4::ExportFiles& files = *new ar4::ExportFiles();
  const std::optional<ar4::fuzz::PreparedExport> prepared = ar4::fuzz::PrepareExport(data, size);
  if (!prepared) return 0;
  const ar4::DeviceProfile& profile = *prepared->Profile;
  const ar4::ExportSettings settings{prepared->Detailed, ','};
  ar4::Pacer pacer;

  // In one piece, on the calling thread.
  ar4::MemoryFileSystem whole;
  whole.AddDirectory("/out");
  const ar4::ExportResult expected =
      ar4::RunExportWith(prepared->MainBlock, prepared->Ring, profile, prepared->Bounds, settings, "/out/", files,
                         whole, {}, pacer, ar4::WalkOptions{0, 0, 0});
  Require(files.Commit());

  // Cut into tiny segments for worker threads.
  ar4::WalkOptions cut;
  cut.SegmentPositions = 1 + static_cast<std::uint32_t>(size % 7);
  cut.Workers = 1 + static_cast<int>((size / 7) % 2);
  cut.Contexts = static_cast<std::uint32_t>((size / 14) % 4);
  ar4::MemoryFileSystem pieces;
  pieces.AddDirectory("/out");
  pieces.FileWriteUnit = std::array<std::size_t, 3>{0, 16, 64}[(size / 56) % 3];
  int last_percent = 0;
  const ar4::ExportResult result = ar4::RunExportWith(
      prepared->MainBlock, prepared->Ring, profile, prepared->Bounds, settings, "/out/", files, pieces,
      [&last_percent](int percent) {
        Require(percent > last_percent && percent <= 100);
        last_percent = percent;
      },
      pacer, cut);
  Require(files.Commit());

  ar4::fuzz::CheckOutput(pieces, profile, result, prepared->Detailed);
  Require(pieces.Files == whole.Files);
  Require(pieces.MisalignedWrites == 0);
  Require(pieces.CreationOrder == whole.CreationOrder);
  Require(result.OverlapCount == expected.OverlapCount && result.OverlapText == expected.OverlapText &&
          result.ExportedCells == expected.ExportedCells);
  return 0;
}
