#include "win32/screenshot.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32/png_writer.hpp"

namespace ar4::win32 {
namespace {

/// Lets the window system map and paint the windows before the picture is taken.
void LetWindowsSettle(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

std::filesystem::path EnvironmentPath(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

bool CaptureWindowPng(HWND window, const std::filesystem::path& file, DWORD settle_milliseconds) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  LetWindowsSettle(settle_milliseconds);
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height); i < n; ++i) {
      rgb[3 * i] = pixels[4 * i + 2];
      rgb[3 * i + 1] = pixels[4 * i + 1];
      rgb[3 * i + 2] = pixels[4 * i];
    }
    const std::vector<std::uint8_t> png = EncodePng(width, height, rgb);
    if (std::FILE* out = _wfopen(file.c_str(), L"wb")) {
      saved = std::fwrite(png.data(), 1, png.size(), out) == png.size();
      saved = std::fclose(out) == 0 && saved;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

std::optional<ScreenshotRecorder> ScreenshotRecorder::FromEnvironment() {
  ScreenshotRecorder recorder;
  recorder.Folder = EnvironmentPath(L"AR4CONV_SCREENSHOT_DIR");
  if (recorder.Folder.empty()) return std::nullopt;
  recorder.Archive = EnvironmentPath(L"AR4CONV_SCREENSHOT_ARCHIVE");
  recorder.OutputFolder = EnvironmentPath(L"AR4CONV_SCREENSHOT_OUTPUT");
  return recorder;
}

bool ScreenshotRecorder::Capture(HWND window, std::wstring_view name) const {
  return CaptureWindowPng(window, Folder / (L"win32-" + std::wstring(name) + L".png"), SettleMilliseconds);
}

}  // namespace ar4::win32
