#include <cstdio>
#include <utility>
#include <string>
#include <system_error>

#include "core/export/export_segments.hpp"
#include "core/export/walk_steps.hpp"
#include "core/table/table_writers.hpp"
#include "core/table/xlsx_table.hpp"

namespace ar4 {
namespace {

/// A device or a pipe named as the table's file (/dev/stdout, a FIFO) is written straight into: renaming a
/// file over it would replace the device itself. Every write and the close are checked.
class DeviceFile final : public OutputFile {
 public:
  explicit DeviceFile(const std::filesystem::path& path) : file_(std::fopen(PathToUtf8(path).c_str(), "wb")) {
    if (file_ == nullptr) throw ExportError("cannot open " + PathToUtf8(path));
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;
  ~DeviceFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  void Write(const void* data, std::size_t size) override {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) throw ExportError("cannot write the table");
  }
  void Close() override {
    if (file_ == nullptr) return;
    std::FILE* file = std::exchange(file_, nullptr);
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) throw ExportError("cannot close the table");
  }

 private:
  std::FILE* file_;
};

ExportResult WriteCsvInto(OutputFile& file, const TableSelection& selection, const TableOptions& options,
                          const GaugeCallback& gauge) {
  ExportResult result;
  try {
    result = WriteCsvTable(selection, options, file, gauge);
  } catch (...) {
    try {
      file.Close();
    } catch (const ExportError&) {
    }
    throw;
  }
  file.Close();
  return result;
}

template <std::size_t kIndex>
std::uint32_t CountRunCells(const TableSelection& selection, const ExportBounds& bounds) {
  std::uint32_t cells = 0;
  WalkSteps<kIndex>(
      selection.MainBlock, selection.Ring, bounds, 0, WalkLength(selection.Ring, bounds), [](CellPosition) {},
      [&](const std::uint8_t*) { ++cells; }, [] {}, selection.ValidCellMasks);
  return cells;
}

template <std::size_t... kIndex>
constexpr auto RunCounters(std::index_sequence<kIndex...>) {
  return std::array<std::uint32_t (*)(const TableSelection&, const ExportBounds&), sizeof...(kIndex)>{
      &CountRunCells<kIndex>...};
}

}  // namespace

std::vector<TableRun> TableRuns(const TableSelection& selection, const IntervalList& intervals) {
  static constexpr auto kCounters = RunCounters(std::make_index_sequence<kDeviceProfiles.size()>());
  std::vector<TableRun> runs;
  if (selection.MainBlock == nullptr || selection.Profile == nullptr ||
      FindDeviceProfile(selection.Profile->DeviceType) != selection.Profile) {
    return runs;
  }
  const std::size_t index = static_cast<std::size_t>(selection.Profile - kDeviceProfiles.data());
  runs.reserve(intervals.ItemCount);
  for (std::uint32_t k = 0; k < intervals.ItemCount; ++k) {
    const IntervalEntry& entry = intervals.Entries[k];
    const ExportBounds bounds = ListModeBounds(intervals, k, selection.Ring);
    runs.push_back({entry.FirstStamp, entry.LastStamp, kCounters[index](selection, bounds)});
  }
  return runs;
}

ExportResult WriteTableFile(const TableSelection& selection, const TableOptions& options,
                            const TableContext& context, const std::filesystem::path& target,
                            const GaugeCallback& gauge) {
  std::error_code status_error;
  const std::filesystem::file_type type = std::filesystem::status(target, status_error).type();
  const bool special = type == std::filesystem::file_type::character || type == std::filesystem::file_type::block ||
                       type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket;
  if (special) {
    if (options.Format == TableFormat::kXlsx) return WriteXlsxTable(selection, options, context, target, gauge);
    DeviceFile file(target);
    return WriteCsvInto(file, selection, options, gauge);
  }
  // Written under the export's temporary name beside the target (created exclusively, never through a
  // symbolic link) and given the final name only when complete.
  DiskFileSystem disk;
  try {
    ExportResult result;
    if (options.Format == TableFormat::kXlsx) {
      disk.DiscardOutputFile(target);
      result = WriteXlsxTable(selection, options, context, TemporaryPath(target), gauge);
    } else {
      std::unique_ptr<OutputFile> file = disk.CreateOutputFile(target);
      result = WriteCsvInto(*file, selection, options, gauge);
    }
    if (!disk.CanReplace(target)) throw ExportError("the table's name is taken by a folder");
    disk.PublishOutputFile(target);
    return result;
  } catch (...) {
    disk.DiscardOutputFile(target);
    throw;
  }
}

}  // namespace ar4
