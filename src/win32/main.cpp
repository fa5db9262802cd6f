// ar4conv-gui: the native Windows window program. Start-up: the splash, the main window and the interval
// dialog created hidden, the wait for the splash's timer, the main window shown, the message loop.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/file_system.hpp"
#include "win32/main_window.hpp"
#include "win32/screenshot.hpp"
#include "win32/splash.hpp"
#include "win32/text.hpp"

namespace {

/// The program's arguments after its name, in UTF-8.
std::vector<std::string> ArgumentsAfterProgram() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(ar4::win32::Utf8FromWide(words[i]));
  LocalFree(words);
  return arguments;
}

/// Screenshot mode after the main window is shown: one conversion of the given archive with the dialogs
/// answered by the program itself, an error box, then the end of the program.
void RecordWindows(ar4::win32::MainWindow& main_window, const ar4::win32::ScreenshotRecorder& recorder) {
  recorder.Capture(main_window.Handle(), L"main");
  if (!recorder.Archive.empty()) main_window.BtnConvertClick();
  main_window.ShowMessageBox("Ошибочный формат файла", ar4::MessageKind::kError, ar4::buttons::kCancelOnly);
  PostMessageW(main_window.Handle(), WM_CLOSE, 0, 0);
}

int Run(HINSTANCE instance) {
  const std::optional<ar4::win32::ScreenshotRecorder> screenshots = ar4::win32::ScreenshotRecorder::FromEnvironment();

  // The splash first; its three seconds include the creation of everything else.
  ar4::win32::SplashWindow splash(instance);
  ar4::ArchiveBuffers buffers;
  ar4::DiskFileSystem file_system;
  ar4::ConversionDriver driver(buffers, file_system);
  driver.Settings().DetailedMode = ar4::DetailedModeFromArguments(ArgumentsAfterProgram());
  driver.Settings().DecimalSeparator = ar4::UserDecimalSeparator();
  ar4::win32::MainWindow main_window(instance, driver, screenshots ? &*screenshots : nullptr);
  if (main_window.Handle() == nullptr) return 1;

  MSG msg{};
  while (splash.TimerOn() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (screenshots) screenshots->Capture(splash.Handle(), L"splash");
  splash.Close();

  main_window.Show();
  if (screenshots) RecordWindows(main_window, *screenshots);

  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(main_window.Handle(), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);
  int code = 1;
  try {
    code = Run(instance);
  } catch (const std::exception& failure) {
    // Not expected: the conversion reports its own failures. The box names the program.
    const std::string text = std::string("Ошибки\n") + failure.what();
    MessageBoxW(nullptr, ar4::win32::MessageTextForDisplay(text).c_str(), ar4::win32::kApplicationTitle,
                MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBoxW(nullptr, L"Ошибки", ar4::win32::kApplicationTitle, MB_OK | MB_ICONERROR);
  }
  CoUninitialize();
  return code;
}
