#pragma once
/// Reading a converted folder back ("Pen.txt", Chan1.pen .. ChanN.pen, Rele1.rel .. ReleM.rel), however it
/// was written: damaged, short, missing or oversized files are reported, never trusted.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/plot/plot_series.hpp"

namespace ar4 {

/// Rows read at most (a full-size type-89 conversion writes 6.3 million).
inline constexpr std::uint32_t kMaxFolderRows = 8u * 1024 * 1024;

struct ConvertedFolderSummary {
  std::vector<std::string> ChannelFiles;  // in channel order
  std::vector<std::string> RelayFiles;
  bool PenTextFound = false;
  std::uint32_t Rows = 0;
  /// Problems met, one line each (UTF-8, in Russian like every text the user sees): a file's size not a whole number of records, files of different
  /// lengths, rows beyond kMaxFolderRows, a file that could not be read.
  std::vector<std::string> Problems;
};

/// True when `folder` holds "Pen.txt" or Chan1.pen.
bool IsConvertedFolder(const std::filesystem::path& folder);

/// Reads the folder into `out` (times from the channel records' TimeRecords). False when it holds no
/// channel file that can be read.
bool ReadConvertedFolder(const std::filesystem::path& folder, PlotSeries& out, ConvertedFolderSummary& summary);

}  // namespace ar4
