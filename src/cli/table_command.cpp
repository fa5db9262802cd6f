// ar4conv table: the measurements that convert with the same selection exports, as one CSV or Excel table
// per archive.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/archive_loading.hpp"
#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "cli/interrupt.hpp"
#include "cli/selection_options.hpp"
#include "core/archive/cp1251.hpp"
#include "core/conversion/conversion_run.hpp"
#include "core/conversion/messages.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"
#include "core/table/table_writers.hpp"

namespace ar4::cli {
namespace {

namespace fs = std::filesystem;

struct TableCommandOptions {
  std::vector<std::string> Archives;
  std::string Output;
  std::string Format;
  SelectionOptions Selection;
  bool Status = false;
  std::string Delimiter;
  std::string DecimalSeparator;
  bool Bom = false;
  bool OutputGiven = false, FormatGiven = false, DelimiterGiven = false, SeparatorGiven = false;
};

/// Where the tables go: standard output, one file, or one file per archive in a folder.
struct TableTarget {
  enum class Kind { kStandardOutput, kFile, kFolder } Where = Kind::kStandardOutput;
  fs::path Path;
  TableFormat Format = TableFormat::kCsv;
};

/// The standard output as the CSV writer's sink: every write checked.
class StandardOutput final : public OutputFile {
 public:
  void Write(const void* data, std::size_t size) override {
    if (std::fwrite(data, 1, size, stdout) != size) throw ExportError("the standard output cannot be written");
  }
  void Close() override {
    if (std::fflush(stdout) != 0) throw ExportError("the standard output cannot be written");
  }
};

/// The progress line on a terminal: redrawn in place and erased at the end.
class ProgressLine {
 public:
  /// Shown only when stderr is a terminal that the table itself is not written to.
  explicit ProgressLine(bool table_on_standard_output)
      : shown_(IsTerminal(stderr) && !(table_on_standard_output && IsTerminal(stdout))) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { Erase(); }
  void Show(const char* what, int percent) {
    if (!shown_) return;
    std::fprintf(stderr, "\r%s %3d%%", what, percent);
    std::fflush(stderr);
    open_ = true;
  }
  void Erase() {
    if (!open_) return;
    std::fputs("\r                        \r", stderr);
    std::fflush(stderr);
    open_ = false;
  }

 private:
  bool shown_;
  bool open_ = false;
};

std::optional<TableFormat> FormatFromName(std::string name) {
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (name == "csv" || name == ".csv") return TableFormat::kCsv;
  if (name == "xlsx" || name == ".xlsx") return TableFormat::kXlsx;
  return std::nullopt;
}

const char* Extension(TableFormat format) { return format == TableFormat::kXlsx ? ".xlsx" : ".csv"; }

/// The target from -o and --format; a usage error text when they do not fit together.
std::optional<TableTarget> ResolveTarget(const TableCommandOptions& options, std::string& error) {
  TableTarget target;
  std::optional<TableFormat> format;
  if (options.FormatGiven) {
    format = FormatFromName(options.Format);
    if (!format) {
      error = "--format " + options.Format + ": expected csv or xlsx";
      return std::nullopt;
    }
  }
  const bool several = options.Archives.size() > 1;
  if (!options.OutputGiven) {
    if (format == TableFormat::kXlsx) {
      error = "an .xlsx workbook needs -o FILE (or -o DIR); only CSV goes to the standard output";
      return std::nullopt;
    }
    return target;
  }
  if (options.Output.empty()) {
    error = "-o needs a file or folder";
    return std::nullopt;
  }
  target.Path = PathFromUtf8(options.Output);
  std::error_code ignored;
  if (fs::is_directory(target.Path, ignored)) {
    target.Where = TableTarget::Kind::kFolder;
    target.Format = format.value_or(TableFormat::kCsv);
  } else if (several) {
    error = "-o " + options.Output + ": with several archives -o must name an existing folder";
    return std::nullopt;
  } else {
    target.Where = TableTarget::Kind::kFile;
    const std::optional<TableFormat> by_name = FormatFromName(PathToUtf8(target.Path.extension()));
    if (!format && !by_name) {
      error = "-o " + options.Output + ": the file name ends neither in .csv nor in .xlsx; say --format csv|xlsx";
      return std::nullopt;
    }
    target.Format = format ? *format : *by_name;
  }
  if (target.Format == TableFormat::kXlsx && !XlsxSupported()) {
    error = "this build writes CSV only (no .xlsx workbooks)";
    return std::nullopt;
  }
  if (target.Where == TableTarget::Kind::kFolder) {
    // Two archives of the same name would write the same file.
    std::set<fs::path> names;
    for (const std::string& archive : options.Archives) {
      const fs::path name = PathFromUtf8(archive).stem();
      if (!names.insert(name).second) {
        error = "two archives named " + PathToUtf8(name) + " would both write " + PathToUtf8(name) +
                Extension(target.Format);
        return std::nullopt;
      }
    }
  }
  return target;
}

/// What one archive came to.
enum class Outcome { kDone, kFailed, kUsage, kInterrupted };

/// Thrown from the gauge when SIGINT or SIGTERM came: the writers stop, and a table file's temporary
/// name is removed on the way out.
struct TableInterrupted {};

class TableRunner {
 public:
  TableRunner(const TableCommandOptions& options, const IntervalChoice& choice, const TableTarget& target,
              const TableOptions& table, const InterruptWatch& interrupts)
      : options_(options), choice_(choice), target_(target), table_(table), interrupts_(interrupts),
        buffers_(std::make_unique<ArchiveBuffers>()), intervals_(std::make_unique<IntervalList>()),
        progress_(target.Where == TableTarget::Kind::kStandardOutput) {}

  Outcome Run(const std::string& archive) {
    prefix_ = options_.Archives.size() > 1 ? archive + ": " : std::string();
    int exit_code = kExitSuccess;
    std::ostringstream rejected;
    const std::optional<LoadedAndScanned> loaded =
        LoadForCli(PathFromUtf8(archive), false, *buffers_, rejected, exit_code);
    if (!loaded) {
      std::cerr << prefix_ << rejected.str();
      return Outcome::kFailed;
    }
    const std::string report = Cp1251ToUtf8(loaded->Report);
    if (!loaded->Scanned()) return Refuse(report);  // an unrecognised type: its report says why

    const DeviceProfile& profile = *loaded->Archive.Profile;
    const RingGeometry ring = RingGeometry::Of(profile, loaded->Archive.PageCount);
    Pacer pacer;
    AnalizInterval(buffers_->MainBlock.get(), ring, loaded->Scan->StartPosition, *intervals_, pacer,
                   buffers_->ValidCellMasks.get());
    if (intervals_->ItemCount == 0) return Refuse(report);  // nothing with a time stamp to take
    if (choice_.SelectInterval == 0 && choice_.BoxIntervalIndex >= intervals_->ItemCount) {
      std::cerr << prefix_ << "ar4conv: " << RunBeyondListMessage(choice_.BoxIntervalIndex, intervals_->ItemCount)
                << '\n';
      return Outcome::kUsage;
    }

    try {
      TableSelection selection{buffers_->MainBlock.get(), ring, &profile, BoundsOfChoice(*intervals_, choice_, ring),
                               buffers_->ValidCellMasksCurrent ? buffers_->ValidCellMasks.get() : nullptr};
      TableContext context;
      if (target_.Format == TableFormat::kXlsx) {
        context.ReportUtf8 = report;
        context.Runs = TableRuns(selection, *intervals_);  // before any re-ordering moves the cells
      }
      if (AsksSortQuestion(*intervals_, choice_) && options_.Selection.Sort) {
        ReorderMainBlockByDate(
            *buffers_, *intervals_, ring, selection.Bounds,
            [this](std::uint32_t percent) { progress_.Show("sorting by date", static_cast<int>(percent)); }, pacer);
        // The re-ordered cells are in the other buffer now (the two trade places), and the scan's masks no
        // longer describe them.
        selection.MainBlock = buffers_->MainBlock.get();
        selection.ValidCellMasks = nullptr;
      }
      const GaugeCallback gauge = [this](int percent) {
        if (interrupts_.Signal() != 0) throw TableInterrupted{};
        // Nothing read from pages of the archive that went unreadable is published.
        if (buffers_->ArchivePagesLost()) throw ExportError("the archive could not be read to the end");
        progress_.Show("table", percent);
      };
      ExportResult result;
      switch (target_.Where) {
        case TableTarget::Kind::kStandardOutput: {
          if (options_.Archives.size() > 1) std::fputs(("== " + archive + "\n").c_str(), stdout);
          StandardOutput out;
          result = WriteCsvTable(selection, table_, out, gauge);
          out.Close();
          break;
        }
        case TableTarget::Kind::kFile:
          result = WriteTableFile(selection, table_, context, target_.Path, gauge);
          break;
        case TableTarget::Kind::kFolder:
          result = WriteTableFile(selection, table_, context,
                                  target_.Path / (PathFromUtf8(archive).stem() += Extension(target_.Format)), gauge);
          break;
      }
      progress_.Erase();
      if (result.OverlapCount > 0) {
        std::cerr << prefix_;
        PrintText(std::cerr, OverlapWarning(result));
      }
    } catch (const TableInterrupted&) {
      progress_.Erase();
      return Outcome::kInterrupted;
    } catch (...) {  // a table that cannot be written, or any other failure
      progress_.Erase();
      std::cerr << prefix_ << messages::kErrors << '\n';
      return Outcome::kFailed;
    }
    return Outcome::kDone;
  }

 private:
  Outcome Refuse(const std::string& report) {
    std::cerr << prefix_;
    PrintText(std::cerr, report);
    return Outcome::kFailed;
  }

  const TableCommandOptions& options_;
  const IntervalChoice choice_;
  const TableTarget target_;
  const TableOptions table_;
  const InterruptWatch& interrupts_;
  std::unique_ptr<ArchiveBuffers> buffers_;
  std::unique_ptr<IntervalList> intervals_;
  ProgressLine progress_;
  std::string prefix_;
};

int RunTable(const TableCommandOptions& options) {
  // Every usage error is found before anything is read or written.
  std::string error;
  const std::optional<IntervalChoice> choice = SelectionChoice(options.Selection, error);
  if (!choice) return UsageFailure(error);
  const std::optional<TableTarget> target = ResolveTarget(options, error);
  if (!target) return UsageFailure(error);

  TableOptions table;
  table.Format = target->Format;
  table.StatusColumns = options.Status;
  table.ByteOrderMark = options.Bom;
  if (options.SeparatorGiven) {
    if (options.DecimalSeparator.size() != 1) return UsageFailure("--decimal-separator: expected a single character");
    table.DecimalSeparator = options.DecimalSeparator[0];
  }
  table.Delimiter = DefaultCsvDelimiter(table.DecimalSeparator);
  if (options.DelimiterGiven) {
    const std::string& delimiter = options.Delimiter;
    if (delimiter == "\\t" || delimiter == "tab") {
      table.Delimiter = '\t';
    } else if (delimiter.size() != 1) {
      return UsageFailure("--delimiter: expected a single character (or \\t for a tab)");
    } else {
      table.Delimiter = delimiter[0];
    }
  }
  if (const std::string problem = CsvCharactersProblem(table.Delimiter, table.DecimalSeparator); !problem.empty()) {
    return UsageFailure(problem);
  }
  // The workbook library is loaded only now, when a workbook is asked for; without it nothing is read.
  if (table.Format == TableFormat::kXlsx) {
    if (const std::string why = XlsxUnavailableReason(); !why.empty()) {
      std::cerr << "ar4conv: workbooks (.xlsx) cannot be written: " << why << '\n';
      return kExitFailure;
    }
  }

  // SIGINT and SIGTERM stop the table under way (a file's temporary name is removed, the final name keeps
  // what it had) and every archive after it.
  const InterruptWatch interrupts;
  TableRunner runner(options, *choice, *target, table, interrupts);
  bool failed = false, usage = false;
  for (const std::string& archive : options.Archives) {
    const Outcome outcome = runner.Run(archive);
    if (outcome == Outcome::kInterrupted || interrupts.Signal() != 0) {
      std::fflush(stdout);
      return ReportInterrupted(interrupts.Signal());
    }
    failed |= outcome == Outcome::kFailed;
    usage |= outcome == Outcome::kUsage;
  }
  const int finished = FinishStandardOutput();
  if (usage) return kExitUsage;
  if (failed) return kExitFailure;
  return finished;
}

}  // namespace

CommandAction AddTableCommand(CLI::App& app) {
  auto options = std::make_shared<TableCommandOptions>();
  CLI::App* cmd = app.add_subcommand(
      "table",
      "Writes the measurements that 'convert' with the same selection exports as a table: CSV (to the\n"
      "standard output, or -o FILE.csv) or an Excel workbook (-o FILE.xlsx). One row per exported cell, in\n"
      "the order of the conversion (ГРВ-300: one row per sample); the overlap warning goes to stderr.");
  cmd->add_option("ARCHIVE", options->Archives, "the archive files (.ar4)")->required();
  auto* output = cmd->add_option("-o,--output", options->Output,
                                 "write to FILE (.csv or .xlsx), or into the existing folder DIR one file per "
                                 "archive named after it (NAME.csv, NAME.xlsx)")
                     ->type_name("FILE|DIR");
  auto* format = cmd->add_option("--format", options->Format,
                                 "csv or xlsx (default: from the extension of -o FILE, else csv)")
                     ->type_name("csv|xlsx");
  AddSelectionOptions(*cmd, options->Selection, "write");
  cmd->add_flag("--status", options->Status,
                "a column ChanK_status after each ChanK: 0 for a value, else the channel's status code");
  auto* delimiter = cmd->add_option("--delimiter", options->Delimiter,
                                    "CSV field delimiter (default ',', or ';' with --decimal-separator ,; \\t: tab)")
                        ->type_name("C");
  auto* separator =
      cmd->add_option("--decimal-separator", options->DecimalSeparator, "CSV decimal separator (default '.')")
          ->type_name("C");
  cmd->add_flag("--bom", options->Bom, "begin the CSV with a UTF-8 byte-order mark (for spreadsheets that need it)");
  std::string footer =
      "Columns: time, Chan1..ChanN, Rele1..ReleM (ГРВ-300: time, Chan1, AuxA..AuxD); --status adds\n"
      "ChanK_status after each ChanK. time is the instrument's local time, YYYY-MM-DDTHH:MM:SS (ГРВ-300:\n"
      "with .mmm, each sample's own time as the listing shows it). A time stamp that is no real date is\n"
      "written with its fields as stored, e.g. 2015-02-31T25:61:07; a cell without a time stamp\n"
      "(0xFFFFFFFF) shows as 2063-16-32T31:63:63. In a workbook such times are text, real ones date-times.\n"
      "Values are the numbers of the record files, not clamped, as the shortest text that reads back as the\n"
      "same single-precision number (112.423); a flagged channel is an empty field; infinities and NaN are\n"
      "inf, -inf and nan in CSV and empty cells in a workbook. Relays are 0 or 1.\n"
      "CSV: RFC 4180, UTF-8, LF line ends, a header row. A workbook has the data on the sheet \"Data\"\n"
      "(continued on \"Data 2\", ... past 1,048,575 rows), the archive report on \"Report\" and the runs\n"
      "on \"Runs\". A file is written under a temporary name beside it and renamed when complete.\n"
      "Several archives: processed in order; without -o their CSV tables follow one another on the\n"
      "standard output, each after a line \"== ARCHIVE\".\n";
  if (!XlsxSupported()) footer += "This build writes CSV only: it has no .xlsx writer.\n";
  footer +=
      "Exit codes: 0 written; 1 rejected archive, nothing to take, or a write failure (\"Ошибки\");\n"
      "2 usage error; 130 or 143 stopped by SIGINT or SIGTERM (a table file keeps what it had before).";
  cmd->footer(footer);
  return [options, output, format, delimiter, separator] {
    options->OutputGiven = output->count() > 0;
    options->FormatGiven = format->count() > 0;
    options->DelimiterGiven = delimiter->count() > 0;
    options->SeparatorGiven = separator->count() > 0;
    NoteGivenSelection(options->Selection);
    return RunTable(*options);
  };
}

}  // namespace ar4::cli
