#pragma once
/// The workbook writer behind WriteTableFile. Internal to the table library.

#include <filesystem>

#include "core/table/table_writers.hpp"

namespace ar4 {

/// Writes the workbook straight to `file`; throws ExportError on any failure (the file may then be left
/// behind, half written: WriteTableFile writes to a temporary name and removes it).
ExportResult WriteXlsxTable(const TableSelection& selection, const TableOptions& options,
                            const TableContext& context, const std::filesystem::path& file,
                            const GaugeCallback& gauge);

}  // namespace ar4
