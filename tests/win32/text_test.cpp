#include "win32/text.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include "core/viewer/windows_registry.hpp"

namespace ar4::win32 {
namespace {

TEST(Text, Utf8AndUtf16RoundTripIncludingCyrillicAndAstralCharacters) {
  const std::string utf8 = "Ошибочный формат файла \xF0\x9F\x93\x88 ЛС 260-";
  const std::wstring wide = WideFromUtf8(utf8);
  EXPECT_EQ(wide.substr(0, 9), L"Ошибочный");
  EXPECT_EQ(Utf8FromWide(wide), utf8);
  EXPECT_EQ(WideFromUtf8(""), L"");
  EXPECT_EQ(Utf8FromWide(L""), "");
}

TEST(Text, MalformedUtf8BecomesReplacementCharacter) {
  const std::wstring wide = WideFromUtf8("a\xFF" "b");
  EXPECT_EQ(wide, std::wstring(L"a\xFFFD" L"b"));
}

TEST(Text, SettingsTextIsUtf8WhenValidElseTheAnsiCodePage) {
  EXPECT_EQ(WideFromSettingsText("C:\\Данные\\"), L"C:\\Данные\\");
  // "Данные" in Windows-1251 is not UTF-8: it is read in the system's ANSI code page.
  const std::string cp1251 = "C:\\\xC4\xE0\xED\xED\xFB\xE5";
  wchar_t expected[32] = {};
  const int length = MultiByteToWideChar(CP_ACP, 0, cp1251.data(), static_cast<int>(cp1251.size()), expected, 32);
  EXPECT_EQ(WideFromSettingsText(cp1251), std::wstring(expected, static_cast<std::size_t>(length)));
}

TEST(Text, EveryKindOfLineBreakIsOneBreakInTheBox) {
  // The report ends its lines with CR alone, the overlap warning uses LF CR, files use CR LF.
  EXPECT_EQ(MessageTextForDisplay("a\rb\rc"), L"a\r\nb\r\nc");
  EXPECT_EQ(MessageTextForDisplay("a\nb\r\nc\n\rd"), L"a\r\nb\r\nc\r\nd");
  // The overlap warning: the count, LF CR, then each entry beginning with LF CR: an empty line between.
  EXPECT_EQ(MessageTextForDisplay("Количество : 3\n\r\n\r1 -_?_- 2"), L"Количество : 3\r\n\r\n1 -_?_- 2");
  EXPECT_EQ(MessageTextForDisplay("a\r\rb"), L"a\r\n\r\nb");
  EXPECT_EQ(MessageTextForDisplay("a\n\nb"), L"a\r\n\r\nb");
}

}  // namespace
}  // namespace ar4::win32
