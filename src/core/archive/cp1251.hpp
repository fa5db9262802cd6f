#pragma once
/// Windows-1251, the code page of the report, the listing and every message of the system, to and from UTF-8.

#include <string>
#include <string_view>

namespace ar4 {

/// Every byte of Windows-1251 text as UTF-8 (the one unassigned byte, 0x98, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp1251);

/// Appends one Unicode code point to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t code_point);

/// UTF-8 text in Windows-1251; characters the code page lacks, and malformed sequences, become "?".
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace ar4
