#include "win32/dialog_template.hpp"

#include <cstring>

namespace ar4::win32 {

DialogTemplate::DialogTemplate(DWORD style, DWORD extended_style, std::wstring_view caption) {
  // DLGTEMPLATE, then three WORD arrays: no menu, the default class, the caption.
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  DLGTEMPLATE header{};
  header.style = style;
  header.dwExtendedStyle = extended_style;
  std::memcpy(words.data(), &header, sizeof header);
  words.push_back(0);  // menu
  words.push_back(0);  // class
  for (wchar_t c : caption) words.push_back(static_cast<WORD>(c));
  words.push_back(0);
  words_.assign((words.size() * sizeof(WORD) + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
  std::memcpy(words_.data(), words.data(), words.size() * sizeof(WORD));
}

namespace {

void CentreOnScreen(HWND window, int width, int height) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int left = area.left + (area.right - area.left - width) / 2;
  const int top = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void SetClientSizeCentred(HWND window, int width, int height) {
  RECT rect{0, 0, width, height};
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const DWORD extended = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  AdjustWindowRectEx(&rect, style, GetMenu(window) != nullptr, extended);
  CentreOnScreen(window, rect.right - rect.left, rect.bottom - rect.top);
}

void SetWindowSizeCentred(HWND window, int width, int height) { CentreOnScreen(window, width, height); }

HWND CreateChild(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style, int x, int y,
                 int width, int height, int id, HFONT font, DWORD extended_style) {
  HWND child = CreateWindowExW(extended_style, window_class, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                               height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (child != nullptr && font != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace ar4::win32
