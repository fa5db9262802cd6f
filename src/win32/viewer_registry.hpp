#pragma once
/// The installed TrendoraStudio, found through the Windows Installer's folder list: the first listed
/// folder whose name contains "TrendoraStudio" and that holds "TrendoraStudio.exe" wins; the first line
/// of its "Settings.ini" names the viewer's data folder.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ar4::win32 {

/// The key under HKEY_LOCAL_MACHINE whose value names are the folders that installations created.
inline constexpr std::wstring_view kInstallerFoldersKey =
    L"SOFTWARE\\MICROSOFT\\Windows\\CurrentVersion\\Installer\\Folders\\";
inline constexpr std::wstring_view kViewerName = L"TrendoraStudio";
inline constexpr std::wstring_view kViewerExecutableName = L"TrendoraStudio.exe";
inline constexpr std::wstring_view kViewerSettingsName = L"Settings.ini";

struct ViewerSearchResult {
  /// The executable was found: the launch button is enabled.
  bool ExecutableFound = false;
  std::wstring ViewerFolder;      // the installer folder with a trailing "\"; set when ExecutableFound
  std::wstring ViewerExecutable;  // ViewerFolder + "TrendoraStudio.exe"
  /// The first line of "Settings.ini", exactly as read; empty unless it names an existing folder.
  std::wstring ViewerDataFolder;
  /// "Settings.ini" is there but could not be read; ViewerDataFolder is then empty.
  bool SettingsUnreadable = false;
};

/// The value names of the installer's folder key, in the registry's enumeration order. The key is opened
/// for reading only: asking for all access rights fails for every user without administrator rights.
/// Empty when the key is missing or cannot be opened.
std::vector<std::wstring> ReadInstallerFolderNames();

/// The first line of a text: everything up to the first CR or LF, or all of it; nothing else is trimmed.
std::string_view FirstLine(std::string_view text);

/// The search over `installer_folders` (in registry order) on the real file system.
ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::wstring>& installer_folders);

/// Starts the viewer with its window in the normal state and does not wait for it. The path is quoted on
/// the command line, so a folder with blanks ("C:\Program Files\...") cannot start another program.
bool LaunchViewer(const std::wstring& executable);

}  // namespace ar4::win32
