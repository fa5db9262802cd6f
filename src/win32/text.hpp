#pragma once
/// Text between the core (UTF-8) and the wide Windows API (UTF-16).

#include <filesystem>
#include <string>
#include <string_view>

namespace ar4::win32 {

/// UTF-8 as UTF-16; malformed sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);

/// UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

/// A message as the box shows it: every line break (CR, LF, CR LF or LF CR) becomes one CR LF.
std::wstring MessageTextForDisplay(std::string_view utf8);

}  // namespace ar4::win32
