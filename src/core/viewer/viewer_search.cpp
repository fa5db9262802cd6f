#include "core/viewer/viewer_search.hpp"

#include <cstdio>
#include <system_error>

#include "core/archive/cp1251.hpp"
#include "core/archive/regular_file.hpp"
#include "core/viewer/wine_registry.hpp"
#ifdef _WIN32
#include "core/viewer/windows_registry.hpp"
#endif

namespace ar4 {
namespace {

namespace fs = std::filesystem;

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

std::string_view FirstLine(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

SettingsFileStatus ReadSettingsFirstLine(const fs::path& path, std::string& line) {
  line.clear();
  RegularFile file;
  switch (file.Open(path)) {
    case OpenFileStatus::kOpened:
      break;
    case OpenFileStatus::kFolder:
      return SettingsFileStatus::kMissing;
    case OpenFileStatus::kMissing: {
      // A link that leads nowhere is there all the same: reported rather than taken for no file.
      std::error_code ec;
      const fs::file_status link = fs::symlink_status(path, ec);
      return ec || link.type() == fs::file_type::not_found ? SettingsFileStatus::kMissing
                                                           : SettingsFileStatus::kUnreadable;
    }
    case OpenFileStatus::kNotRegular:
    case OpenFileStatus::kFailed:
      return SettingsFileStatus::kUnreadable;
  }

  // One byte more than the limit tells a line that goes on past it from one that ends there.
  std::string bytes(kSettingsReadLimit + 1, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, file.Stream());
    if (n == 0) break;
    got += n;
  }
  if (std::ferror(file.Stream()) != 0) return SettingsFileStatus::kUnreadable;
  bytes.resize(got);

  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark of an editor
  const std::string_view first = FirstLine(text);
  const bool ended = first.size() < text.size() || got <= kSettingsReadLimit;
  // A NUL byte would cut the path short where the system takes it; such a line names no folder.
  if (ended && first.find('\0') == std::string_view::npos) line.assign(first);
  return SettingsFileStatus::kRead;
}

std::string SettingsLineToUtf8(std::string_view line) {
  if (IsValidUtf8(line)) return std::string(line);
  return Cp1251ToUtf8(line);
}

ViewerSearchResult GetTrendoraFolderPath(const std::vector<std::string>& installer_folders,
                                         const fs::path& prefix) {
  ViewerSearchResult result;
  for (const std::string& name : installer_folders) {
    if (name.find(kViewerName) == std::string::npos) continue;
    std::string folder = name;
    if (!folder.empty() && folder.back() != '\\') folder.push_back('\\');
    const auto viewer_folder = WindowsPathInPrefix(folder, prefix);
    const auto executable = WindowsPathInPrefix(folder + std::string(kViewerExecutableName), prefix);
    const auto settings = WindowsPathInPrefix(folder + std::string(kViewerSettingsName), prefix);
    if (!viewer_folder || !executable || !settings || !IsRegularFile(*executable)) continue;

    result.ExecutableFound = true;
    result.ViewerFolder = *viewer_folder;
    result.ViewerExecutable = *executable;
    std::string line;
    const SettingsFileStatus settings_status = ReadSettingsFirstLine(*settings, line);
    if (settings_status == SettingsFileStatus::kUnreadable) {
      result.SettingsUnreadable = true;
    } else if (settings_status == SettingsFileStatus::kRead) {
      const auto data_folder = WindowsPathInPrefix(SettingsLineToUtf8(line), prefix);
      if (data_folder && IsDirectory(*data_folder)) result.ViewerDataFolder = *data_folder;
    }
    break;  // the first folder that holds the executable wins, with or without a settings file
  }
  return result;
}

ViewerSearchResult FindInstalledViewer() {
#ifdef _WIN32
  return GetTrendoraFolderPath(ReadInstallerFolderNames());
#else
  const fs::path prefix = WinePrefixFromEnvironment();
  return GetTrendoraFolderPath(ReadInstallerFolders(prefix), prefix);
#endif
}

}  // namespace ar4
