#pragma once
/// libxlsxwriter's functions. On Linux the system's library, loaded when the first workbook is written
/// instead of at every start of a program: loading it with what it needs (zlib, minizip, the crypto
/// library) took well over a millisecond of the start of every command, workbook or not. In the Windows
/// build the library is linked statically (AR4_XLSX_LINKED) and these are its own functions: there is
/// nothing to load. Internal to the table library; only in builds with workbooks.

#include <string>

#include <xlsxwriter.h>

namespace ar4 {

/// The library's functions that the workbook writer calls.
struct XlsxLibrary {
  decltype(&workbook_new_opt) WorkbookNewOpt;
  decltype(&workbook_add_worksheet) WorkbookAddWorksheet;
  decltype(&workbook_add_format) WorkbookAddFormat;
  decltype(&workbook_close) WorkbookClose;
  decltype(&lxw_workbook_free) WorkbookFree;
  decltype(&format_set_bold) FormatSetBold;
  decltype(&format_set_num_format) FormatSetNumFormat;
  decltype(&worksheet_write_number) WriteNumber;
  decltype(&worksheet_write_string) WriteString;
  decltype(&worksheet_set_column) SetColumn;
  decltype(&worksheet_freeze_panes) FreezePanes;
  decltype(&worksheet_autofilter) Autofilter;
  decltype(&lxw_strerror) StrError;
};

/// The library, loaded on the first call and kept; nullptr when it cannot be loaded, with the reason in
/// `why`. Never nullptr where the library is linked.
const XlsxLibrary* LoadXlsxLibrary(std::string& why);

}  // namespace ar4
