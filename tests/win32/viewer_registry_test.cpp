#include "core/viewer/windows_registry.hpp"

#include <gtest/gtest.h>

#include <string>

#include "win32/text.hpp"
#include "win32/viewer_launch.hpp"
#include "win32_test_support.hpp"

namespace ar4::win32 {
namespace {

using testing::TempFolder;
using testing::WriteFileBytes;

/// An installer folder under the test's temporary folder, optionally with the viewer's files.
struct Installation {
  std::wstring Name;  // as the installer lists it, with a trailing "\"
  std::filesystem::path Folder;
};

Installation Install(const TempFolder& root, const std::wstring& relative, bool with_executable,
                     const char* settings = nullptr) {
  Installation installation;
  installation.Folder = root.Path() / relative;
  std::filesystem::create_directories(installation.Folder);
  installation.Name = installation.Folder.wstring() + L"\\";
  if (with_executable) WriteFileBytes(installation.Folder / L"TrendoraStudio.exe", "MZ");
  if (settings != nullptr) WriteFileBytes(installation.Folder / L"Settings.ini", settings);
  return installation;
}

TEST(ViewerSearch, FirstListedFolderThatHoldsTheExecutableWins) {
  TempFolder root;
  const Installation without = Install(root, L"A\\TrendoraStudio", false);
  const Installation with = Install(root, L"B\\TrendoraStudio", true);
  const Installation later = Install(root, L"C\\TrendoraStudio", true);
  const ViewerSearchResult result = GetTrendoraFolderPath({L"C:\\Other\\", without.Name, with.Name, later.Name});
  EXPECT_TRUE(result.ExecutableFound);
  EXPECT_EQ(result.ViewerFolder, with.Name);
  EXPECT_EQ(result.ViewerExecutable, with.Name + L"TrendoraStudio.exe");
  EXPECT_TRUE(result.ViewerDataFolder.empty());  // no settings file
}

TEST(ViewerSearch, NameIsMatchedCaseSensitivelyAnywhere) {
  TempFolder root;
  const Installation lower = Install(root, L"trendorastudio", true);
  EXPECT_FALSE(GetTrendoraFolderPath({lower.Name}).ExecutableFound);
  const Installation inside = Install(root, L"Maker TrendoraStudio 2", true);
  EXPECT_TRUE(GetTrendoraFolderPath({lower.Name, inside.Name}).ExecutableFound);
}

TEST(ViewerSearch, SeparatorIsAddedOnlyWhenMissing) {
  TempFolder root;
  const Installation installation = Install(root, L"TrendoraStudio", true);
  const std::wstring bare = installation.Folder.wstring();
  EXPECT_EQ(GetTrendoraFolderPath({bare}).ViewerExecutable, bare + L"\\TrendoraStudio.exe");
  EXPECT_EQ(GetTrendoraFolderPath({bare + L"\\"}).ViewerExecutable, bare + L"\\TrendoraStudio.exe");
}

TEST(ViewerSearch, AFolderNamedLikeTheExecutableDoesNotCount) {
  TempFolder root;
  const Installation installation = Install(root, L"TrendoraStudio", false);
  std::filesystem::create_directory(installation.Folder / L"TrendoraStudio.exe");
  EXPECT_FALSE(GetTrendoraFolderPath({installation.Name}).ExecutableFound);
}

TEST(ViewerSearch, DataFolderIsTheFirstLineOfTheSettingsWhenItIsAnExistingFolder) {
  TempFolder root;
  const std::filesystem::path data = root.Path() / L"Data";
  std::filesystem::create_directory(data);
  const std::string data_text = Utf8FromWide(data.wstring());
  for (const std::string& first_line : {data_text, data_text + "\\"}) {
    for (const char* rest : {"", "\r\nsecond line", "\nsecond", "\rsecond"}) {
      TempFolder install_root;
      const std::string settings = first_line + rest;
      const Installation installation = Install(install_root, L"TrendoraStudio", true, settings.c_str());
      const ViewerSearchResult result = GetTrendoraFolderPath({installation.Name});
      EXPECT_TRUE(result.ExecutableFound);
      EXPECT_EQ(result.ViewerDataFolder, WideFromSettingsText(first_line)) << settings;
    }
  }
}

TEST(ViewerSearch, ByteOrderMarkOfAnEditorIsNotPartOfTheFolder) {
  TempFolder root;
  const std::filesystem::path data = root.Path() / L"Данные";
  std::filesystem::create_directory(data);
  const std::string settings = "\xEF\xBB\xBF" + Utf8FromWide(data.wstring()) + "\r\n";
  const Installation installation = Install(root, L"TrendoraStudio", true, settings.c_str());
  EXPECT_EQ(GetTrendoraFolderPath({installation.Name}).ViewerDataFolder, data.wstring());
}

TEST(ViewerSearch, DataFolderIsEmptyWhenTheLineNamesNoFolder) {
  TempFolder root;
  const std::filesystem::path file = root.Path() / L"plain.txt";
  WriteFileBytes(file, "x");
  const std::string folder = Utf8FromWide(root.Path().wstring());
  const std::string cases[] = {"", "\r\n" + folder, folder + "\\missing", Utf8FromWide(file.wstring()),
                               " " + folder};
  for (const std::string& settings : cases) {
    TempFolder install_root;
    const Installation installation = Install(install_root, L"TrendoraStudio", true, settings.c_str());
    const ViewerSearchResult result = GetTrendoraFolderPath({installation.Name});
    EXPECT_TRUE(result.ExecutableFound) << settings;
    EXPECT_TRUE(result.ViewerDataFolder.empty()) << settings;
  }
}

TEST(ViewerSearch, SettingsOfTheWinningFolderOnlyAreRead) {
  TempFolder root;
  const std::filesystem::path data = root.Path() / L"Data";
  std::filesystem::create_directory(data);
  const std::string data_text = Utf8FromWide(data.wstring());
  // The first folder has settings but no executable; the second has the executable and no settings.
  const Installation first = Install(root, L"1\\TrendoraStudio", false, data_text.c_str());
  const Installation second = Install(root, L"2\\TrendoraStudio", true);
  const ViewerSearchResult result = GetTrendoraFolderPath({first.Name, second.Name});
  EXPECT_EQ(result.ViewerFolder, second.Name);
  EXPECT_TRUE(result.ViewerDataFolder.empty());
}

TEST(ViewerSearch, LineWithANulByteNamesNoFolder) {
  // Windows would take the path only up to the NUL byte, which names a folder that exists.
  TempFolder root;
  const std::string settings = Utf8FromWide(root.Path().wstring()) + std::string(1, '\0') + "x\r\n";
  const Installation installation = Install(root, L"TrendoraStudio", true);
  WriteFileBytes(installation.Folder / L"Settings.ini", settings);
  const ViewerSearchResult result = GetTrendoraFolderPath({installation.Name});
  EXPECT_TRUE(result.ExecutableFound);
  EXPECT_FALSE(result.SettingsUnreadable);
  EXPECT_TRUE(result.ViewerDataFolder.empty());
}

TEST(ViewerSearch, NothingFoundInAnEmptyList) {
  const ViewerSearchResult result = GetTrendoraFolderPath({});
  EXPECT_FALSE(result.ExecutableFound);
  EXPECT_TRUE(result.ViewerExecutable.empty());
  EXPECT_TRUE(result.ViewerDataFolder.empty());
}

TEST(ViewerSearch, CyrillicFolderNamesWork) {
  TempFolder root;
  const std::filesystem::path data = root.Path() / L"Данные приборов";
  std::filesystem::create_directory(data);
  const std::string utf8 = Utf8FromWide(data.wstring());
  const Installation installation = Install(root, L"Программы\\TrendoraStudio", true, utf8.c_str());
  const ViewerSearchResult result = GetTrendoraFolderPath({installation.Name});
  EXPECT_TRUE(result.ExecutableFound);
  EXPECT_EQ(result.ViewerDataFolder, data.wstring());
}

TEST(ViewerSearch, FirstLineStopsAtTheFirstBreak) {
  EXPECT_EQ(FirstLine("abc"), "abc");
  EXPECT_EQ(FirstLine("abc\r\ndef"), "abc");
  EXPECT_EQ(FirstLine("abc\ndef"), "abc");
  EXPECT_EQ(FirstLine("\rdef"), "");
  EXPECT_EQ(FirstLine(" a b \r"), " a b ");
}

TEST(ViewerLaunch, AMissingExecutableReportsFailure) {
  TempFolder root;
  EXPECT_FALSE(LaunchViewer(root.WithSeparator() + L"TrendoraStudio.exe"));
}

}  // namespace
}  // namespace ar4::win32
