#include <random>
#include <string>
#include <system_error>

#include "core/export/export_segments.hpp"
#include "core/export/walk_steps.hpp"
#include "core/table/table_writers.hpp"
#include "core/table/xlsx_table.hpp"

namespace ar4 {
namespace {

/// A name beside `target` that no other run picks: ".NAME.", eight hexadecimal digits, ".part".
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::random_device random;
  std::uint32_t bits = random();
  std::string tag(8, '0');
  for (char& c : tag) {
    c = kDigits[bits & 0x0Fu];
    bits >>= 4;
  }
  std::string name(1, '.');
  name.append(PathToUtf8(target.filename())).append(1, '.').append(tag).append(".part");
  std::filesystem::path path = target;
  path.replace_filename(PathFromUtf8(name));
  return path;
}

void RemoveQuietly(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

template <std::size_t kIndex>
std::uint32_t CountRunCells(const TableSelection& selection, const ExportBounds& bounds) {
  std::uint32_t cells = 0;
  WalkSteps<kIndex>(
      selection.MainBlock, selection.Ring, bounds, 0, WalkLength(selection.Ring, bounds), [](CellPosition) {},
      [&](const std::uint8_t*) { ++cells; }, [] {});
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
  // A device or a pipe (/dev/stdout, a FIFO) is written straight into: renaming a file over it would
  // replace the device itself.
  std::error_code status_error;
  const std::filesystem::file_type type = std::filesystem::status(target, status_error).type();
  const bool special = type == std::filesystem::file_type::character || type == std::filesystem::file_type::block ||
                       type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket;
  const std::filesystem::path temporary = special ? target : TemporaryNameBeside(target);
  try {
    ExportResult result;
    if (options.Format == TableFormat::kXlsx) {
      result = WriteXlsxTable(selection, options, context, temporary, gauge);
    } else {
      DiskFileSystem disk;
      std::unique_ptr<OutputFile> file = disk.CreateOutputFile(temporary);
      try {
        result = WriteCsvTable(selection, options, *file, gauge);
      } catch (...) {
        try {
          file->Close();
        } catch (const ExportError&) {
        }
        throw;
      }
      file->Close();
    }
    if (!special) {
      std::error_code error;
      std::filesystem::rename(temporary, target, error);
      if (error) throw ExportError("the table cannot be put in place: " + error.message());
    }
    return result;
  } catch (...) {
    if (!special) RemoveQuietly(temporary);
    throw;
  }
}

}  // namespace ar4
