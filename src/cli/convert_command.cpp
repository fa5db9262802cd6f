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
#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/file_system.hpp"
#include "core/viewer/viewer_search.hpp"
#include "core/viewer/wine_registry.hpp"
#ifdef _WIN32
#include "win32/viewer_registry.hpp"
#endif

namespace ar4::cli {
namespace {

/// The data folder of an installed viewer, as the window program finds it.
std::filesystem::path FindViewerDataFolder() {
#ifdef _WIN32
  // The installer's folder list in the registry, searched as the window program searches it.
  return std::filesystem::path(win32::GetTrendoraFolderPath(win32::ReadInstallerFolderNames()).ViewerDataFolder);
#else
  const std::filesystem::path prefix = WinePrefixFromEnvironment();
  return GetTrendoraFolderPath(ReadInstallerFolders(prefix), prefix).ViewerDataFolder;
#endif
}

struct ConvertOptions {
  std::vector<std::string> Archives;
  std::string Out;
  std::string ViewerData;
  int Run = 0;  // 0: not given
  std::string From;
  std::string To;
  bool Sort = false;
  bool Detailed = false;
  std::string DecimalSeparator;
  // Whether each option was given at all (an empty value is not the same as none).
  bool OutGiven = false, ViewerDataGiven = false, FromGiven = false, ToGiven = false, SeparatorGiven = false;
};

/// YYYY-MM-DD with day 1..31, month 1..12, year 2000..2063 and no calendar check, like the dialog's spin edits.
std::optional<DialogDate> ParseDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3) return std::nullopt;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  if (day < 1 || day > 31 || month < 1 || month > 12 || year < 2000 || year > 2063) return std::nullopt;
  return DialogDate{day, month, year};
}

/// Answers the driver as a person would who had chosen these options in the windows.
class CommandLineUi final : public UserInterface {
 public:
  CommandLineUi(const ConvertOptions& options, IntervalChoice choice, const ArchiveTurn& turn)
      : options_(options), choice_(choice), archive_(PathFromUtf8(turn.Archive)), err_(turn.Err),
        progress_(turn.Progress) {}

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
    if (buttons_set == buttons::kYesNo) return options_.Sort ? DialogResult::kYes : DialogResult::kNo;
    // Fixed messages, the report of an archive that cannot be converted, and the overlap warning.
    PrintText(err_, text);
    (void)kind;
    return buttons_set == buttons::kOkOnly ? DialogResult::kOk : DialogResult::kCancel;
  }

  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                   bool viewer_data_known) override {
    if (choice_.SelectInterval == 0 && choice_.BoxIntervalIndex >= items.size()) {
      usage_error_ = "--run " + std::to_string(choice_.BoxIntervalIndex + 1) + ": the archive has " +
                     std::to_string(items.size()) + (items.size() == 1 ? " run" : " runs") +
                     " (see 'ar4conv runs')";
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

 private:
  const ConvertOptions& options_;
  IntervalChoice choice_;
  std::filesystem::path archive_;
  std::ostream& err_;
  ProgressLine& progress_;
  bool archive_given_ = false;
  std::string usage_error_;
};

int RunConvert(const ConvertOptions& options) {
  IntervalChoice choice;
  if (options.Run > 0) {
    choice.SelectInterval = 0;
    choice.BoxIntervalIndex = static_cast<std::uint32_t>(options.Run - 1);
  } else if (options.FromGiven || options.ToGiven) {
    choice.SelectInterval = 1;
    choice.From = DialogDate{1, 1, 2000};
    choice.To = DialogDate{31, 12, 2063};
    if (options.FromGiven) {
      const auto from = ParseDate(options.From);
      if (!from) return UsageFailure("--from " + options.From + ": expected YYYY-MM-DD (day 1..31, month 1..12, year 2000..2063)");
      choice.From = *from;
    }
    if (options.ToGiven) {
      const auto to = ParseDate(options.To);
      if (!to) return UsageFailure("--to " + options.To + ": expected YYYY-MM-DD (day 1..31, month 1..12, year 2000..2063)");
      choice.To = *to;
    }
  } else {
    choice.SelectInterval = 0;  // list mode with the first run
    choice.BoxIntervalIndex = 0;
  }

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
      settings.ViewerDataFolder = FindViewerDataFolder();
      if (settings.ViewerDataFolder.empty()) {
        return UsageFailure("no --out or --viewer-data given, and no data folder of TrendoraStudio was found");
      }
    }
  }

  // Every archive in turn with the same driver and buffers.
  return ForEachArchive(options.Archives, [&](const ArchiveTurn& turn) {
    CommandLineUi ui(options, choice, turn);
    driver.BtnConvertClick(ui);
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
  auto* run = cmd->add_option("--run", options->Run, "convert run K of 'ar4conv runs' (counted from 1); default 1")
                  ->check(CLI::PositiveNumber)
                  ->type_name("K");
  auto* from = cmd->add_option("--from", options->From, "date range from this day, YYYY-MM-DD (default 2000-01-01)")
                   ->type_name("DATE");
  auto* to = cmd->add_option("--to", options->To, "date range up to and including this day, YYYY-MM-DD (default 2063-12-31)")
                 ->type_name("DATE");
  auto* sort = cmd->add_flag("--sort", options->Sort,
                             "in a date range over several runs, merge the runs by date first");
  run->excludes(from)->excludes(to)->excludes(sort);
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
      "(several: any archive); 2 usage error (checked before anything is read or written).");
  return [options, out, viewer, from, to, separator] {
    options->OutGiven = out->count() > 0;
    options->ViewerDataGiven = viewer->count() > 0;
    options->FromGiven = from->count() > 0;
    options->ToGiven = to->count() > 0;
    options->SeparatorGiven = separator->count() > 0;
    return RunConvert(*options);
  };
}

}  // namespace ar4::cli
