#pragma once
/// The search for an installed TrendoraStudio: the first installer folder whose name contains
/// "TrendoraStudio" and that holds "TrendoraStudio.exe" wins; its "Settings.ini" names the viewer's data
/// folder on its first line.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ar4 {

inline constexpr std::string_view kViewerName = "TrendoraStudio";
inline constexpr std::string_view kViewerExecutableName = "TrendoraStudio.exe";
inline constexpr std::string_view kViewerSettingsName = "Settings.ini";

struct ViewerSearchResult {
  /// The executable was found: the launch button is enabled.
  bool ExecutableFound = false;
  /// Both as paths of this machine; meaningful only when ExecutableFound.
  std::filesystem::path ViewerFolder;  // with a trailing separator
  std::filesystem::path ViewerExecutable;
  /// The first line of "Settings.ini" as a path of this machine; empty unless it names an existing folder.
  std::filesystem::path ViewerDataFolder;
  /// "Settings.ini" is there but could not be read; ViewerDataFolder is then empty.
  bool SettingsUnreadable = false;
};

/// The first line of a text: everything up to the first CR or LF, or all of it; nothing else is trimmed.
std::string_view FirstLine(std::string_view text);

/// At most this many bytes are read from the start of "Settings.ini": a folder path is far shorter, and
/// a first line that does not end within them names no folder.
inline constexpr std::size_t kSettingsReadLimit = 4096;

enum class SettingsFileStatus {
  kMissing,     // no settings file (a folder of that name does not count)
  kRead,        // read: the line, or an empty line when it cannot name a folder
  kUnreadable,  // there, but it cannot be read as a file (no permission, a link loop, a FIFO, a device)
};

/// The first line of the settings file at `path`, as its bytes, without an editor's byte-order mark.
/// Only a regular file is read, and only its first kSettingsReadLimit bytes; a line that does not end
/// within them, or that holds a NUL byte, is returned empty (it names no folder).
SettingsFileStatus ReadSettingsFirstLine(const std::filesystem::path& path, std::string& line);

/// A line of "Settings.ini" as UTF-8: kept as it is when it is valid UTF-8, else read as Windows-1251
/// (the code page in which the viewer writes it).
std::string SettingsLineToUtf8(std::string_view line);

/// The search over `installer_folders` (Windows paths, UTF-8, in registry order) in the Wine `prefix`.
ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::string>& installer_folders,
                                         const std::filesystem::path& prefix);

/// The viewer installed on this machine: on Windows through the installer's folder list in the registry,
/// elsewhere in the Wine prefix that the environment names (WINEPREFIX, else ~/.wine).
ViewerSearchResult FindInstalledViewer();

}  // namespace ar4
