#include "cli/archive_loading.hpp"

#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "core/archive/cp1251.hpp"
#include "core/archive/report.hpp"

namespace ar4::cli {

std::optional<LoadedAndScanned> LoadForCli(const std::filesystem::path& path, bool detailed,
                                           ArchiveBuffers& buffers, std::ostream& err, int& exit_code) {
  LoadedAndScanned result;
  result.Status = LoadArchive(path, buffers, result.Archive);
  if (result.Status != LoadStatus::kLoaded && result.Status != LoadStatus::kUnknownType) {
    err << LoadStatusMessage(result.Status) << '\n';
    err.flush();
    exit_code = kExitFailure;
    return std::nullopt;
  }
  result.Report = ReportHeaderLines(buffers.ArchiveHeader.data(), detailed);
  if (result.Status == LoadStatus::kLoaded) {
    result.Scan = ValidationScan(buffers.MainBlock.get(), result.Archive.PageCount, *result.Archive.Profile,
                                 buffers.ValidCellMasks.get());
    buffers.ValidCellMasksCurrent = true;
    if (ArchiveLostSinceLoading(buffers, err)) {
      exit_code = kExitFailure;
      return std::nullopt;
    }
    result.Report += ReportClosingLines(*result.Scan, detailed);
  }
  exit_code = kExitSuccess;
  return result;
}

bool ArchiveLostSinceLoading(const ArchiveBuffers& buffers, std::ostream& err) {
  if (!buffers.ArchivePagesLost()) return false;
  err << LoadStatusMessage(LoadStatus::kReadError) << '\n';
  err.flush();
  return true;
}

void PrintReportUtf8(std::ostream& out, std::string_view cp1251_report) {
  PrintText(out, Cp1251ToUtf8(cp1251_report));
}

}  // namespace ar4::cli
