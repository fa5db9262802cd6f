#include "core/export/decimal_separator.hpp"

#include <string>
#include <string_view>

#include "core/archive/cp1251.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace ar4 {
namespace {

/// One Windows-1251 byte for a separator given as UTF-8 text; a point for anything else.
char SeparatorFromUtf8(std::string_view text) {
  if (text.size() == 1 && static_cast<unsigned char>(text[0]) < 0x80) return text[0];
  const std::string converted = Utf8ToCp1251(text);
  if (converted.size() == 1 && converted[0] != '?') return converted[0];
  return '.';
}

}  // namespace

char UserDecimalSeparator() {
#ifdef _WIN32
  wchar_t text[8] = {};
  const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, text, 8);
  if (length <= 1) return '.';
  char utf8[32] = {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length - 1, utf8, sizeof utf8, nullptr, nullptr);
  if (bytes <= 0) return '.';
  return SeparatorFromUtf8(std::string_view(utf8, static_cast<std::size_t>(bytes)));
#else
  // The locale the environment names (LC_ALL, then LC_NUMERIC, then LANG); a name that is not installed
  // makes newlocale fail, and the point is used.
  locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  const std::string text = radix != nullptr ? radix : "";
  freelocale(locale);
  if (text.empty()) return '.';
  return SeparatorFromUtf8(text);
#endif
}

}  // namespace ar4
