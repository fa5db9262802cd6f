#include "win32/text.hpp"

#include <windows.h>

namespace ar4::win32 {
namespace {

std::wstring Decode(unsigned code_page, DWORD flags, std::string_view bytes, bool& ok) {
  ok = true;
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  if (length <= 0) {
    ok = false;
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, flags, bytes.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
  bool ok = false;
  return Decode(CP_UTF8, 0, utf8, ok);
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::wstring MessageTextForDisplay(std::string_view utf8) {
  const std::wstring wide = WideFromUtf8(utf8);
  std::wstring shown;
  shown.reserve(wide.size() + 16);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r' || c == L'\n') {
      // A pair of different break characters is one break.
      const wchar_t other = c == L'\r' ? L'\n' : L'\r';
      if (i + 1 < wide.size() && wide[i + 1] == other) ++i;
      shown += L"\r\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace ar4::win32
