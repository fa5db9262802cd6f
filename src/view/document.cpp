#include "view/document.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "core/archive/codecs.hpp"
#include "core/archive/cp1251.hpp"
#include "core/archive/report.hpp"
#include "core/pacer.hpp"

namespace ar4::view {
namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// The report as the command line prints it: Windows-1251 to UTF-8, every CR a line end.
std::string ReportUtf8(const std::string& cp1251) {
  std::string text = Cp1251ToUtf8(cp1251);
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

/// Everything the date range of the conversion can take, 1 January 2000 to 31 December 2063, once around
/// the ring from the MinDate cell: DateRangeBounds of those days.
ExportBounds WholeArchiveBounds(CellPosition min_date_cell) {
  IntervalList list;
  list.Entries[0].FirstPage = min_date_cell.Page;
  list.Entries[0].FirstCell = min_date_cell.Cell;
  return DateRangeBounds(list, {1, 1, 2000}, {31, 12, 2063});
}

}  // namespace

std::string TimeText(double seconds) {
  const std::uint32_t stamp = SecondsToPacked(seconds);
  if (stamp == 0xFFFFFFFFu) return "----  ----";
  const auto f = PackedToFields(stamp);
  char text[40];
  const double fraction = seconds - std::floor(seconds);
  const int ms = static_cast<int>(std::lround(fraction * 1000));
  if (ms > 0 && ms < 1000) {
    std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u.%03d", f[2], f[1], 2000u + f[0], f[3], f[4], f[5], ms);
  } else {
    std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", f[2], f[1], 2000u + f[0], f[3], f[4], f[5]);
  }
  return text;
}

Document::Document() : intervals_(std::make_unique<IntervalList>()) {}

void Document::Close() {
  kind_ = SourceKind::kNone;
  path_.clear();
  archive_ = LoadedArchive{};
  scan_ = ScanResult{};
  report_.clear();
  run_texts_.clear();
  runs_.clear();
  selection_ = Selection{};
  series_.Clear();
  intervals_->ItemCount = 0;
}

OpenResult Document::OpenArchive(const std::filesystem::path& path) {
  const SourceKind previous_kind = kind_;
  const std::filesystem::path previous = path_;
  const Selection kept = selection_;
  const LoadStatus status = Load(path);
  if (status == LoadStatus::kLoaded || status == LoadStatus::kUnknownType) return {true, {}};
  // The loading read the rejected file into the buffers: the archive shown before is read again, or
  // nothing is shown when that fails too.
  if (previous_kind == SourceKind::kArchive) {
    const LoadStatus again = Load(previous);
    if (again == LoadStatus::kLoaded || again == LoadStatus::kUnknownType) {
      if (kept.Mode != Selection::Kind::kAll) Select(kept);
    } else {
      Close();
    }
  }
  return {false, std::string(LoadStatusMessage(status))};
}

LoadStatus Document::Load(const std::filesystem::path& path) {
  const auto start = std::chrono::steady_clock::now();
  LoadedArchive archive;
  LoadStatus status;
  try {
    status = LoadArchive(path, buffers_, archive);
  } catch (...) {
    status = LoadStatus::kReadError;
  }
  if (status != LoadStatus::kLoaded && status != LoadStatus::kUnknownType) {
    if (kind_ == SourceKind::kArchive) Close();  // the buffers no longer hold it
    return status;
  }
  Close();
  kind_ = SourceKind::kArchive;
  path_ = path;
  archive_ = archive;
  std::string report = ReportHeaderLines(buffers_.ArchiveHeader.data(), false);
  selection_ = Selection{};
  gather_ms_ = 0;
  if (status == LoadStatus::kLoaded) {
    scan_ = ValidationScan(buffers_.MainBlock.get(), archive_.PageCount, *archive_.Profile);
    report += ReportClosingLines(scan_, false);
    const RingGeometry ring = RingGeometry::Of(*archive_.Profile, archive_.PageCount);
    // The overlap analysis and the gathering of the whole archive both only read the main block, and the
    // whole archive's bounds need nothing of the analysis but where its walk starts (entry 0 begins at the
    // scan's MinDate cell): the two run side by side.
    std::thread analysis([&] {
      Pacer pacer;
      AnalizInterval(buffers_.MainBlock.get(), ring, scan_.StartPosition, *intervals_, pacer);
    });
    const auto gather_start = std::chrono::steady_clock::now();
    try {
      GatherPlotSeries(buffers_.MainBlock.get(), ring, *archive_.Profile, WholeArchiveBounds(scan_.StartPosition), series_);
    } catch (...) {
      analysis.join();
      throw;
    }
    gather_ms_ = MillisecondsSince(gather_start);
    analysis.join();
    if (buffers_.ArchivePagesLost()) {  // the file went short or unreadable while it was read
      Close();
      return LoadStatus::kReadError;
    }
    if (intervals_->ItemCount == 0) series_.Clear();  // nothing to convert, nothing to show
    for (std::uint32_t k = 0; k < intervals_->ItemCount; ++k) {
      const IntervalEntry& e = intervals_->Entries[k];
      run_texts_.push_back(IntervalItemText(e));
      runs_.push_back({PackedToSeconds(e.FirstStamp), PackedToSeconds(e.LastStamp)});
    }
  }
  report_ = ReportUtf8(report);
  load_ms_ = MillisecondsSince(start);
  return status;
}

OpenResult Document::OpenFolder(const std::filesystem::path& path) {
  const auto start = std::chrono::steady_clock::now();
  PlotSeries series;
  ConvertedFolderSummary summary;
  bool ok = false;
  try {
    ok = ReadConvertedFolder(path, series, summary);
  } catch (...) {
    ok = false;
  }
  if (!ok) return {false, "no channel file (Chan1.pen ...) can be read in this folder"};
  Close();
  kind_ = SourceKind::kFolder;
  path_ = path;
  folder_ = summary;
  series_ = std::move(series);
  BuildRunsFromStretches();
  load_ms_ = MillisecondsSince(start);
  gather_ms_ = 0;
  return {true, {}};
}

void Document::BuildRunsFromStretches() {
  const auto& starts = series_.StretchStarts;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::uint32_t first = starts[k];
    const std::uint32_t last = (k + 1 < starts.size() ? starts[k + 1] : series_.Rows()) - 1;
    runs_.push_back({series_.Times[first], series_.Times[last]});
    run_texts_.push_back("   " + TimeText(series_.Times[first]) + "    -    " + TimeText(series_.Times[last]));
  }
}

ExportBounds Document::SelectionBounds() const {
  const RingGeometry ring = RingGeometry::Of(*archive_.Profile, archive_.PageCount);
  switch (selection_.Mode) {
    case Selection::Kind::kRun:
      return ListModeBounds(*intervals_, selection_.Run, ring);
    case Selection::Kind::kRange: {
      // The whole ring once from the MinDate cell, as a date range does, with the exact times.
      ExportBounds bounds = DateRangeBounds(*intervals_, {1, 1, 2000}, {31, 12, 2063});
      bounds.StartStamp = SecondsToPacked(std::max(0.0, std::ceil(selection_.From)));
      const std::uint32_t end = SecondsToPacked(std::floor(selection_.To));
      bounds.EndStamp = end == 0xFFFFFFFFu ? 0xFFFFFFFEu : end;
      if (bounds.StartStamp == 0xFFFFFFFFu) bounds.EndStamp = 0;  // nothing
      return bounds;
    }
    case Selection::Kind::kAll:
      break;
  }
  return WholeArchiveBounds({intervals_->Entries[0].FirstPage, intervals_->Entries[0].FirstCell});
}

void Document::Select(const Selection& selection) {
  selection_ = selection;
  if (kind_ != SourceKind::kArchive) return;
  const auto start = std::chrono::steady_clock::now();
  series_.Clear();
  if (archive_.Profile != nullptr && intervals_->ItemCount > 0) {
    if (selection_.Mode == Selection::Kind::kRun && selection_.Run >= intervals_->ItemCount) selection_ = Selection{};
    GatherPlotSeries(buffers_.MainBlock.get(), RingGeometry::Of(*archive_.Profile, archive_.PageCount), *archive_.Profile,
                     SelectionBounds(), series_);
  }
  gather_ms_ = MillisecondsSince(start);
}

std::vector<std::string> Document::ChannelNames() const {
  std::vector<std::string> names;
  if (kind_ == SourceKind::kFolder) {
    for (const std::string& file : folder_.ChannelFiles) names.push_back(file.substr(0, file.size() - 4));
  } else {
    for (std::uint32_t g = 0; g < series_.Channels; ++g) names.push_back("Chan" + std::to_string(g + 1));
  }
  return names;
}

}  // namespace ar4::view
