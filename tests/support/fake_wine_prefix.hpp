#pragma once
// A Wine prefix in a temporary folder: drive_c, the drive link dosdevices/c: -> ../drive_c, and a
// system.reg written by the test. Removed again when the object goes.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ar4::testing {

class FakeWinePrefix {
 public:
  FakeWinePrefix() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ar4gui-prefix-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    std::filesystem::create_directories(root_ / "drive_c");
    std::filesystem::create_directories(root_ / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
  }
  ~FakeWinePrefix() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  FakeWinePrefix(const FakeWinePrefix&) = delete;
  FakeWinePrefix& operator=(const FakeWinePrefix&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path DriveC() const { return root_ / "drive_c"; }
  /// The path of a Windows path under C: as the search maps it (through the drive link).
  std::filesystem::path Mapped(std::string_view relative) const {
    return root_ / "dosdevices" / "c:" / std::filesystem::path(std::string(relative));
  }

  void WriteSystemReg(std::string_view text) const { WriteFile(root_ / "system.reg", text); }

  /// A system.reg as Wine writes it, whose installer folder key holds `escaped_names` (already in the
  /// file's escaping: backslashes doubled, \x for non-ASCII), between two other keys.
  void WriteInstallerFolders(const std::vector<std::string>& escaped_names) const {
    std::string text =
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to \\\\Machine\n\n"
        "#arch=win64\n\n"
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer] 1700000000\n"
        "#time=1da1b2c3d4e5f60\n"
        "\"InstallerLocation\"=\"C:\\\\windows\\\\system32\\\\\"\n\n"
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\Folders] 1700000001\n"
        "#time=1da1b2c3d4e5f61\n";
    for (const std::string& name : escaped_names) text += "\"" + name + "\"=\"\"\n";
    text +=
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\Products] 1700000002\n"
        "\"C:\\\\Other\\\\TrendoraStudio\\\\\"=\"\"\n";
    WriteSystemReg(text);
  }

  /// Makes a folder under drive_c (UTF-8 relative path) and returns it.
  std::filesystem::path MakeFolder(std::string_view relative) const {
    const auto path = DriveC() / std::filesystem::path(std::string(relative));
    std::filesystem::create_directories(path);
    return path;
  }

  static void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }

 private:
  std::filesystem::path root_;
};

}  // namespace ar4::testing
