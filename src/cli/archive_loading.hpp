#pragma once
/// The first half of every command: the archive read and checked as the conversion driver does it, the
/// validation scan run and the report built. Shared by the commands that start from an archive.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"

namespace ar4::cli {

/// An archive that passed the signature test: a known type with its scan, or an unrecognised type.
struct LoadedAndScanned {
  LoadStatus Status = LoadStatus::kLoaded;  // kLoaded or kUnknownType
  LoadedArchive Archive;
  std::optional<ScanResult> Scan;  // for kLoaded only
  /// The ArchiveReport in Windows-1251 with CR line ends: the header lines, and the closing lines after
  /// a scan (an unrecognised type has the header lines only).
  std::string Report;

  bool Scanned() const { return Scan.has_value(); }
};

/// Loads `path` into `buffers`, scans a known type and builds the report. A rejected file (wrong size,
/// wrong format, cannot be read, also a file that went unreadable while it was scanned) gets its fixed
/// message on `err`, `exit_code` 1 and no result.
std::optional<LoadedAndScanned> LoadForCli(const std::filesystem::path& path, bool detailed,
                                           ArchiveBuffers& buffers, std::ostream& err, int& exit_code);

/// True, with the read error's fixed message on `err`, when pages of the archive in `buffers` went
/// unreadable since it was loaded (the file was cut short, its device failed): nothing made from it since
/// may be printed.
bool ArchiveLostSinceLoading(const ArchiveBuffers& buffers, std::ostream& err);

/// Prints a Windows-1251 report in UTF-8 with every CR turned into LF.
void PrintReportUtf8(std::ostream& out, std::string_view cp1251_report);

}  // namespace ar4::cli
