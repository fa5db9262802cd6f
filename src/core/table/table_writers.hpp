#pragma once
/// The table of measurements written as CSV or as an Excel workbook (.xlsx). A selection goes in (the walk
/// of an export, TableSelection), a file or stream comes out. Used by `ar4conv table` and by the viewer
/// to export a selected range.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/export/export_walk.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/table/table_rows.hpp"

namespace ar4 {

enum class TableFormat { kCsv, kXlsx };

struct TableOptions {
  TableFormat Format = TableFormat::kCsv;
  bool StatusColumns = false;   // ChanK_status after each ChanK
  // CSV only.
  char Delimiter = ',';
  char DecimalSeparator = '.';
  bool ByteOrderMark = false;   // a UTF-8 byte-order mark in front of the header
  // Workbooks only: data rows a sheet holds below its header before the data goes on on the next sheet.
  std::uint32_t RowsPerSheet = 1048575;  // Excel's limit of 1,048,576 rows a sheet
};

/// The delimiter that goes with a decimal separator when none is chosen: ';' with ',', else ','.
char DefaultCsvDelimiter(char decimal_separator);

/// Why a delimiter or decimal separator cannot be used (empty when both can): each must be one ASCII
/// character that no number, time or column name is made of, and not a quote or a line end.
std::string CsvCharactersProblem(char delimiter, char decimal_separator);

/// One run of the overlap list as the workbook's runs sheet lists it.
struct TableRun {
  std::uint32_t FirstStamp = 0;
  std::uint32_t LastStamp = 0;
  std::uint32_t Cells = 0;  // the cells the table of this run alone has (as with `--run K`)
};

/// The runs of the overlap list over the selection's main block, each with its cell count.
std::vector<TableRun> TableRuns(const TableSelection& selection, const IntervalList& intervals);

/// What a workbook holds beside the data: the archive report and the runs.
struct TableContext {
  std::string ReportUtf8;       // lines ending in LF or CR
  std::vector<TableRun> Runs;
};

/// Whether this build writes workbooks (not when it was made without libxlsxwriter).
bool XlsxSupported();
/// Empty when workbooks can be written now; else why not (the library that writes them, loaded when
/// first needed, is missing, say).
std::string XlsxUnavailableReason();

/// Writes the CSV table to `out`, which stays open. Throws ExportError when a write fails.
ExportResult WriteCsvTable(const TableSelection& selection, const TableOptions& options, OutputFile& out,
                           const GaugeCallback& gauge);

/// Writes the table in `options.Format` to a temporary file beside `target` and renames it to `target`
/// only when it is complete: a failure (ExportError) never leaves a partial file under either name.
ExportResult WriteTableFile(const TableSelection& selection, const TableOptions& options,
                            const TableContext& context, const std::filesystem::path& target,
                            const GaugeCallback& gauge);

}  // namespace ar4
