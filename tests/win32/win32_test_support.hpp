#pragma once
/// Helpers of the window program's tests: temporary folders, files, and driving windows under Wine.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace ar4::win32::testing {

/// True when windows can be created (a display is there); the window tests skip themselves otherwise.
bool HasDisplay();

/// A fresh folder under the temporary folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  /// The folder as a Windows path string with a trailing "\".
  std::wstring WithSeparator() const;

 private:
  std::filesystem::path path_;
};

/// Writes `bytes` into `file`, creating or replacing it.
void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);

/// Lets the windows handle their messages for `milliseconds`.
void PumpMessages(DWORD milliseconds);

/// Presses a key in the window that has the focus inside `dialog` (or in the dialog itself).
void PressKey(HWND dialog, WPARAM virtual_key);

/// The text of a window.
std::wstring WindowText(HWND window);

/// The size of a window's client area.
SIZE ClientSize(HWND window);

/// A control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND control);

}  // namespace ar4::win32::testing
