#include "win32/splash.hpp"

#include "win32/dialog_template.hpp"

namespace ar4::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TTitl";
constexpr UINT_PTR kTimerId = 1;
constexpr COLORREF kLime = RGB(0, 255, 0);

}  // namespace

SplashWindow::SplashWindow(HINSTANCE instance) {
  background_ = CreateSolidBrush(kLime);
  font_ = CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background_;
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, kSplashWidth,
                            kSplashHeight, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return;
  SetClientSizeCentred(window_, kSplashWidth, kSplashHeight);
  timer_on_ = SetTimer(window_, kTimerId, kSplashInterval, nullptr) != 0;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

SplashWindow::~SplashWindow() {
  Close();
  DeleteObject(font_);
  DeleteObject(background_);
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

void SplashWindow::Close() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_HIDE);
  DestroyWindow(window_);
  window_ = nullptr;
  timer_on_ = false;
}

LRESULT CALLBACK SplashWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<SplashWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case WM_TIMER:
        if (wparam == kTimerId) {
          // TimerTimer: switch the timer off, nothing else.
          KillTimer(window, kTimerId);
          self->timer_on_ = false;
          return 0;
        }
        break;
      case WM_PAINT:
        self->window_ = window;
        self->Paint();
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void SplashWindow::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window_, &paint);
  HGDIOBJ old_font = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  for (const SplashLine& line : kSplashLines) {
    RECT rect{0, line.Top, kSplashWidth, line.Top + 24};
    DrawTextW(dc, line.Text, -1, &rect, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old_font);
  EndPaint(window_, &paint);
}

}  // namespace ar4::win32
