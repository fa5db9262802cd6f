#include "core/conversion/conversion_run.hpp"

#include <memory>
#include <string>

#include "core/conversion/messages.hpp"
#include "core/export/export_files.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/file_system.hpp"
#include "core/export/folders.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/sort.hpp"

namespace ar4 {
namespace {

/// Merges the runs by date into the SortBuffer, which then becomes the MainBlock; the walk then starts at
/// the first slot and goes once around the ring.
void ReorderByDate(UserInterface& ui, ArchiveBuffers& buffers, IntervalList& intervals, const RingGeometry& ring,
                   ExportBounds& bounds, Pacer& pacer) {
  ui.ShowGauge(false);
  ui.ShowLabelSort(true);
  ui.SetLabelPrc(std::string_view{});
  ReorderMainBlockByDate(
      buffers, intervals, ring, bounds,
      [&ui](std::uint32_t percent) { ui.SetLabelPrc(std::to_string(percent) + "%"); }, pacer);
  ui.SetLabelPrc(std::nullopt);
  ui.ShowLabelSort(false);
  ui.ShowGauge(true);
  pacer.Breathe();
}

}  // namespace

std::string OverlapWarning(const ExportResult& result) {
  // The count line, LF CR, then the entries (each of which begins with LF CR too).
  std::string text(messages::kOverlapCount);
  text += std::to_string(result.OverlapCount);
  text += "\n\r";
  text += result.OverlapText;  // time texts and separators: ASCII, the same in UTF-8
  return text;
}

ExportBounds BoundsOfChoice(const IntervalList& intervals, const IntervalChoice& choice, const RingGeometry& ring) {
  return choice.SelectInterval == 1 ? DateRangeBounds(intervals, choice.From, choice.To)
                                    : ListModeBounds(intervals, choice.BoxIntervalIndex, ring);
}

bool AsksSortQuestion(const IntervalList& intervals, const IntervalChoice& choice) {
  return choice.SelectInterval == 1 && intervals.ItemCount > 1;
}

void ReorderMainBlockByDate(ArchiveBuffers& buffers, IntervalList& intervals, const RingGeometry& ring,
                            ExportBounds& bounds, const SortProgress& progress, Pacer& pacer) {
  SortirBufMinMaxDate(buffers.MainBlock.get(), buffers.SortBuffer.get(), ring, intervals, progress, pacer,
                      buffers.ValidCellMasksCurrent ? buffers.ValidCellMasks.get() : nullptr);
  // The whole SortBuffer becomes the MainBlock: the two buffers trade places, which leaves the MainBlock
  // byte for byte as a copy of all 32 MiB would, without copying them. (The SortBuffer then holds the
  // block as it was; nothing reads it before the next re-ordering writes it.)
  buffers.MainBlock.swap(buffers.SortBuffer);
  buffers.ValidCellMasksCurrent = false;
  bounds.StartPosition = CellPosition{0, 0};
  bounds.EndPosition = CellPosition{0, 0};
}

RunResult RunConversion(UserInterface& ui, ArchiveBuffers& buffers, IntervalList& intervals,
                        const LoadedArchive& archive, const IntervalChoice& choice,
                        const ConversionSettings& settings, OutputFileSystem& file_system, Pacer& pacer) {
  RunResult result;
  const DeviceProfile& profile = *archive.Profile;
  const RingGeometry ring = RingGeometry::Of(profile, archive.PageCount);

  // Bounds of the export walk from the dialog's choice.
  ExportBounds bounds = BoundsOfChoice(intervals, choice, ring);

  // The lock of the output folder outlives the files: their temporaries are removed before it is released.
  std::unique_ptr<FolderLock> lock;
  ExportFiles files;  // every slot empty; closed exactly once on every way out below
  const auto stop_if_cancelled = [&ui] {
    if (ui.CancelRequested()) throw ConversionCancelled{};
  };
  try {
    // Target: a folder chosen now, or the viewer's data folder.
    const bool to_viewer = choice.SelectDir == 1 && !settings.ViewerDataFolder.empty();
    std::filesystem::path root;
    if (to_viewer) {
      root = settings.ViewerDataFolder;
    } else {
      std::optional<std::filesystem::path> chosen = ui.SelectDirectory(messages::kBrowsePrompt);
      if (!chosen || chosen->empty()) {
        result.Outcome = RunOutcome::kBrowserCancelled;
        return result;
      }
      root = *chosen;
    }

    const OutputFolderResult folder =
        BuildOutputFolder(to_viewer ? OutputTarget::kViewerDataFolder : OutputTarget::kChosenFolder, root, profile,
                          buffers.ArchiveHeader.data(), file_system);
    if (!folder.Ok()) {
      ui.ShowMessageBox(FolderErrorMessage(folder.FailedLevel), MessageKind::kError, buttons::kCancelOnly);
      ui.ShowGauge(false);
      result.Outcome = RunOutcome::kFolderFailed;
      return result;  // nothing was created in the folder, so nothing to close and no overlaps to report
    }
    result.OutputFolder = folder.OutputFolder;
    // One conversion at a time into a folder: a second one waits here until the first has published or
    // removed its files.
    lock = file_system.LockFolder(folder.OutputFolder, [&ui, &pacer] {
      pacer.Breathe();
      return !ui.CancelRequested();
    });
    if (!lock) throw ConversionCancelled{};
    ui.SetGaugePosition(0);

    if (AsksSortQuestion(intervals, choice) &&
        ui.ShowMessageBox(messages::kSortQuestion, MessageKind::kConfirmation, buttons::kYesNo) ==
            DialogResult::kYes) {
      ReorderByDate(ui, buffers, intervals, ring, bounds, pacer);
    }

    stop_if_cancelled();
    ui.ShowGauge(true);
    const ExportSettings export_settings{settings.DetailedMode, settings.DecimalSeparator};
    const ExportResult exported =
        RunExport(buffers.MainBlock.get(), ring, profile, bounds, export_settings, folder.OutputFolder, files,
                  file_system, [&ui](int percent) { ui.SetGaugePosition(percent); }, pacer,
                  buffers.ValidCellMasksCurrent ? buffers.ValidCellMasks.get() : nullptr);

    ui.ShowGauge(false);
    stop_if_cancelled();
    // Nothing read from pages of the archive that went unreadable is published.
    if (buffers.ArchivePagesLost()) throw ExportError("the archive could not be read to the end");
    // All files take their final names together; a file whose last bytes cannot be written, that fails to
    // close or cannot be renamed makes the run a failure, with the earlier files kept.
    if (!files.Commit()) throw ExportError("publishing the output files failed");

    if (exported.OverlapCount > 0) {
      ui.ShowMessageBox(OverlapWarning(exported), MessageKind::kWarning, buttons::kOkOnly);
    }
    result.Outcome = RunOutcome::kExported;
  } catch (const ConversionCancelled&) {
    files.Discard();
    ui.ShowGauge(false);
    result.Outcome = RunOutcome::kCancelled;
  } catch (...) {  // a file that cannot be created or written, or any other failure of the run
    files.Discard();
    ui.ShowGauge(false);
    ui.ShowMessageBox(messages::kErrors, MessageKind::kError, buttons::kCancelOnly);
    result.Outcome = RunOutcome::kFailed;
  }
  return result;
}

}  // namespace ar4
