#include "win32_test_support.hpp"

#include <cstdio>
#include <random>
#include <vector>

namespace ar4::win32::testing {

bool HasDisplay() {
  static const bool has_display = [] {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
  }();
  return has_display;
}

TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / (L"ar4win32-" + std::to_wstring(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::wstring TempFolder::WithSeparator() const {
  std::wstring text = path_.wstring();
  if (text.empty() || text.back() != L'\\') text += L'\\';
  return text;
}

void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::FILE* out = _wfopen(file.c_str(), L"wb");
  if (out == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

void PressKey(HWND dialog, WPARAM virtual_key) {
  HWND target = GetFocus();
  if (target == nullptr || (target != dialog && !IsChild(dialog, target))) target = dialog;
  // Only the key-down: a key-up left in the queue after the window has gone stalls Wine's message loop.
  PostMessageW(target, WM_KEYDOWN, virtual_key, 1);
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

SIZE ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

RECT ChildRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace ar4::win32::testing
