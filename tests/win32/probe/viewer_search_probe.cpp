// Prints what the viewer search finds in this machine's registry, one "key=value" line each, in UTF-8.
// With "--launch" it also starts the viewer it found and prints whether the start succeeded.

#include <cstdio>
#include <string>
#include <string_view>

#include "core/viewer/windows_registry.hpp"
#include "win32/text.hpp"
#include "win32/viewer_launch.hpp"

int main(int argc, char** argv) {
  const std::vector<std::wstring> names = ar4::ReadInstallerFolderNames();
  for (const std::wstring& name : names) std::printf("name=%s\n", ar4::win32::Utf8FromWide(name).c_str());
  const ar4::ViewerSearchResult result = ar4::GetTrendoraFolderPath(names);
  std::printf("found=%d\n", result.ExecutableFound ? 1 : 0);
  std::printf("executable=%s\n", ar4::win32::Utf8FromWide(result.ViewerExecutable.wstring()).c_str());
  std::printf("data=%s\n", ar4::win32::Utf8FromWide(result.ViewerDataFolder.wstring()).c_str());
  if (argc > 1 && std::string_view(argv[1]) == "--launch") {
    std::printf("launched=%d\n", ar4::win32::LaunchViewer(result.ViewerExecutable.wstring()) ? 1 : 0);
  }
  return 0;
}
