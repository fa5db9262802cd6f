// The Excel workbook (.xlsx): the data on "Data", "Data 2", ... (a bold, frozen header row and an
// autofilter on each), the archive report on "Report", the runs on "Runs". Written with libxlsxwriter in
// its constant-memory mode: every row goes to the sheet's temporary file as soon as it is complete.

#include "core/table/xlsx_table.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#if AR4_HAVE_XLSX
#include "core/table/xlsx_library.hpp"
#endif

namespace ar4 {

#if AR4_HAVE_XLSX

namespace {

constexpr const char* kTimeFormat = "yyyy-mm-dd hh:mm:ss";
constexpr const char* kMillisecondTimeFormat = "yyyy-mm-dd hh:mm:ss.000";

/// The number with the shortest decimal text of a float, as a double: the cell shows 112.423, not
/// 112.42299652099609, and reads back as the same float.
double ShortestDouble(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  double result = value;
  std::from_chars(text, end, result);
  return result;
}

/// Owns the workbook until it is closed; frees it without writing anything on a failure.
class Workbook {
 public:
  Workbook(const XlsxLibrary& lxw, const std::filesystem::path& file, const std::filesystem::path& temporary_folder)
      : lxw_(lxw) {
    temporary_folder_ = PathToUtf8(temporary_folder);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = temporary_folder_.empty() ? nullptr : temporary_folder_.data();
    file_ = PathToUtf8(file);
    book_ = lxw_.WorkbookNewOpt(file_.c_str(), &options);
    if (book_ == nullptr) throw ExportError("the workbook cannot be created");
  }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;
  ~Workbook() {
    if (book_ != nullptr) lxw_.WorkbookFree(book_);
  }

  lxw_workbook* Get() { return book_; }
  /// The library's functions.
  const XlsxLibrary& Lxw() const { return lxw_; }
  void Check(lxw_error error) const {
    if (error != LXW_NO_ERROR) throw ExportError(std::string("workbook: ") + lxw_.StrError(error));
  }

  lxw_worksheet* AddSheet(const std::string& name) {
    lxw_worksheet* sheet = lxw_.WorkbookAddWorksheet(book_, name.c_str());
    if (sheet == nullptr) throw ExportError("a worksheet cannot be created");
    return sheet;
  }

  void Close() {
    lxw_workbook* book = book_;
    book_ = nullptr;
    if (lxw_.WorkbookClose(book) != LXW_NO_ERROR) throw ExportError("the workbook cannot be written");
  }

 private:
  const XlsxLibrary& lxw_;
  std::string file_;
  std::string temporary_folder_;
  lxw_workbook* book_ = nullptr;
};

/// Writes a row's time: a real date as a date-time number, anything else as its text.
void WriteTime(const Workbook& book, lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, std::uint32_t stamp,
               std::uint32_t milliseconds, bool with_milliseconds, lxw_format* format) {
  if (IsCalendarStamp(stamp)) {
    book.Check(book.Lxw().WriteNumber(sheet, row, column, SpreadsheetDateTime(stamp, milliseconds), format));
  } else {
    char text[kMaxTimeTextLength + 1];
    text[WriteTimeText(text, stamp, milliseconds, with_milliseconds)] = '\0';
    book.Check(book.Lxw().WriteString(sheet, row, column, text, nullptr));
  }
}

class XlsxRowWriter final : public TableRowSink {
 public:
  XlsxRowWriter(Workbook& book, const TableLayout& layout, std::uint32_t rows_per_sheet)
      : book_(book), layout_(layout), header_(TableHeader(layout)),
        rows_per_sheet_(std::clamp<std::uint32_t>(rows_per_sheet, 1, 1048575)) {
    bold_ = book_.Lxw().WorkbookAddFormat(book.Get());
    book_.Lxw().FormatSetBold(bold_);
    time_ = book_.Lxw().WorkbookAddFormat(book.Get());
    book_.Lxw().FormatSetNumFormat(time_, layout.Grv300 ? kMillisecondTimeFormat : kTimeFormat);
  }

  void Row(const TableRow& row) override {
    if (sheet_ == nullptr || row_ > rows_per_sheet_) NextSheet();
    lxw_col_t column = 0;
    WriteTime(book_, sheet_, row_, column++, row.Stamp, row.Milliseconds, layout_.Grv300, time_);
    for (std::size_t g = 0; g < layout_.Channels; ++g) {
      // A flagged channel, an infinity and a NaN leave the cell empty (a spreadsheet has no such numbers).
      if (row.Status[g] == 0 && std::isfinite(row.Values[g])) Number(column, ShortestDouble(row.Values[g]));
      ++column;
      if (layout_.StatusColumns) Number(column++, row.Status[g]);
    }
    for (std::size_t r = 0; r < layout_.Relays; ++r) Number(column++, (row.Relays >> r) & 1u);
    if (layout_.Grv300) {
      Number(column++, row.AuxA);
      Number(column++, row.AuxB);
      if (std::isfinite(row.AuxC)) Number(column, ShortestDouble(row.AuxC));
      ++column;
      if (std::isfinite(row.AuxD)) Number(column, ShortestDouble(row.AuxD));
      ++column;
    }
    ++row_;
  }

  /// Sets the autofilter of the last data sheet; a table without rows still gets its header.
  void Finish() {
    if (sheet_ == nullptr) NextSheet();
    EndSheet();
  }

 private:
  void Number(lxw_col_t column, double value) { book_.Check(book_.Lxw().WriteNumber(sheet_, row_, column, value, nullptr)); }

  void EndSheet() {
    if (sheet_ != nullptr) {
      book_.Check(book_.Lxw().Autofilter(sheet_, 0, 0, row_ - 1, static_cast<lxw_col_t>(header_.size() - 1)));
    }
  }

  void NextSheet() {
    EndSheet();
    ++sheets_;
    sheet_ = book_.AddSheet(sheets_ == 1 ? std::string("Data") : "Data " + std::to_string(sheets_));
    book_.Check(book_.Lxw().SetColumn(sheet_, 0, 0, layout_.Grv300 ? 24 : 20, nullptr));
    book_.Lxw().FreezePanes(sheet_, 1, 0);
    for (std::size_t c = 0; c < header_.size(); ++c) {
      book_.Check(book_.Lxw().WriteString(sheet_, 0, static_cast<lxw_col_t>(c), header_[c].c_str(), bold_));
    }
    row_ = 1;
  }

  Workbook& book_;
  const TableLayout layout_;
  const std::vector<std::string> header_;
  const std::uint32_t rows_per_sheet_;
  lxw_format* bold_ = nullptr;
  lxw_format* time_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_row_t row_ = 0;
  int sheets_ = 0;
};

void WriteReportSheet(Workbook& book, std::string_view report) {
  lxw_worksheet* sheet = book.AddSheet("Report");
  book.Check(book.Lxw().SetColumn(sheet, 0, 0, 60, nullptr));
  lxw_row_t row = 0;
  std::string line;
  for (std::size_t begin = 0; begin < report.size();) {
    std::size_t end = report.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = report.size();
    line.assign(report.substr(begin, end - begin));
    if (!line.empty()) book.Check(book.Lxw().WriteString(sheet, row, 0, line.c_str(), nullptr));
    ++row;
    begin = end + 1;
  }
}

void WriteRunsSheet(Workbook& book, const std::vector<TableRun>& runs) {
  lxw_worksheet* sheet = book.AddSheet("Runs");
  lxw_format* bold = book.Lxw().WorkbookAddFormat(book.Get());
  book.Lxw().FormatSetBold(bold);
  lxw_format* time = book.Lxw().WorkbookAddFormat(book.Get());
  book.Lxw().FormatSetNumFormat(time, kTimeFormat);
  book.Check(book.Lxw().SetColumn(sheet, 1, 2, 20, nullptr));
  const char* names[] = {"run", "first time", "last time", "cells"};
  for (lxw_col_t c = 0; c < 4; ++c) book.Check(book.Lxw().WriteString(sheet, 0, c, names[c], bold));
  book.Lxw().FreezePanes(sheet, 1, 0);
  lxw_row_t row = 1;
  for (const TableRun& run : runs) {
    book.Check(book.Lxw().WriteNumber(sheet, row, 0, row, nullptr));
    WriteTime(book, sheet, row, 1, run.FirstStamp, 0, false, time);
    WriteTime(book, sheet, row, 2, run.LastStamp, 0, false, time);
    book.Check(book.Lxw().WriteNumber(sheet, row, 3, run.Cells, nullptr));
    ++row;
  }
}

}  // namespace

bool XlsxSupported() { return true; }

std::string XlsxUnavailableReason() {
  std::string why;
  return LoadXlsxLibrary(why) != nullptr ? std::string() : why;
}

ExportResult WriteXlsxTable(const TableSelection& selection, const TableOptions& options,
                            const TableContext& context, const std::filesystem::path& file,
                            const GaugeCallback& gauge) {
  if (selection.Profile == nullptr) throw ExportError("no instrument type");
  std::string why;
  const XlsxLibrary* lxw = LoadXlsxLibrary(why);
  if (lxw == nullptr) throw ExportError("the workbook library cannot be loaded: " + why);
  Workbook book(*lxw, file, file.parent_path());
  XlsxRowWriter writer(book, TableLayoutOf(*selection.Profile, options.StatusColumns), options.RowsPerSheet);
  ExportResult result = ForEachTableRow(selection, writer, gauge);
  writer.Finish();
  WriteReportSheet(book, context.ReportUtf8);
  WriteRunsSheet(book, context.Runs);
  book.Close();
  return result;
}

#else

bool XlsxSupported() { return false; }

std::string XlsxUnavailableReason() { return "this build writes no workbooks"; }

ExportResult WriteXlsxTable(const TableSelection&, const TableOptions&, const TableContext&,
                            const std::filesystem::path&, const GaugeCallback&) {
  throw ExportError("this build writes no workbooks");
}

#endif

}  // namespace ar4
