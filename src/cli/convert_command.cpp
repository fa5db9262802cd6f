// ar4conv convert: one whole conversion, as the window program runs it after the interval dialog was
// confirmed, with the command line answering the driver's questions.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/archive_batch.hpp"
#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "cli/interrupt.hpp"
#include "cli/selection_options.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/file_system.hpp"
#include "core/viewer/viewer_search.hpp"

namespace ar4::cli {
namespace {

struct ConvertOptions {
  std::vector<std::string> Archives;
  std::string Out;
  std::string ViewerData;
  SelectionOptions Selection;
  bool Detailed = false;
  std::string DecimalSeparator;
  // Whether each option was given at all (an empty value is not the same as none).
  bool OutGiven = false, ViewerDataGiven = false, SeparatorGiven = false;
};

/// Answers the driver as a person would who had chosen these options in the windows.
class CommandLineUi final : public UserInterface {
 public:
  CommandLineUi(const ConvertOptions& options, IntervalChoice choice, const ArchiveTurn& turn,
                const InterruptWatch& interrupts)
      : options_(options),
        choice_(choice),
        archive_(PathFromUtf8(turn.Archive)),
        err_(turn.Err),
        progress_(turn.Progress),
        interrupts_(interrupts) {}

  bool UsageError() const { return !usage_error_.empty(); }
  const std::string& UsageErrorText() const { return usage_error_; }

  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path&) override {
    // The archive is chosen once; after a refusal the person cancels the next dialog.
    if (archive_given_) return std::nullopt;
    archive_given_ = true;
    return archive_;
  }

  DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) override {
    if (buttons_set == buttons::kOkCancel) return DialogResult::kOk;  // the report: go on
    if (buttons_set == buttons::kYesNo) return options_.Selection.Sort ? DialogResult::kYes : DialogResult::kNo;
    // Fixed messages, the report of an archive that cannot be converted, and the overlap warning.
    PrintText(err_, text);
    (void)kind;
    return buttons_set == buttons::kOkOnly ? DialogResult::kOk : DialogResult::kCancel;
  }

  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                   bool viewer_data_known) override {
    if (choice_.SelectInterval == 0 && choice_.BoxIntervalIndex >= items.size()) {
      usage_error_ = RunBeyondListMessage(choice_.BoxIntervalIndex, items.size());
      return std::nullopt;
    }
    if (choice_.SelectDir == 1 && !viewer_data_known) {
      usage_error_ = "the viewer's data folder is not known";
      return std::nullopt;
    }
    return choice_;
  }

  std::optional<std::filesystem::path> SelectDirectory(std::string_view) override {
    return PathFromUtf8(options_.Out);
  }

  void SetConvertEnabled(bool) override {}
  void ShowGauge(bool) override {}
  void SetGaugePosition(int percent) override { progress_.Show("export", percent); }
  void ShowLabelSort(bool) override {}
  void SetLabelPrc(std::optional<std::string_view> text) override {
    // The text is the figure and "%", as the window's label shows it.
    if (text && !text->empty()) progress_.Show("sorting by date", std::atoi(std::string(*text).c_str()));
  }
  void ProcessEvents() override {}
  bool CancelRequested() override {
    if (interrupts_.Signal() == 0) return false;
    progress_.Erase();
    return true;
  }

 private:
  const ConvertOptions& options_;
  IntervalChoice choice_;
  std::filesystem::path archive_;
  std::ostream& err_;
  ProgressLine& progress_;
  const InterruptWatch& interrupts_;
  bool archive_given_ = false;
  std::string usage_error_;
};

int RunConvert(const ConvertOptions& options) {
  std::string usage_error;
  const std::optional<IntervalChoice> selected = SelectionChoice(options.Selection, usage_error);
  if (!selected) return UsageFailure(usage_error);
  IntervalChoice choice = *selected;

  char separator = UserDecimalSeparator();
  if (options.SeparatorGiven) {
    if (options.DecimalSeparator.size() != 1) {
      return UsageFailure("--decimal-separator: expected a single character");
    }
    separator = options.DecimalSeparator[0];
  }

  ArchiveBuffers buffers;
  DiskFileSystem file_system;
  ConversionDriver driver(buffers, file_system);
  ConversionSettings& settings = driver.Settings();
  settings.DetailedMode = options.Detailed;
  settings.DecimalSeparator = separator;
  if ((options.OutGiven && options.Out.empty()) || (options.ViewerDataGiven && options.ViewerData.empty())) {
    return UsageFailure("--out and --viewer-data need a folder");
  }
  if (options.OutGiven) {
    choice.SelectDir = 0;
  } else {
    choice.SelectDir = 1;
    if (options.ViewerDataGiven) {
      settings.ViewerDataFolder = PathFromUtf8(options.ViewerData);
    } else {
      // The data folder of the installed viewer, as the window program finds it.
      settings.ViewerDataFolder = FindInstalledViewer().ViewerDataFolder;
      if (settings.ViewerDataFolder.empty()) {
        return UsageFailure("no --out or --viewer-data given, and no data folder of TrendoraStudio was found");
      }
    }
  }

  // Every archive in turn with the same driver and buffers. A signal stops the conversion under way and
  // every one after it.
  const InterruptWatch interrupts;
  int interrupted = 0;
  const int status = ForEachArchive(options.Archives, [&](const ArchiveTurn& turn) {
    if (interrupted != 0) return kExitFailure;
    CommandLineUi ui(options, choice, turn, interrupts);
    driver.BtnConvertClick(ui);
    if (driver.LastRunCancelled()) {
      interrupted = interrupts.Signal();
      return kExitFailure;
    }
    if (ui.UsageError()) {
      // Known only once the archive is read (--run beyond its list): alone, a usage error as always;
      // among several, that archive fails and the others go on.
      if (!turn.Several()) return UsageFailure(ui.UsageErrorText());
      turn.Err << ui.UsageErrorText() << '\n';
      turn.Err.flush();
      return kExitFailure;
    }
    if (!driver.LastRunSucceeded()) return kExitFailure;
    turn.BeginOutput(std::cout, false);  // one folder a line, no heading
    std::cout << PathToUtf8(driver.OutputFolder()) << '\n';
    return FinishStandardOutput();
  });
  if (interrupted != 0) return ReportInterrupted(interrupted);
  return status;
}

}  // namespace

CommandAction AddConvertCommand(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand(
      "convert",
      "Converts archives into the folder tree that TrendoraStudio reads: Pen.txt, Chan*.pen, Rele*.rel and\n"
      "All_Chan.txt under <target>/ARHrep/<device>-<serial>/StandartConfig/DB/<date>/.\n"
      "Prints the output folder on success; the time-overlap warning, if any, goes to stderr.");
  cmd->add_option("ARCHIVE", options->Archives, "the archive file(s) (.ar4)")->required();
  auto* out = cmd->add_option("--out", options->Out,
                              "write into DIR/ARHrep/... (DIR must exist), as with a folder chosen in the browser")
                  ->type_name("DIR");
  auto* viewer = cmd->add_option("--viewer-data", options->ViewerData,
                                 "write straight into the viewer's data folder DIR (DIR/<device>/...)")
                     ->type_name("DIR");
  out->excludes(viewer);
  AddSelectionOptions(*cmd, options->Selection, "convert");
  cmd->add_flag("--detailed", options->Detailed,
                "detailed mode: cell offsets and a line for every invalid cell in All_Chan.txt");
  auto* separator = cmd->add_option("--decimal-separator", options->DecimalSeparator,
                  "decimal separator of the listing's numbers (default: from the regional settings, else '.')")
      ->type_name("C");
  cmd->footer(
      "Without --out or --viewer-data the data folder of an installed TrendoraStudio is used.\n"
      "Several archives: each converted in turn with the same options, in one process; each output folder\n"
      "printed on a line of its own, in the order given. An archive that fails (also --run K beyond its runs)\n"
      "gets its message on stderr after its path and \": \", and the others go on. While stderr is a terminal\n"
      "a progress line shows the archive, the export's percent and the rate; it is erased at the end.\n"
      "Exit codes: 0 converted (several: all); 1 rejected archive, nothing to convert, folder or write failure\n"
      "(several: any archive); 2 usage error (checked before anything is read or written); 130 or 143 stopped by\n"
      "SIGINT or SIGTERM (the output folder keeps the files it had before).");
  return [options, out, viewer, separator] {
    options->OutGiven = out->count() > 0;
    options->ViewerDataGiven = viewer->count() > 0;
    NoteGivenSelection(options->Selection);
    options->SeparatorGiven = separator->count() > 0;
    return RunConvert(*options);
  };
}

}  // namespace ar4::cli
