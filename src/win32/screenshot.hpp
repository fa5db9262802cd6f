#pragma once
/// Pictures of the program's windows for its documentation. When the environment variable
/// AR4CONV_SCREENSHOT_DIR names a folder, the program records each of its windows there as a PNG file
/// and answers its own dialogs, so that its look can be recorded without anybody at the keyboard.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace ar4::win32 {

/// Saves what `window` shows on the screen (frame included) as a PNG file, after letting the windows
/// settle for `settle_milliseconds`; false on failure.
bool CaptureWindowPng(HWND window, const std::filesystem::path& file, DWORD settle_milliseconds = 400);

struct ScreenshotRecorder {
  std::filesystem::path Folder;        // AR4CONV_SCREENSHOT_DIR: where the pictures go
  std::filesystem::path Archive;       // AR4CONV_SCREENSHOT_ARCHIVE: the file the open dialog "chooses"
  std::filesystem::path OutputFolder;  // AR4CONV_SCREENSHOT_OUTPUT: the folder the folder browser "chooses"
  DWORD SettleMilliseconds = 400;      // time for the window system to map and paint before a picture

  /// The recorder the environment asks for, if any.
  static std::optional<ScreenshotRecorder> FromEnvironment();

  /// Saves `window` as Folder/win32-<name>.png.
  bool Capture(HWND window, std::wstring_view name) const;
};

}  // namespace ar4::win32
