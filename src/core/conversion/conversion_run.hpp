#pragma once
/// The conversion run: bounds, target, folder tree, optional re-ordering, export, closing every output
/// file exactly once, and the overlap warning. Every failure inside ends with "Ошибки".

#include <filesystem>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
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

/// Runs one conversion of the archive in `buffers` after the interval dialog was confirmed with `choice`.
RunResult RunConversion(UserInterface& ui, ArchiveBuffers& buffers, IntervalList& intervals,
                        const LoadedArchive& archive, const IntervalChoice& choice,
                        const ConversionSettings& settings, OutputFileSystem& file_system, Pacer& pacer);

}  // namespace ar4
