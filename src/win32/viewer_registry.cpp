#include "win32/viewer_registry.hpp"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "win32/text.hpp"

namespace ar4::win32 {
namespace {

bool IsRegularFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// The first line of the settings file, or false when it cannot be opened or read. Only the first line
/// is needed, so at most 64 KiB are read.
bool ReadSettingsFirstLine(const std::wstring& path, std::wstring& line) {
  std::unique_ptr<std::FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
  if (!file) return false;
  std::string bytes(65536, '\0');
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get()) != 0) return false;
  bytes.resize(got);
  std::string_view text(bytes);
  // A byte-order mark that an editor put before the line is not part of the folder's name.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  line = WideFromSettingsText(FirstLine(text));
  return true;
}

}  // namespace

std::vector<std::wstring> ReadInstallerFolderNames() {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  const std::wstring key_name(kInstallerFoldersKey);
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

std::string_view FirstLine(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::wstring>& installer_folders) {
  ViewerSearchResult result;
  for (const std::wstring& name : installer_folders) {
    // Case-sensitive, at any position of the name.
    if (name.find(kViewerName) == std::wstring::npos) continue;
    std::wstring folder = name;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    const std::wstring executable = folder + std::wstring(kViewerExecutableName);
    if (!IsRegularFile(executable)) continue;

    result.ExecutableFound = true;
    result.ViewerFolder = folder;
    result.ViewerExecutable = executable;
    const std::wstring settings = folder + std::wstring(kViewerSettingsName);
    if (IsRegularFile(settings)) {
      std::wstring line;
      if (ReadSettingsFirstLine(settings, line)) {
        result.ViewerDataFolder = line;
      } else {
        result.SettingsUnreadable = true;
      }
    }
    // The first folder that holds the executable wins, with or without a settings file.
    break;
  }
  if (!IsExistingFolder(result.ViewerDataFolder)) result.ViewerDataFolder.clear();
  return result;
}

bool LaunchViewer(const std::wstring& executable) {
  std::wstring command_line = L"\"" + executable + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace ar4::win32
