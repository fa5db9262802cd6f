#include "win32/splash.hpp"

#include <gtest/gtest.h>

#include "win32_test_support.hpp"

namespace ar4::win32 {
namespace {

TEST(SplashWindow, FramelessTopmostLimeWindowWhoseTimerFiresOnceAfterThreeSeconds) {
  if (!testing::HasDisplay()) GTEST_SKIP() << "no display";
  const DWORD start = GetTickCount();
  SplashWindow splash(GetModuleHandleW(nullptr));
  HWND window = splash.Handle();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  const SIZE client = testing::ClientSize(window);
  EXPECT_EQ(client.cx, 669);
  EXPECT_EQ(client.cy, 303);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_NEAR((rect.left + rect.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);

  testing::PumpMessages(2500);
  EXPECT_TRUE(splash.TimerOn());
  while (splash.TimerOn() && GetTickCount() - start < 6000) testing::PumpMessages(20);
  EXPECT_FALSE(splash.TimerOn());
  EXPECT_GE(GetTickCount() - start, 2900u);
  splash.Close();
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace ar4::win32
