#include "core/viewer/viewer_search.hpp"

#include <fstream>
#include <iterator>
#include <system_error>

#include "core/archive/cp1251.hpp"
#include "core/viewer/wine_registry.hpp"

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

/// An entry of that name that is not a folder: a file, or a link that cannot be followed, which then
/// fails to read and is reported rather than silently taken for a missing file.
bool EntryExistsAndIsNoFolder(const fs::path& path) {
  std::error_code ec;
  const fs::file_status link = fs::symlink_status(path, ec);
  if (ec || link.type() == fs::file_type::not_found) return false;
  return !fs::is_directory(path, ec);
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

/// The whole settings file, or false when it cannot be opened or read.
bool ReadWholeFile(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

std::string_view FirstLine(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
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
    if (EntryExistsAndIsNoFolder(*settings)) {
      std::string text;
      if (!ReadWholeFile(*settings, text)) {
        result.SettingsUnreadable = true;
        return result;
      }
      std::string_view content = text;
      if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);  // a byte-order mark of an editor
      const std::string line = SettingsLineToUtf8(FirstLine(content));
      if (const auto data_folder = WindowsPathInPrefix(line, prefix); data_folder && IsDirectory(*data_folder)) {
        result.ViewerDataFolder = *data_folder;
      }
    }
    break;  // the first folder that holds the executable wins, with or without a settings file
  }
  return result;
}

}  // namespace ar4
