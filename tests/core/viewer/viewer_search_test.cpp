#include "core/viewer/viewer_search.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/fake_wine_prefix.hpp"
#include "core/viewer/wine_registry.hpp"

namespace ar4 {
namespace {

using testing::FakeWinePrefix;
namespace fs = std::filesystem;

/// A prefix with the viewer installed in C:\Program Files\TrendoraStudio (executable present).
class ViewerSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer_ = prefix_.MakeFolder("Program Files/TrendoraStudio");
    FakeWinePrefix::WriteFile(viewer_ / "TrendoraStudio.exe", "MZ");
    data_ = prefix_.MakeFolder("TrendoraData");
  }

  ViewerSearchResult Search(const std::vector<std::string>& escaped_names) {
    prefix_.WriteInstallerFolders(escaped_names);
    return GetTrendoraFolderPath(ReadInstallerFolders(prefix_.Root()), prefix_.Root());
  }
  ViewerSearchResult SearchInstalledViewer(std::string_view settings) {
    FakeWinePrefix::WriteFile(viewer_ / "Settings.ini", settings);
    return Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  }

  FakeWinePrefix prefix_;
  fs::path viewer_;
  fs::path data_;
};

TEST_F(ViewerSearchTest, FirstFolderHoldingTheExecutableWins) {
  prefix_.MakeFolder("Old/TrendoraStudio");  // named right, but without the executable
  const auto found = Search({"C:\\\\Other\\\\", "C:\\\\Old\\\\TrendoraStudio\\\\",
                             "C:\\\\Program Files\\\\TrendoraStudio\\\\", "C:\\\\Later\\\\TrendoraStudio\\\\"});
  ASSERT_TRUE(found.ExecutableFound);
  EXPECT_EQ(found.ViewerFolder, prefix_.Mapped("Program Files/TrendoraStudio/"));
  EXPECT_EQ(found.ViewerExecutable, prefix_.Mapped("Program Files/TrendoraStudio/TrendoraStudio.exe"));
  EXPECT_TRUE(fs::is_regular_file(found.ViewerExecutable));
  EXPECT_TRUE(found.ViewerDataFolder.empty());  // no Settings.ini
  EXPECT_FALSE(found.SettingsUnreadable);
}

TEST_F(ViewerSearchTest, NameMatchesOnlyInTheExactLetterCase) {
  prefix_.MakeFolder("trendorastudio");
  FakeWinePrefix::WriteFile(prefix_.DriveC() / "trendorastudio" / "TrendoraStudio.exe", "MZ");
  const auto found = Search({"C:\\\\trendorastudio\\\\", "C:\\\\TRENDORASTUDIO\\\\"});
  EXPECT_FALSE(found.ExecutableFound);
  EXPECT_TRUE(found.ViewerExecutable.empty());
}

TEST_F(ViewerSearchTest, SeparatorIsAddedOnlyWhenMissing) {
  for (const char* name : {"C:\\\\Program Files\\\\TrendoraStudio\\\\", "C:\\\\Program Files\\\\TrendoraStudio"}) {
    const auto found = Search({name});
    ASSERT_TRUE(found.ExecutableFound) << name;
    EXPECT_EQ(found.ViewerExecutable.string(),
              (prefix_.Root() / "dosdevices/c:/Program Files/TrendoraStudio/TrendoraStudio.exe").string());
  }
}

TEST_F(ViewerSearchTest, ExecutableMustBeAFile) {
  prefix_.MakeFolder("Fake/TrendoraStudio/TrendoraStudio.exe");
  EXPECT_FALSE(Search({"C:\\\\Fake\\\\TrendoraStudio\\\\"}).ExecutableFound);
}

TEST_F(ViewerSearchTest, SettingsFirstLineNamesTheDataFolderWithOrWithoutSeparator) {
  auto found = SearchInstalledViewer("C:\\TrendoraData\\\r\nsecond line\r\n");
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("TrendoraData/"));
  EXPECT_TRUE(fs::is_directory(found.ViewerDataFolder));

  found = SearchInstalledViewer("C:\\TrendoraData");  // no line break at all
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("TrendoraData"));
  EXPECT_TRUE(fs::is_directory(found.ViewerDataFolder));

  found = SearchInstalledViewer("C:\\TrendoraData\rC:\\Other\n");  // a lone CR ends the line too
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("TrendoraData"));
}

TEST_F(ViewerSearchTest, UnusableFirstLineLeavesTheDataFolderEmptyButTheButtonEnabled) {
  for (const char* settings : {"", "\r\nC:\\TrendoraData\r\n", "C:\\NoSuchFolder\r\n",
                               "C:\\TrendoraData \r\n" /* not trimmed */, "TrendoraData\r\n"}) {
    const auto found = SearchInstalledViewer(settings);
    EXPECT_TRUE(found.ExecutableFound) << settings;
    EXPECT_TRUE(found.ViewerDataFolder.empty()) << settings;
    EXPECT_FALSE(found.SettingsUnreadable);
  }
  // A file in place of the folder does not count either.
  FakeWinePrefix::WriteFile(prefix_.DriveC() / "plain", "x");
  EXPECT_TRUE(SearchInstalledViewer("C:\\plain").ViewerDataFolder.empty());
}

TEST_F(ViewerSearchTest, CyrillicNamesFromEscapesAndFromTheSettingsCodePage) {
  // C:\Программы\TrendoraStudio\ as Wine stores it; the data folder C:\Данные written by the viewer in
  // Windows-1251, and once more in UTF-8 with a byte-order mark.
  const fs::path viewer = prefix_.MakeFolder("Программы/TrendoraStudio");
  FakeWinePrefix::WriteFile(viewer / "TrendoraStudio.exe", "MZ");
  prefix_.MakeFolder("Данные");
  FakeWinePrefix::WriteFile(viewer / "Settings.ini", "C:\\\xC4\xE0\xED\xED\xFB\xE5\r\n");
  const std::string escaped = "C:\\\\\\x41f\\x440\\x43e\\x433\\x440\\x430\\x43c\\x43c\\x44b\\\\TrendoraStudio\\\\";

  auto found = Search({escaped});
  ASSERT_TRUE(found.ExecutableFound);
  EXPECT_EQ(found.ViewerExecutable, prefix_.Mapped("Программы/TrendoraStudio/TrendoraStudio.exe"));
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("Данные"));

  FakeWinePrefix::WriteFile(viewer / "Settings.ini", "\xEF\xBB\xBF" "C:\\Данные\\\r\n");
  found = Search({escaped});
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("Данные/"));
}

TEST_F(ViewerSearchTest, UnreadableSettingsIsReportedWithTheButtonEnabled) {
  // A link to itself: the entry is there, but it cannot be opened.
  fs::create_symlink("Settings.ini", viewer_ / "Settings.ini");
  const auto found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  EXPECT_TRUE(found.ExecutableFound);
  EXPECT_TRUE(found.SettingsUnreadable);
  EXPECT_TRUE(found.ViewerDataFolder.empty());
}

TEST_F(ViewerSearchTest, SettingsFolderInsteadOfFileIsTakenAsMissing) {
  fs::create_directory(viewer_ / "Settings.ini");
  const auto found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  EXPECT_TRUE(found.ExecutableFound);
  EXPECT_FALSE(found.SettingsUnreadable);
  EXPECT_TRUE(found.ViewerDataFolder.empty());
}

TEST_F(ViewerSearchTest, SpecialFilesAsTheViewersFilesNeitherBlockNorAreRead) {
  // A FIFO without a writer, and a device of endless zeros, as "Settings.ini": reported, not read.
  ASSERT_EQ(mkfifo((viewer_ / "Settings.ini").c_str(), 0600), 0);
  auto found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  EXPECT_TRUE(found.ExecutableFound);
  EXPECT_TRUE(found.SettingsUnreadable);
  EXPECT_TRUE(found.ViewerDataFolder.empty());
  fs::remove(viewer_ / "Settings.ini");
  if (fs::exists("/dev/zero")) {
    fs::create_symlink("/dev/zero", viewer_ / "Settings.ini");
    found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
    EXPECT_TRUE(found.ExecutableFound);
    EXPECT_TRUE(found.SettingsUnreadable);
  }

  // The same as "system.reg": no installer folder list at all.
  fs::remove(prefix_.Root() / "system.reg");
  ASSERT_EQ(mkfifo((prefix_.Root() / "system.reg").c_str(), 0600), 0);
  EXPECT_TRUE(ReadInstallerFolders(prefix_.Root()).empty());
  fs::remove(prefix_.Root() / "system.reg");
  if (fs::exists("/dev/zero")) {
    fs::create_symlink("/dev/zero", prefix_.Root() / "system.reg");
    EXPECT_TRUE(ReadInstallerFolders(prefix_.Root()).empty());
  }
}

TEST_F(ViewerSearchTest, SpecialFileSizedSettingsAreReadOnlyAsFarAsTheFirstLine) {
  // 3 GiB without a line break (a sparse file: no disk space): the line would be a folder's name and
  // gigabytes of NUL bytes. Only its start is read, and a line that does not end there names no folder.
  FakeWinePrefix::WriteFile(viewer_ / "Settings.ini", "C:\\TrendoraData");
  std::error_code error;
  fs::resize_file(viewer_ / "Settings.ini", std::uintmax_t{3} << 30, error);
  if (error) GTEST_SKIP() << "no sparse file of 3 GiB here: " << error.message();
  auto found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  EXPECT_TRUE(found.ExecutableFound);
  EXPECT_FALSE(found.SettingsUnreadable);
  EXPECT_TRUE(found.ViewerDataFolder.empty());

  // The same size after a proper first line: that line is the data folder.
  FakeWinePrefix::WriteFile(viewer_ / "Settings.ini", "C:\\TrendoraData\r\n");
  fs::resize_file(viewer_ / "Settings.ini", std::uintmax_t{3} << 30, error);
  ASSERT_FALSE(error);
  found = Search({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  EXPECT_EQ(found.ViewerDataFolder, prefix_.Mapped("TrendoraData"));
}

TEST_F(ViewerSearchTest, LineWithANulByteOrTooLongNamesNoFolder) {
  // The system would take the path only up to the NUL byte, which names a folder that exists.
  using namespace std::string_literals;
  EXPECT_TRUE(SearchInstalledViewer("C:\\TrendoraData\0\\elsewhere\r\n"s).ViewerDataFolder.empty());
  EXPECT_TRUE(SearchInstalledViewer("C:\\TrendoraData\0"s).ViewerDataFolder.empty());
  // A first line that goes on past the bytes read, although it would name the folder.
  const std::string separators(kSettingsReadLimit, '\\');
  EXPECT_TRUE(SearchInstalledViewer("C:\\TrendoraData" + separators + "\r\n").ViewerDataFolder.empty());
  // One that ends within them does.
  const std::string shorter(kSettingsReadLimit - 40, '\\');
  EXPECT_FALSE(SearchInstalledViewer("C:\\TrendoraData" + shorter + "\r\n").ViewerDataFolder.empty());
}

TEST_F(ViewerSearchTest, DataFolderCannotLeaveTheDrivesFolder) {
  // A folder beside drive_c, which "C:\.." would reach if ".." were left to the file system.
  fs::create_directories(prefix_.Root() / "outside" / "x");
  for (const char* line : {"C:\\..\\outside\\x", "C:\\..\\..\\..\\..\\outside\\x",
                           "C:\\TrendoraData\\..\\..\\outside\\x", "C:/../outside/x"}) {
    const auto found = SearchInstalledViewer(std::string(line) + "\r\n");
    EXPECT_TRUE(found.ViewerDataFolder.empty()) << line << " gave " << found.ViewerDataFolder;
  }
  // Within the drive ".." is resolved as Windows does.
  EXPECT_EQ(SearchInstalledViewer("C:\\..\\..\\TrendoraData\r\n").ViewerDataFolder, prefix_.Mapped("TrendoraData"));
  EXPECT_EQ(SearchInstalledViewer("C:\\Program Files\\..\\.\\TrendoraData\\\r\n").ViewerDataFolder,
            prefix_.Mapped("TrendoraData/"));
}

TEST_F(ViewerSearchTest, RegistryFileAboveItsLimitIsNotRead) {
  // The installer folders first, then a sparse tail past the limit.
  prefix_.WriteInstallerFolders({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  ASSERT_EQ(ReadInstallerFolders(prefix_.Root()).size(), 1u);
  std::error_code error;
  fs::resize_file(prefix_.Root() / "system.reg", kRegistryFileLimit + 1, error);
  if (error) GTEST_SKIP() << "no sparse file here: " << error.message();
  EXPECT_TRUE(ReadInstallerFolders(prefix_.Root()).empty());
}

TEST(ViewerSearchWithoutPrefixTest, NothingIsFound) {
  const fs::path nowhere = fs::temp_directory_path() / "ar4gui-no-such-prefix";
  const auto found = GetTrendoraFolderPath(ReadInstallerFolders(nowhere), nowhere);
  EXPECT_FALSE(found.ExecutableFound);
  EXPECT_TRUE(found.ViewerDataFolder.empty());
  EXPECT_FALSE(GetTrendoraFolderPath({"C:\\TrendoraStudio\\"}, {}).ExecutableFound);
}

TEST(FirstLineTest, EndsAtTheFirstCrOrLf) {
  EXPECT_EQ(FirstLine("a b \r\nc"), "a b ");
  EXPECT_EQ(FirstLine("a\nb\r"), "a");
  EXPECT_EQ(FirstLine("whole"), "whole");
  EXPECT_EQ(FirstLine(""), "");
}

TEST(SettingsLineToUtf8Test, Utf8IsKeptAndOtherBytesAreWindows1251) {
  EXPECT_EQ(SettingsLineToUtf8("C:\\Данные"), "C:\\Данные");
  EXPECT_EQ(SettingsLineToUtf8("C:\\\xC4\xE0\xED\xED\xFB\xE5"), "C:\\Данные");
  EXPECT_EQ(SettingsLineToUtf8("plain"), "plain");
}

}  // namespace
}  // namespace ar4
