#pragma once
/// The splash window TTitl: frameless, always on top, lime, 669 x 303, the program's lines in Courier New
/// bold; its timer fires once, 3000 ms after the window was created.

#include <windows.h>

namespace ar4::win32 {

struct SplashLine {
  int Top;
  const wchar_t* Text;
};

inline constexpr int kSplashWidth = 669;
inline constexpr int kSplashHeight = 303;
inline constexpr UINT kSplashInterval = 3000;  // ms

inline constexpr SplashLine kSplashLines[] = {
    {16, L"Программа конвертирования архивных данных приборов"},
    {48, L"VR7731,     VR7731Д,"},
    {72, L"VR7732,     VR7732Д,"},
    {96, L"VR7733,     VR7733Д,"},
    {120, L"ЛС 260,     ГРВ-300."},
    {152, L"в формат программы TrendoraStudio"},
    {184, L"ar4conv — конвертер архивов .ar4"},
    {208, L"V2.24"},
    {232, L"Чтение, проверка и перевод записей приборов"},
    {264, L"2026"},
};

class SplashWindow {
 public:
  /// Creates, shows and paints the splash at once; its timer starts now.
  explicit SplashWindow(HINSTANCE instance);
  ~SplashWindow();
  SplashWindow(const SplashWindow&) = delete;
  SplashWindow& operator=(const SplashWindow&) = delete;

  HWND Handle() const { return window_; }
  /// True until the timer has fired (TimerTimer switches it off).
  bool TimerOn() const { return timer_on_; }
  /// Hides and destroys the window.
  void Close();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HBRUSH background_ = nullptr;
  bool timer_on_ = false;
};

}  // namespace ar4::win32
