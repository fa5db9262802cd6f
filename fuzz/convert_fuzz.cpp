// Fuzz target: arbitrary bytes through a whole conversion without a disk: reading the archive, the
// validation scan, the overlap analysis, the bounds of either mode, the optional re-ordering by date and the
// export of every type into a file system held in memory. Input: see fuzz_conversion.hpp.

#include <cstddef>
#include <cstdint>

#include "fuzz_conversion.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ar4::fuzz::Require;
  // The output buffers are allocated once and reused by every export.
  static ar4::ExportFiles& files = *new ar4::ExportFiles();
  const std::optional<ar4::fuzz::PreparedExport> prepared = ar4::fuzz::PrepareExport(data, size);
  if (!prepared) return 0;
  const ar4::DeviceProfile& profile = *prepared->Profile;

  ar4::MemoryFileSystem fs;
  fs.AddDirectory("/out");
  ar4::Pacer pacer;
  int last_percent = 0;
  const ar4::ExportResult result = ar4::RunExport(
      prepared->MainBlock, prepared->Ring, profile, prepared->Bounds, {prepared->Detailed, ','}, "/out/", files, fs,
      [&last_percent](int percent) {
        Require(percent > last_percent && percent <= 100);
        last_percent = percent;
      },
      pacer);
  Require(files.Commit());
  ar4::fuzz::CheckOutput(fs, profile, result, prepared->Detailed);
  if (prepared->Bounds.StartPosition == prepared->Bounds.EndPosition) Require(last_percent == 100);
  return 0;
}
