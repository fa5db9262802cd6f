#include "core/conversion/driver.hpp"

#include <utility>

#include "core/archive/cp1251.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/report.hpp"
#include "core/archive/scan.hpp"
#include "core/conversion/conversion_run.hpp"
#include "core/conversion/messages.hpp"
#include "core/pacer.hpp"

namespace ar4 {

bool DetailedModeFromArguments(const std::vector<std::string>& arguments_after_program) {
  return !arguments_after_program.empty() && arguments_after_program.front() == "/S";
}

ConversionDriver::ConversionDriver(ArchiveBuffers& buffers, OutputFileSystem& file_system)
    : buffers_(buffers), file_system_(file_system) {}

namespace {

/// What one pass of the loop hands on when its archive may be converted.
struct PassOutcome {
  bool Proceed = false;
  LoadedArchive Archive;
};

void ShowError(UserInterface& ui, std::string_view text) {
  ui.ShowMessageBox(text, MessageKind::kError, buttons::kCancelOnly);
}

}  // namespace

void ConversionDriver::BtnConvertClick(UserInterface& ui) {
  ui.SetConvertEnabled(false);
  last_run_succeeded_ = false;
  last_run_cancelled_ = false;
  output_folder_.clear();
  // Every breath of a long loop is also where a request to stop is taken up.
  Pacer pacer([&ui] {
    ui.ProcessEvents();
    if (ui.CancelRequested()) throw ConversionCancelled{};
  });

  for (;;) {
    std::optional<std::filesystem::path> chosen = ui.OpenArchiveDialog(settings_.InitialFolder);
    if (!chosen) break;
    // The next pass opens the dialog in the folder of the file just chosen.
    settings_.InitialFolder = chosen->parent_path();

    PassOutcome pass;
    try {
      const LoadStatus status = LoadArchive(*chosen, buffers_, pass.Archive);
      if (status == LoadStatus::kReadError || status == LoadStatus::kWrongSize ||
          status == LoadStatus::kWrongFormat) {
        ShowError(ui, LoadStatusMessage(status));
        continue;
      }
      std::string report = ReportHeaderLines(buffers_.ArchiveHeader.data(), settings_.DetailedMode);
      if (status == LoadStatus::kLoaded) {
        const DeviceProfile& profile = *pass.Archive.Profile;
        const ScanResult scan =
            ValidationScan(buffers_.MainBlock.get(), pass.Archive.PageCount, profile, buffers_.ValidCellMasks.get());
        buffers_.ValidCellMasksCurrent = true;
        report += ReportClosingLines(scan, settings_.DetailedMode);
        pass.Proceed = true;
        AnalizInterval(buffers_.MainBlock.get(), RingGeometry::Of(profile, pass.Archive.PageCount),
                       scan.StartPosition, intervals_, pacer, buffers_.ValidCellMasks.get());
        if (intervals_.ItemCount == 0) pass.Proceed = false;
        // The file went short or unreadable under the scan: a failure to read it.
        if (buffers_.ArchivePagesLost()) {
          ShowError(ui, LoadStatusMessage(LoadStatus::kReadError));
          continue;
        }
      }
      const std::string shown = Cp1251ToUtf8(report);
      if (pass.Proceed) {
        pass.Proceed = ui.ShowMessageBox(shown, MessageKind::kInformation, buttons::kOkCancel) == DialogResult::kOk;
      } else {
        // An unrecognised type, or an archive in which nothing can be converted.
        ui.ShowMessageBox(shown, MessageKind::kInformation, buttons::kCancelOnly);
      }
    } catch (const ConversionCancelled&) {
      last_run_cancelled_ = true;
      break;
    } catch (...) {  // every failure while reading or checking
      pass.Proceed = false;
      ShowError(ui, messages::kErrors);
    }
    if (!pass.Proceed) continue;

    std::vector<std::string> items;
    items.reserve(intervals_.ItemCount);
    for (std::uint32_t k = 0; k < intervals_.ItemCount; ++k) items.push_back(IntervalItemText(intervals_.Entries[k]));
    const std::optional<IntervalChoice> choice = ui.ShowIntervalDialog(items, !settings_.ViewerDataFolder.empty());
    if (!choice) continue;

    IntervalChoice effective = *choice;
    if (settings_.ViewerDataFolder.empty()) effective.SelectDir = 0;
    const RunResult run = RunConversion(ui, buffers_, intervals_, pass.Archive, effective, settings_,
                                        file_system_, pacer);
    output_folder_ = run.OutputFolder;
    last_run_succeeded_ = run.Outcome == RunOutcome::kExported;
    last_run_cancelled_ = run.Outcome == RunOutcome::kCancelled;
    break;
  }
  ui.SetConvertEnabled(true);
}

}  // namespace ar4
