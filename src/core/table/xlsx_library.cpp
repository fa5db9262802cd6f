// Only in builds with workbooks: elsewhere the library's header is not there to include.
#if AR4_HAVE_XLSX
#include "core/table/xlsx_library.hpp"
#endif

#if AR4_HAVE_XLSX && AR4_XLSX_LINKED

namespace ar4 {

const XlsxLibrary* LoadXlsxLibrary(std::string& why) {
  static constexpr XlsxLibrary kLinked{.WorkbookNewOpt = &workbook_new_opt,
                                       .WorkbookAddWorksheet = &workbook_add_worksheet,
                                       .WorkbookAddFormat = &workbook_add_format,
                                       .WorkbookClose = &workbook_close,
                                       .WorkbookFree = &lxw_workbook_free,
                                       .FormatSetBold = &format_set_bold,
                                       .FormatSetNumFormat = &format_set_num_format,
                                       .WriteNumber = &worksheet_write_number,
                                       .WriteString = &worksheet_write_string,
                                       .SetColumn = &worksheet_set_column,
                                       .FreezePanes = &worksheet_freeze_panes,
                                       .Autofilter = &worksheet_autofilter,
                                       .StrError = &lxw_strerror};
  why.clear();
  return &kLinked;
}

}  // namespace ar4

#elif AR4_HAVE_XLSX

#include <dlfcn.h>

namespace ar4 {
namespace {

struct Loaded {
  XlsxLibrary Library{};
  bool Complete = false;
  std::string Why;
};

template <class Function>
bool Resolve(void* handle, const char* name, Function& function, std::string& why) {
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  if (function == nullptr && why.empty()) why = std::string("the library has no ") + name;
  return function != nullptr;
}

Loaded Load() {
  Loaded loaded;
  // The soname the build was made against; the handle is kept for the life of the program.
  void* handle = ::dlopen(AR4_XLSXWRITER_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    loaded.Why = error != nullptr ? error : AR4_XLSXWRITER_SONAME " cannot be loaded";
    return loaded;
  }
  XlsxLibrary& l = loaded.Library;
  std::string& why = loaded.Why;
  loaded.Complete = Resolve(handle, "workbook_new_opt", l.WorkbookNewOpt, why) &&
                    Resolve(handle, "workbook_add_worksheet", l.WorkbookAddWorksheet, why) &&
                    Resolve(handle, "workbook_add_format", l.WorkbookAddFormat, why) &&
                    Resolve(handle, "workbook_close", l.WorkbookClose, why) &&
                    Resolve(handle, "lxw_workbook_free", l.WorkbookFree, why) &&
                    Resolve(handle, "format_set_bold", l.FormatSetBold, why) &&
                    Resolve(handle, "format_set_num_format", l.FormatSetNumFormat, why) &&
                    Resolve(handle, "worksheet_write_number", l.WriteNumber, why) &&
                    Resolve(handle, "worksheet_write_string", l.WriteString, why) &&
                    Resolve(handle, "worksheet_set_column", l.SetColumn, why) &&
                    Resolve(handle, "worksheet_freeze_panes", l.FreezePanes, why) &&
                    Resolve(handle, "worksheet_autofilter", l.Autofilter, why) &&
                    Resolve(handle, "lxw_strerror", l.StrError, why);
  return loaded;
}

}  // namespace

const XlsxLibrary* LoadXlsxLibrary(std::string& why) {
  static const Loaded loaded = Load();  // thread-safe, once
  why = loaded.Why;
  return loaded.Complete ? &loaded.Library : nullptr;
}

}  // namespace ar4

#endif
