// Times the validation scan over full-size main blocks (131072 pages, 32 MiB) of types 73 and 76, the
// largest and the most numerous cells per megabyte among the common types, plus 89 with its repairs.
// Prints the best of several runs as MB/s and as milliseconds per 32 MiB, for the block scanned as one
// stretch on one thread and as ValidationScan cuts it (two stretches on two threads where there are two
// processors). Target: at least 1 GB/s.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/format.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"

namespace {

constexpr int kRuns = 15;

void BenchType(ar4::ArchiveBuffers& buffers, std::uint16_t device_type, double damage) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = device_type;
  options.Header.PageCount = ar4::kMaxPageCount;
  options.MarkerDamage = damage;
  options.ChecksumDamage = damage;
  options.FlaggedChannels = 0.05;
  options.SpecialValues = 0.02;
  const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);

  ar4::LoadedArchive loaded;
  if (ar4::LoadArchiveBytes(file, buffers, loaded) != ar4::LoadStatus::kLoaded) {
    std::printf("type %u: the generated archive did not load\n", device_type);
    return;
  }
  const std::uint8_t* pristine = file.data() + ar4::kHeaderSize;

  // parts 0: as ValidationScan chooses.
  for (const unsigned parts : {1u, 0u}) {
    double best_seconds = 1e9;
    ar4::ScanResult result;
    for (int run = 0; run < kRuns; ++run) {
      // Type 89 repairs values in place: every run starts from the file's bytes.
      std::memcpy(buffers.MainBlock.get(), pristine, ar4::kMainBlockCapacity);
      const auto start = std::chrono::steady_clock::now();
      result = parts == 0 ? ar4::ValidationScan(buffers.MainBlock.get(), loaded.PageCount, *loaded.Profile)
                          : ar4::ValidationScanInParts(buffers.MainBlock.get(), loaded.PageCount, *loaded.Profile,
                                                       nullptr, parts);
      const auto stop = std::chrono::steady_clock::now();
      best_seconds = std::min(best_seconds, std::chrono::duration<double>(stop - start).count());
    }
    const double megabytes = static_cast<double>(ar4::kMainBlockCapacity) / 1e6;
    std::printf("type %2u (damage %4.1f%%, %s): %8.0f MB/s  %6.2f ms per 32 MiB  (%u valid cells, %u off-scale)\n",
                device_type, damage * 100.0, parts == 0 ? "default " : "1 thread", megabytes / best_seconds,
                best_seconds * 1e3, result.Statistics.ValidCells, result.Statistics.OffScaleValues);
  }
}

}  // namespace

int main() {
  ar4::ArchiveBuffers buffers;
  for (const std::uint16_t type : {73, 76}) {
    BenchType(buffers, type, 0.0);
    BenchType(buffers, type, 0.02);
  }
  BenchType(buffers, 89, 0.0);
  return 0;
}
