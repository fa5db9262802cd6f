#pragma once
/// What the viewer has open: an archive (read, scanned and analysed as a conversion does it, in the
/// process's two buffers) or a converted folder, the selection and the series gathered for it. No Qt.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/overlap.hpp"
#include "core/plot/converted_folder.hpp"
#include "core/plot/plot_series.hpp"

namespace ar4::view {

enum class SourceKind { kNone, kArchive, kFolder };

/// A run on the timeline, in seconds since 2000.
struct TimelineRun {
  double From = 0;
  double To = 0;
};

/// What is selected: everything, one run of the overlap list, or a range of time.
struct Selection {
  enum class Kind { kAll, kRun, kRange } Mode = Kind::kAll;
  std::uint32_t Run = 0;
  double From = 0, To = 0;  // kRange: seconds since 2000, both included
};

struct OpenResult {
  bool Ok = false;
  /// For a rejected archive its fixed message ("Ошибочный размер файла", ...), else a description (UTF-8).
  std::string Message;
};

class Document {
 public:
  Document();

  /// Reads, checks and scans an archive, builds the overlap list and selects everything. A rejected file
  /// leaves the archive shown before as it was (read again: the loading overwrote the buffers).
  OpenResult OpenArchive(const std::filesystem::path& path);
  /// Reads a converted folder back.
  OpenResult OpenFolder(const std::filesystem::path& path);
  void Close();

  SourceKind Kind() const { return kind_; }
  const std::filesystem::path& Path() const { return path_; }
  /// The archive report as the command line prints it (UTF-8, LF line ends); empty for a folder.
  const std::string& ReportText() const { return report_; }
  /// The overlap list's item texts (an archive), or one line per stretch (a folder).
  const std::vector<std::string>& RunTexts() const { return run_texts_; }
  const std::vector<TimelineRun>& Runs() const { return runs_; }
  const LoadedArchive& Archive() const { return archive_; }
  const ConvertedFolderSummary& FolderSummary() const { return folder_; }
  const IntervalList& Intervals() const { return *intervals_; }
  ArchiveBuffers& Buffers() { return buffers_; }
  /// True for an archive of a known type with something to convert.
  bool CanConvert() const { return kind_ == SourceKind::kArchive && archive_.Profile != nullptr && intervals_->ItemCount > 0; }

  const Selection& CurrentSelection() const { return selection_; }
  /// Re-gathers the series for the selection (an archive); a folder keeps all its rows.
  void Select(const Selection& selection);
  /// The bounds of the export walk for the selection (an archive).
  ExportBounds SelectionBounds() const;

  const PlotSeries& Series() const { return series_; }
  /// Channel and relay names for the plot (UTF-8).
  std::vector<std::string> ChannelNames() const;
  /// Milliseconds of the last open: read, scan and analysis; gathering.
  double LoadMilliseconds() const { return load_ms_; }
  double GatherMilliseconds() const { return gather_ms_; }

 private:
  void BuildRunsFromStretches();
  LoadStatus Load(const std::filesystem::path& path);

  ArchiveBuffers buffers_;
  std::unique_ptr<IntervalList> intervals_;
  SourceKind kind_ = SourceKind::kNone;
  std::filesystem::path path_;
  LoadedArchive archive_;
  ScanResult scan_;
  std::string report_;
  std::vector<std::string> run_texts_;
  std::vector<TimelineRun> runs_;
  Selection selection_;
  PlotSeries series_;
  ConvertedFolderSummary folder_;
  double load_ms_ = 0, gather_ms_ = 0;
};

/// "DD.MM.YYYY hh:mm:ss" of a time on the axis, with ".mmm" when it has a fraction.
std::string TimeText(double seconds);

}  // namespace ar4::view
