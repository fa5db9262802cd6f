#include "core/viewer/windows_registry.hpp"

#include <windows.h>

namespace ar4 {
namespace {

namespace fs = std::filesystem;

bool IsRegularFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

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

/// An ASCII name of the viewer's as UTF-16.
std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

std::vector<std::wstring> ReadInstallerFolderNames() {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  const std::wstring key_name(kInstallerFoldersRegistryKey);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  // A value name has at most 16383 characters.
  std::wstring name(16384, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status =
        RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    names.emplace_back(name.data(), length);
  }
  RegCloseKey(key);
  return names;
}

std::wstring WideFromSettingsText(std::string_view bytes) {
  bool ok = false;
  std::wstring wide = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, ok);
  if (ok) return wide;
  return Decode(CP_ACP, 0, bytes, ok);
}

ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::wstring>& installer_folders) {
  ViewerSearchResult result;
  std::wstring data_folder;
  for (const std::wstring& name : installer_folders) {
    // Case-sensitive, at any position of the name.
    if (name.find(Wide(kViewerName)) == std::wstring::npos) continue;
    std::wstring folder = name;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    const std::wstring executable = folder + Wide(kViewerExecutableName);
    if (!IsRegularFile(executable)) continue;

    result.ExecutableFound = true;
    result.ViewerFolder = fs::path(folder);
    result.ViewerExecutable = fs::path(executable);
    std::string line;
    switch (ReadSettingsFirstLine(fs::path(folder + Wide(kViewerSettingsName)), line)) {
      case SettingsFileStatus::kRead: data_folder = WideFromSettingsText(line); break;
      case SettingsFileStatus::kUnreadable: result.SettingsUnreadable = true; break;
      case SettingsFileStatus::kMissing: break;
    }
    // The first folder that holds the executable wins, with or without a settings file.
    break;
  }
  if (IsExistingFolder(data_folder)) result.ViewerDataFolder = fs::path(data_folder);
  return result;
}

}  // namespace ar4
