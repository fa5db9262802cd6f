#include "win32/message_box.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "win32_test_support.hpp"

namespace ar4::win32 {
namespace {

using testing::HasDisplay;
using testing::PressKey;
using testing::WindowText;

TEST(MessageBoxRules, ButtonsStandInTheFixedOrderWithTheirCaptions) {
  const std::vector<DialogResult> all = MessageBoxButtons(buttons::kYes | buttons::kNo | buttons::kOk | buttons::kCancel);
  EXPECT_EQ(all, (std::vector<DialogResult>{DialogResult::kYes, DialogResult::kNo, DialogResult::kOk,
                                            DialogResult::kCancel}));
  EXPECT_EQ(MessageBoxButtons(buttons::kOkCancel), (std::vector<DialogResult>{DialogResult::kOk, DialogResult::kCancel}));
  EXPECT_EQ(MessageBoxButtons(buttons::kCancelOnly), std::vector<DialogResult>{DialogResult::kCancel});
  // A set without any known button still gives a box that can be closed.
  EXPECT_EQ(MessageBoxButtons(0), std::vector<DialogResult>{DialogResult::kOk});
  EXPECT_STREQ(MessageBoxButtonCaption(DialogResult::kYes), L"&Yes");
  EXPECT_STREQ(MessageBoxButtonCaption(DialogResult::kNo), L"&No");
  EXPECT_STREQ(MessageBoxButtonCaption(DialogResult::kOk), L"OK");
  EXPECT_STREQ(MessageBoxButtonCaption(DialogResult::kCancel), L"Cancel");
}

TEST(MessageBoxRules, EnterAndEscOfTheFourSetsInUse) {
  EXPECT_EQ(MessageBoxDefaultButton(buttons::kCancelOnly), DialogResult::kCancel);
  EXPECT_EQ(MessageBoxEscapeButton(buttons::kCancelOnly), DialogResult::kCancel);
  EXPECT_EQ(MessageBoxDefaultButton(buttons::kOkCancel), DialogResult::kOk);
  EXPECT_EQ(MessageBoxEscapeButton(buttons::kOkCancel), DialogResult::kCancel);
  EXPECT_EQ(MessageBoxDefaultButton(buttons::kYesNo), DialogResult::kYes);
  EXPECT_EQ(MessageBoxEscapeButton(buttons::kYesNo), DialogResult::kNo);
  EXPECT_EQ(MessageBoxDefaultButton(buttons::kOkOnly), DialogResult::kOk);
  EXPECT_EQ(MessageBoxEscapeButton(buttons::kOkOnly), DialogResult::kOk);
}

/// Shows a box and lets `act` work on it once it is on the screen. A box that is still open after five
/// seconds is closed and the test fails.
DialogResult ShowAndAct(unsigned set, const std::function<void(HWND)>& act,
                        MessageKind kind = MessageKind::kInformation, std::string_view text = "Сообщение") {
  static bool watchdog_fired = false;
  watchdog_fired = false;
  const DialogResult result = ShowMessageBoxWindow(nullptr, text, kind, set, [&](HWND box) {
    SetTimer(box, 0x5AFE, 5000, [](HWND open_box, UINT, UINT_PTR, DWORD) {
      watchdog_fired = true;
      EndDialog(open_box, IDCANCEL);
    });
    act(box);
  });
  EXPECT_FALSE(watchdog_fired) << "the box did not close";
  return result;
}

struct KeyCase {
  unsigned Set;
  DialogResult Enter, Escape;
};

TEST(MessageBoxWindow, EnterEscAndTheCloseBoxGiveTheResultsOfEachSet) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  const KeyCase cases[] = {
      {buttons::kCancelOnly, DialogResult::kCancel, DialogResult::kCancel},
      {buttons::kOkCancel, DialogResult::kOk, DialogResult::kCancel},
      {buttons::kYesNo, DialogResult::kYes, DialogResult::kNo},
      {buttons::kOkOnly, DialogResult::kOk, DialogResult::kOk},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.Set);
    EXPECT_EQ(ShowAndAct(c.Set, [](HWND box) { PressKey(box, VK_RETURN); }), c.Enter);
    EXPECT_EQ(ShowAndAct(c.Set, [](HWND box) { PressKey(box, VK_ESCAPE); }), c.Escape);
    // The close box and Alt+F4 give Cancel whatever the set.
    EXPECT_EQ(ShowAndAct(c.Set, [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }),
              DialogResult::kCancel);
  }
}

TEST(MessageBoxWindow, EnterPressesTheButtonThatHasTheFocus) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  EXPECT_EQ(ShowAndAct(buttons::kYesNo, [](HWND box) {
              PressKey(box, VK_TAB);
              PressKey(box, VK_RETURN);
            }),
            DialogResult::kNo);
  EXPECT_EQ(ShowAndAct(buttons::kOkCancel,
                       [](HWND box) { SendMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0); }),
            DialogResult::kCancel);
}

TEST(MessageBoxWindow, ShowsCaptionIconTextAndButtonsInOneRow) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  std::wstring caption, text;
  std::vector<std::wstring> captions;
  std::vector<LONG> lefts;
  bool icon_set = false, centred = false, no_prefix = false;
  ShowAndAct(
      buttons::kYesNo,
      [&](HWND box) {
        caption = WindowText(box);
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
          wchar_t class_name[32] = {};
          GetClassNameW(child, class_name, 32);
          const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
          if (lstrcmpiW(class_name, L"Button") == 0) {
            captions.push_back(WindowText(child));
            lefts.push_back(testing::ChildRect(child).left);
          } else if ((style & SS_TYPEMASK) == SS_ICON) {
            icon_set = SendMessageW(child, STM_GETICON, 0, 0) != 0;
          } else {
            text = WindowText(child);
            no_prefix = (style & SS_NOPREFIX) != 0;
          }
        }
        RECT rect{};
        GetWindowRect(box, &rect);
        const int screen_middle = GetSystemMetrics(SM_CXSCREEN) / 2;
        centred = std::abs((rect.left + rect.right) / 2 - screen_middle) <= 2;
        PressKey(box, VK_ESCAPE);
      },
      MessageKind::kConfirmation, "Сортировать по дате?\rA & B");
  EXPECT_EQ(caption, L"Confirm");
  EXPECT_EQ(captions, (std::vector<std::wstring>{L"&Yes", L"&No"}));
  ASSERT_EQ(lefts.size(), 2u);
  EXPECT_LT(lefts[0], lefts[1]);
  EXPECT_TRUE(icon_set);
  EXPECT_EQ(text, L"Сортировать по дате?\r\nA & B");
  EXPECT_TRUE(no_prefix);  // an ampersand of a message is shown, not taken as a mnemonic
  EXPECT_TRUE(centred);
}

TEST(MessageBoxWindow, BoxGrowsWithALongReport) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  std::string report;
  for (int i = 0; i < 16; ++i) report += "Строка отчёта номер " + std::to_string(i) + "\r";
  LONG short_height = 0, long_height = 0;
  auto measure = [](LONG& height) {
    return [&height](HWND box) {
      height = testing::ClientSize(box).cy;
      PressKey(box, VK_ESCAPE);
    };
  };
  ShowAndAct(buttons::kOkCancel, measure(short_height), MessageKind::kInformation, "Одна строка");
  ShowAndAct(buttons::kOkCancel, measure(long_height), MessageKind::kInformation, report);
  EXPECT_GT(long_height, short_height + 100);
}

}  // namespace
}  // namespace ar4::win32
