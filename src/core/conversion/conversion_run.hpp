#pragma once
/// The conversion run: bounds, target, folder tree, optional re-ordering, export, closing every output
/// file exactly once, and the overlap warning. Every failure inside ends with "Ошибки".

#include <filesystem>
#include <string>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
#include "core/export/export_walk.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/sort.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"

namespace ar4 {

class OutputFileSystem;

/// How a run ended.
enum class RunOutcome {
  kExported,         // the export finished and every file was closed and published
  kBrowserCancelled, // nothing created, nothing shown
  kFolderFailed,     // a level of the folder tree could not be created (its message was shown)
  kFailed,           // "Ошибки" was shown; the files of the folder are those from before the run
  kCancelled,        // stopped on the front-end's request, nothing shown; the files are those from before
};

/// Thrown out of the pacer's breath when the front-end asks to stop (UserInterface::CancelRequested).
struct ConversionCancelled {};

struct RunResult {
  RunOutcome Outcome = RunOutcome::kFailed;
  std::filesystem::path OutputFolder;  // with its trailing separator, once built
};

/// The bounds of the export walk for the interval dialog's choice (list mode or date-range mode).
ExportBounds BoundsOfChoice(const IntervalList& intervals, const IntervalChoice& choice, const RingGeometry& ring);

/// Whether the run asks "Сортировать по дате?": in date-range mode when the list has more than one item.
bool AsksSortQuestion(const IntervalList& intervals, const IntervalChoice& choice);

/// The re-ordering by date: the runs merged into the SortBuffer and copied over the MainBlock; the walk then
/// starts at the first slot and goes once around the ring.
void ReorderMainBlockByDate(ArchiveBuffers& buffers, IntervalList& intervals, const RingGeometry& ring,
                            ExportBounds& bounds, const SortProgress& progress, Pacer& pacer);

/// The overlap warning of an export: the count line, LF CR, then the entries.
std::string OverlapWarning(const ExportResult& result);

/// Runs one conversion of the archive in `buffers` after the interval dialog was confirmed with `choice`.
RunResult RunConversion(UserInterface& ui, ArchiveBuffers& buffers, IntervalList& intervals,
                        const LoadedArchive& archive, const IntervalChoice& choice,
                        const ConversionSettings& settings, OutputFileSystem& file_system, Pacer& pacer);

}  // namespace ar4
