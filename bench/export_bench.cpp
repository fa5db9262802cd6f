// Times a whole export of a full-size type-73 archive (131072 pages, every one of its 1179648 cells valid)
// in date-range mode over the whole ring, on the disk under the temporary folder, against dd writing the
// same number of bytes to the same file system in the same run. Neither syncs: both measure writing into
// the file system as a program sees it. Target: the export takes at most twice the dd time. The export
// formats and writes on worker threads, each writing the segments it formatted, in walk order; the CPU
// figures add up all threads.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/export_segments.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/file_system.hpp"
#include "core/export/folders.hpp"
#include "core/export/memory_file_system.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/overlap.hpp"

namespace {

constexpr int kRuns = 5;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

/// CPU seconds (user and system) used so far by this process, or by its finished children.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::uintmax_t FolderBytes(const std::filesystem::path& folder) {
  std::uintmax_t total = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  return total;
}

}  // namespace

int main() {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 73;
  options.Header.PageCount = ar4::kMaxPageCount;
  options.Header.CreationDate = 0x3C000000;  // 1 January 2015
  options.FlaggedChannels = 0.01;
  const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);

  ar4::ArchiveBuffers buffers;
  ar4::LoadedArchive loaded;
  if (ar4::LoadArchiveBytes(file, buffers, loaded) != ar4::LoadStatus::kLoaded) {
    std::printf("the generated archive did not load\n");
    return 1;
  }
  const ar4::ScanResult scan = ar4::ValidationScan(buffers.MainBlock.get(), loaded.PageCount, *loaded.Profile);
  const ar4::RingGeometry ring = ar4::RingGeometry::Of(*loaded.Profile, loaded.PageCount);
  ar4::IntervalList list;
  ar4::Pacer pacer;
  ar4::AnalizInterval(buffers.MainBlock.get(), ring, scan.StartPosition, list, pacer);
  const ar4::ExportBounds bounds = ar4::DateRangeBounds(list, {1, 1, 2000}, {31, 12, 2063});

  // The export's own work: the same walk into a file system that only counts the bytes.
  double best_memory = 1e9;
  double best_memory_cpu = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    ar4::MemoryFileSystem memory;
    memory.KeepContents = false;
    memory.AddDirectory("/out");
    ar4::ExportFiles files;
    const double cpu_start = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    ar4::RunExport(buffers.MainBlock.get(), ring, *loaded.Profile, bounds, {false, '.'}, "/out/", files, memory, {},
                   pacer);
    files.Commit();
    best_memory = std::min(best_memory, Seconds(std::chrono::steady_clock::now() - start));
    best_memory_cpu = std::min(best_memory_cpu, CpuSeconds(RUSAGE_SELF) - cpu_start);
  }

  std::random_device random;
  const auto root = std::filesystem::temp_directory_path() / ("ar4_export_bench_" + std::to_string(random()));
  std::filesystem::create_directories(root);
  const auto dd_file = root / "dd.out";

  ar4::DiskFileSystem fs;
  const ar4::ExportSettings settings{false, ar4::UserDecimalSeparator()};
  double best_export = 1e9;
  double best_dd = 1e9;
  double best_export_cpu = 1e9;
  double best_dd_cpu = 1e9;
  std::uint32_t exported = 0;
  std::uintmax_t bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::filesystem::remove_all(root / "ARHrep");
    const double cpu_start = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    const auto folder = ar4::BuildOutputFolder(ar4::OutputTarget::kChosenFolder, root, *loaded.Profile,
                                               buffers.ArchiveHeader.data(), fs);
    if (!folder.Ok()) {
      std::printf("the output folder could not be built under %s\n", root.string().c_str());
      std::filesystem::remove_all(root);
      return 1;
    }
    ar4::ExportFiles files;
    const ar4::ExportResult result = ar4::RunExport(buffers.MainBlock.get(), ring, *loaded.Profile, bounds, settings,
                                                    folder.OutputFolder, files, fs, {}, pacer);
    const bool closed = files.Commit();
    const auto stop = std::chrono::steady_clock::now();
    best_export_cpu = std::min(best_export_cpu, CpuSeconds(RUSAGE_SELF) - cpu_start);
    if (!closed) {
      std::printf("closing the output files failed\n");
      std::filesystem::remove_all(root);
      return 1;
    }
    best_export = std::min(best_export, Seconds(stop - start));
    exported = result.ExportedCells;
    bytes = FolderBytes(root / "ARHrep");

    // dd writes the same amount, rounded up to whole MiB, into a file it creates anew.
    std::filesystem::remove(dd_file);
    const std::uintmax_t mebibytes = (bytes + (1u << 20) - 1) >> 20;
    const std::string command = "dd if=/dev/zero of='" + dd_file.string() + "' bs=1M count=" +
                                std::to_string(mebibytes) + " status=none";
    const double dd_cpu_start = CpuSeconds(RUSAGE_CHILDREN);
    const auto dd_start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto dd_stop = std::chrono::steady_clock::now();
    best_dd_cpu = std::min(best_dd_cpu, CpuSeconds(RUSAGE_CHILDREN) - dd_cpu_start);
    if (status != 0) {
      std::printf("dd failed (%d)\n", status);
      std::filesystem::remove_all(root);
      return 1;
    }
    best_dd = std::min(best_dd, Seconds(dd_stop - dd_start));
  }
  std::filesystem::remove_all(root);

  const double megabytes = static_cast<double>(bytes) / 1e6;
  std::printf("type 73, %u pages, %u cells exported, %.1f MB written; best of %d runs\n", loaded.PageCount, exported,
              megabytes, kRuns);
  std::printf("threads: %d formatting and writing in turn (segments of %u positions)\n",
              ar4::DefaultWorkerCount(), ar4::DefaultSegmentPositions(*loaded.Profile));
  std::printf("export to disk:      %7.3f s wall (%5.0f MB/s), %7.3f s CPU\n", best_export, megabytes / best_export,
              best_export_cpu);
  std::printf("export into memory:  %7.3f s wall, %7.3f s CPU (no file system: the export's own work)\n",
              best_memory, best_memory_cpu);
  std::printf("dd, same bytes:      %7.3f s wall (%5.0f MB/s), %7.3f s CPU\n", best_dd, megabytes / best_dd,
              best_dd_cpu);
  std::printf("ratio export / dd:   %.2f wall, %.2f CPU (target: at most 2)\n", best_export / best_dd,
              best_export_cpu / best_dd_cpu);
  return 0;
}
