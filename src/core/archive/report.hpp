#pragma once
/// The ArchiveReport: Windows-1251 text, every line ended by a single CR.

#include <cstdint>
#include <string>

#include "core/archive/scan.hpp"

namespace ar4 {

/// Lines 1..8: device, serial number, firmware (detailed), creation date, four header details (detailed).
std::string ReportHeaderLines(const std::uint8_t* header_bytes, bool detailed_mode);

/// Lines 9..16 after a completed scan: minimum date, empty line, fill, five defect counts (detailed).
std::string ReportClosingLines(const ScanResult& scan, bool detailed_mode);

}  // namespace ar4
