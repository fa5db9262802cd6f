#pragma once
/// The viewer on Windows: the installer's folder list is read from the registry, and its folders are
/// paths of this machine as they stand.

#include <string>
#include <string_view>
#include <vector>

#include "core/viewer/viewer_search.hpp"

namespace ar4 {

/// The key under HKEY_LOCAL_MACHINE whose value names are the folders that installations created.
inline constexpr std::wstring_view kInstallerFoldersRegistryKey =
    L"SOFTWARE\\MICROSOFT\\Windows\\CurrentVersion\\Installer\\Folders\\";

/// The value names of the installer's folder key, in the registry's enumeration order. The key is opened
/// for reading only: asking for all access rights fails for every user without administrator rights.
/// Empty when the key is missing or cannot be opened.
std::vector<std::wstring> ReadInstallerFolderNames();

/// The search over `installer_folders` (in registry order) on this machine's file system. The data
/// folder is the first line of "Settings.ini" exactly as read, when it names an existing folder.
ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::wstring>& installer_folders);

/// 8-bit text of a settings file: UTF-8 when it is valid UTF-8, otherwise the system's ANSI code page
/// (Windows-1251 on the instruments' machines).
std::wstring WideFromSettingsText(std::string_view bytes);

}  // namespace ar4
