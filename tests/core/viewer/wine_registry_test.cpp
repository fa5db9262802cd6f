#include "core/viewer/wine_registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/fake_wine_prefix.hpp"

namespace ar4 {
namespace {

using testing::FakeWinePrefix;

TEST(WinePrefixTest, WineprefixWinsThenHomeDotWine) {
  EXPECT_EQ(WinePrefixFrom("/opt/prefix", "/home/u"), std::filesystem::path("/opt/prefix"));
  EXPECT_EQ(WinePrefixFrom("", "/home/u"), std::filesystem::path("/home/u/.wine"));
  EXPECT_EQ(WinePrefixFrom(nullptr, "/home/u"), std::filesystem::path("/home/u/.wine"));
  EXPECT_TRUE(WinePrefixFrom(nullptr, nullptr).empty());
  EXPECT_TRUE(WinePrefixFrom("", "").empty());
}

std::string Decode(std::string_view text, char terminator = '"') {
  std::size_t consumed = 0;
  std::string out = DecodeRegistryString(text, terminator, consumed);
  EXPECT_NE(consumed, std::string_view::npos) << text;
  return out;
}

TEST(DecodeRegistryStringTest, BackslashQuoteAndCEscapes) {
  EXPECT_EQ(Decode(R"(C:\\Program Files\\A\"B\\")"), "C:\\Program Files\\A\"B\\");
  EXPECT_EQ(Decode(R"(a\tb\nc\rd\\e")"), "a\tb\nc\rd\\e");
  EXPECT_EQ(Decode(R"(\101\60z")"), "A0z");  // octal
  EXPECT_EQ(Decode(R"(\xz")"), "xz");        // no digit after \x: the letter itself
}

TEST(DecodeRegistryStringTest, HexEscapesAreUtf16CodeUnits) {
  // "Программы": the Cyrillic letters stand as \x escapes of one to four digits.
  EXPECT_EQ(Decode(R"(\x41f\x440\x43e\x433\x440\x430\x43c\x43c\x44b")"), "Программы");
  // At most four digits: a hex letter after four digits is text again.
  EXPECT_EQ(Decode(R"(\x0414abc")"), "Дabc");
  EXPECT_EQ(Decode(R"(\xa9")"), "©");
  // A surrogate pair is one character; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(Decode(R"(\xd83d\xde00!")"), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(Decode(R"(\xd83dx")"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Decode(R"(\xde00")"), "\xEF\xBF\xBD");
}

TEST(DecodeRegistryStringTest, ConsumedCountsTheTerminatorAndMissingOneIsReported) {
  std::size_t consumed = 0;
  EXPECT_EQ(DecodeRegistryString(R"(ab\"c"=rest)", '"', consumed), "ab\"c");
  EXPECT_EQ(consumed, 6u);
  DecodeRegistryString("no end", '"', consumed);
  EXPECT_EQ(consumed, std::string_view::npos);
}

TEST(RegistryValueNamesTest, ReadsOnlyTheKeysValueNamesInFileOrder) {
  const std::string text =
      "WINE REGISTRY Version 2\r\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\Folders] 1700000000\r\n"
      "#time=1d9c3a1b2c4d5e6\r\n"
      "@=\"default\"\r\n"
      "\"C:\\\\Zeta\\\\\"=\"\"\r\n"
      "\"C:\\\\Alpha\\\\a=b\\\\\"=\"\"\r\n"
      "\"C:\\\\Mid\\\\\"=hex:00,01,\\\r\n"
      "  02,03\r\n"
      "\r\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\Folders\\\\Sub] 1700000001\r\n"
      "\"C:\\\\Sub\\\\\"=\"\"\r\n"
      "[software\\\\microsoft\\\\windows\\\\currentversion\\\\installer\\\\FOLDERS] 1700000002\r\n"
      "\"D:\\\\Again\\\\\"=\"\"\r\n";
  const auto names = RegistryValueNames(text, kInstallerFoldersKey);
  const std::vector<std::string> expected = {"C:\\Zeta\\", "C:\\Alpha\\a=b\\", "C:\\Mid\\", "D:\\Again\\"};
  EXPECT_EQ(names, expected);
}

TEST(RegistryValueNamesTest, NoSuchKeyGivesNothing) {
  EXPECT_TRUE(RegistryValueNames("[Software\\\\Other] 1\n\"C:\\\\X\"=\"\"\n", kInstallerFoldersKey).empty());
  EXPECT_TRUE(RegistryValueNames("", kInstallerFoldersKey).empty());
}

TEST(ReadInstallerFoldersTest, ReadsTheSystemRegOfThePrefix) {
  FakeWinePrefix prefix;
  EXPECT_TRUE(ReadInstallerFolders(prefix.Root()).empty());  // no system.reg yet
  prefix.WriteInstallerFolders({"C:\\\\One\\\\", "C:\\\\\\x422\\x432\\\\"});
  const std::vector<std::string> expected = {"C:\\One\\", "C:\\Тв\\"};
  EXPECT_EQ(ReadInstallerFolders(prefix.Root()), expected);
  EXPECT_TRUE(ReadInstallerFolders(prefix.Root() / "missing").empty());
  EXPECT_TRUE(ReadInstallerFolders({}).empty());
}

TEST(WindowsPathInPrefixTest, DriveLetterGoesThroughTheDosdevicesLink) {
  const std::filesystem::path prefix = "/p";
  EXPECT_EQ(WindowsPathInPrefix("C:\\Program Files\\X\\", prefix),
            std::filesystem::path("/p/dosdevices/c:/Program Files/X/"));
  EXPECT_EQ(WindowsPathInPrefix("d:\\Data", prefix), std::filesystem::path("/p/dosdevices/d:/Data"));
  EXPECT_EQ(WindowsPathInPrefix("Z:\\", prefix), std::filesystem::path("/p/dosdevices/z:/"));
  EXPECT_EQ(WindowsPathInPrefix("C:", prefix), std::filesystem::path("/p/dosdevices/c:"));
  EXPECT_EQ(WindowsPathInPrefix("C:/mixed\\seps", prefix), std::filesystem::path("/p/dosdevices/c:/mixed/seps"));
}

TEST(WindowsPathInPrefixTest, PathsWithoutDriveLetterAreNotMapped) {
  const std::filesystem::path prefix = "/p";
  EXPECT_FALSE(WindowsPathInPrefix("\\\\server\\share\\x", prefix));
  EXPECT_FALSE(WindowsPathInPrefix("relative\\path", prefix));
  EXPECT_FALSE(WindowsPathInPrefix("/home/user", prefix));
  EXPECT_FALSE(WindowsPathInPrefix("1:\\x", prefix));
  EXPECT_FALSE(WindowsPathInPrefix("", prefix));
  EXPECT_FALSE(WindowsPathInPrefix("C:\\x", {}));
}

TEST(WindowsPathInPrefixTest, DotsAreResolvedAndDotDotStopsAtTheDriveRoot) {
  const std::filesystem::path prefix = "/p";
  EXPECT_EQ(WindowsPathInPrefix("C:\\..\\..\\..\\..\\tmp\\x", prefix), std::filesystem::path("/p/dosdevices/c:/tmp/x"));
  EXPECT_EQ(WindowsPathInPrefix("C:\\a\\.\\b\\..\\c\\", prefix), std::filesystem::path("/p/dosdevices/c:/a/c/"));
  EXPECT_EQ(WindowsPathInPrefix("C:\\a\\b\\..", prefix), std::filesystem::path("/p/dosdevices/c:/a"));
  EXPECT_EQ(WindowsPathInPrefix("C:\\a\\..", prefix), std::filesystem::path("/p/dosdevices/c:/"));
  EXPECT_EQ(WindowsPathInPrefix("C:..", prefix), std::filesystem::path("/p/dosdevices/c:/"));
  EXPECT_EQ(WindowsPathInPrefix("C:\\\\a//\\b", prefix), std::filesystem::path("/p/dosdevices/c:/a/b"));
  // Three dots, or dots with more to the name, are names like any other.
  EXPECT_EQ(WindowsPathInPrefix("C:\\...\\..a\\a..", prefix), std::filesystem::path("/p/dosdevices/c:/.../..a/a.."));
  // A NUL byte would cut the path short.
  EXPECT_FALSE(WindowsPathInPrefix(std::string_view("C:\\a\0b", 6), prefix));
}

/// Property: for paths made of names, ".", "..", empty parts and both separators, the mapping lies in the
/// drive's folder and equals the lexical normal form of the path under a root, where ".." at the root
/// stays at the root.
TEST(WindowsPathInPrefixTest, EveryPathStaysInTheDrivesFolderAndMatchesTheLexicalNormalForm) {
  const std::filesystem::path prefix = "/p";
  const std::filesystem::path drive = prefix / "dosdevices" / "c:";
  const char* const parts[] = {"a", "b c", "..", ".", "", "...", "x."};
  const char separators[] = {'\\', '/'};
  std::mt19937 random(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string rest;
    const int count = static_cast<int>(random() % 9);
    for (int k = 0; k < count; ++k) {
      rest += separators[random() % 2];
      rest += parts[random() % std::size(parts)];
    }
    if (random() % 4 == 0) rest += separators[random() % 2];
    const auto mapped = WindowsPathInPrefix("C:" + rest, prefix);
    ASSERT_TRUE(mapped) << rest;

    // The reference: the same parts under "/" in the file system's lexical normal form.
    std::string slashes = rest;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::filesystem::path reference = (std::filesystem::path("/") / slashes).lexically_normal();
    std::vector<std::string> expected;
    for (const auto& part : reference.relative_path()) {
      if (!part.empty()) expected.push_back(part.string());
    }
    const std::filesystem::path inside = mapped->lexically_relative(drive);
    std::vector<std::string> got;
    for (const auto& part : inside) {
      if (!part.empty() && part != ".") got.push_back(part.string());
    }
    ASSERT_EQ(got, expected) << "C:" << rest << " -> " << *mapped;
    ASSERT_EQ(std::count(got.begin(), got.end(), ".."), 0) << rest;
    ASSERT_EQ(mapped->string().rfind(drive.string(), 0), 0u) << rest;
  }
}

TEST(WindowsPathInPrefixTest, MappedPathReachesTheDriveFolder) {
  FakeWinePrefix prefix;
  prefix.MakeFolder("Program Files/Viewer");
  const auto mapped = WindowsPathInPrefix("C:\\Program Files\\Viewer", prefix.Root());
  ASSERT_TRUE(mapped);
  EXPECT_TRUE(std::filesystem::is_directory(*mapped));
}

}  // namespace
}  // namespace ar4
