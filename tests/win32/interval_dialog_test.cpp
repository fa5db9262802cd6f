#include "win32/interval_dialog.hpp"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "win32_test_support.hpp"

namespace ar4::win32 {
namespace {

namespace ids = interval_ids;
using testing::HasDisplay;
using testing::PressKey;
using testing::WindowText;

class IntervalDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasDisplay()) GTEST_SKIP() << "no display";
    dialog_ = std::make_unique<IntervalDialog>(nullptr);
    ASSERT_NE(dialog_->Handle(), nullptr);
  }

  HWND Control(int id) const { return dialog_->Control(id); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  int Spin(int id) const {
    return static_cast<int>(SendMessageW(Control(id + ids::kSpinOffset), UDM_GETPOS32, 0, 0));
  }
  void Click(int id) const { SendMessageW(Control(id), BM_CLICK, 0, 0); }

  /// Shows the dialog modally; `act` runs once it is on the screen and must end it. A dialog still open
  /// after five seconds is cancelled and the test fails.
  std::optional<IntervalChoice> Show(const std::vector<std::string>& items, bool viewer_known,
                                     const std::function<void(HWND)>& act) {
    static bool watchdog_fired = false;
    watchdog_fired = false;
    auto result = dialog_->ShowModal(items, viewer_known, [&](HWND dialog) {
      SetTimer(dialog, 0x5AFE, 5000, [](HWND open, UINT, UINT_PTR, DWORD) {
        watchdog_fired = true;
        PostMessageW(open, WM_COMMAND, MAKEWPARAM(ids::kBtnCancel, BN_CLICKED), 0);
      });
      act(dialog);
    });
    EXPECT_FALSE(watchdog_fired) << "the dialog did not close";
    return result;
  }

  static void Press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  }

  std::unique_ptr<IntervalDialog> dialog_;
};

TEST_F(IntervalDialogTest, WindowHasItsCaptionSizeAndNoCloseBox) {
  HWND dialog = dialog_->Handle();
  EXPECT_EQ(WindowText(dialog), L" Выбор преобразуемого интервала");
  RECT rect{};
  GetWindowRect(dialog, &rect);
  EXPECT_EQ(rect.right - rect.left, 353);
  EXPECT_EQ(rect.bottom - rect.top, 359);
  EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU, 0);
  EXPECT_FALSE(IsWindowVisible(dialog));
}

TEST_F(IntervalDialogTest, ControlsStandWhereTheyBelongWithTheirTexts) {
  struct Place {
    int Id;
    RECT Rect;
    const wchar_t* Text;
  };
  const Place places[] = {
      {ids::kBtnOk, {40, 288, 153, 313}, L"Ok"},
      {ids::kBtnCancel, {200, 288, 313, 313}, L"Отмена"},
      {ids::kSelectInterval, {16, 80, 329, 137}, L" Интервал "},
      {ids::kSelectDir, {16, 8, 329, 65}, L" Каталог для распаковки "},
  };
  for (const Place& place : places) {
    const RECT rect = testing::ChildRect(Control(place.Id));
    EXPECT_EQ(rect.left, place.Rect.left) << place.Id;
    EXPECT_EQ(rect.top, place.Rect.top) << place.Id;
    EXPECT_EQ(rect.right, place.Rect.right) << place.Id;
    EXPECT_EQ(rect.bottom, place.Rect.bottom) << place.Id;
    EXPECT_EQ(WindowText(Control(place.Id)), place.Text);
  }
  EXPECT_EQ(WindowText(Control(ids::kSelectIntervalList)), L"Список");
  EXPECT_EQ(WindowText(Control(ids::kSelectIntervalRange)), L"Интервал");
  EXPECT_EQ(WindowText(Control(ids::kSelectDirChoose)), L"Выбрать каталог для распаковки");
  EXPECT_EQ(WindowText(Control(ids::kSelectDirViewer)), L"Интегрировать данные в TrendoraStudio");
  EXPECT_EQ(WindowText(Control(ids::kLabel1)), L"Начало  интервала");
  EXPECT_EQ(WindowText(Control(ids::kLabel2)), L"Конец  интервала");
  EXPECT_EQ(WindowText(Control(ids::kLabel3)), L"Число");
  EXPECT_EQ(WindowText(Control(ids::kLabel4)), L"Месяц");
  EXPECT_EQ(WindowText(Control(ids::kLabel5)), L"Год");
  const RECT box = testing::ChildRect(Control(ids::kBoxInterval));
  EXPECT_EQ(box.left, 16);
  EXPECT_EQ(box.top, 152);
  EXPECT_EQ(box.right - box.left, 313);
}

TEST_F(IntervalDialogTest, InitialStateIsListModeWithTheDefaultDates) {
  EXPECT_TRUE(Checked(ids::kSelectIntervalList));
  EXPECT_FALSE(Checked(ids::kSelectIntervalRange));
  EXPECT_TRUE(Checked(ids::kSelectDirChoose));
  EXPECT_TRUE(Enabled(ids::kBoxInterval));
  for (int id : {ids::kLabel1, ids::kLabel2, ids::kLabel3, ids::kLabel4, ids::kLabel5}) EXPECT_FALSE(Enabled(id));
  for (const SpinEditLayout& spin : kSpinEdits) {
    EXPECT_FALSE(Enabled(spin.Id));
    EXPECT_EQ(Spin(spin.Id), spin.Initial);
    int low = 0, high = 0;
    SendMessageW(Control(spin.Id + ids::kSpinOffset), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, spin.Minimum);
    EXPECT_EQ(high, spin.Maximum);
    const RECT rect = testing::ChildRect(Control(spin.Id));
    EXPECT_EQ(rect.left, spin.Left);
    EXPECT_EQ(rect.top, spin.Top);
  }
  // The year is shown without a thousands separator.
  EXPECT_EQ(WindowText(Control(ids::kEditYear1)), L"2014");
  EXPECT_EQ(SendMessageW(Control(ids::kBoxInterval), CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(Control(ids::kBoxInterval), CB_GETCURSEL, 0, 0), 0);
  const IntervalChoice choice = dialog_->CurrentChoice();
  EXPECT_EQ(choice.From.Day, 1);
  EXPECT_EQ(choice.From.Month, 1);
  EXPECT_EQ(choice.From.Year, 2014);
  EXPECT_EQ(choice.To.Day, 31);
  EXPECT_EQ(choice.To.Month, 12);
  EXPECT_EQ(choice.To.Year, 2063);
}

TEST_F(IntervalDialogTest, ModeEnablesEitherTheDatesOrTheRunList) {
  Click(ids::kSelectIntervalRange);
  EXPECT_FALSE(Enabled(ids::kBoxInterval));
  EXPECT_TRUE(Enabled(ids::kLabel1));
  EXPECT_TRUE(Enabled(ids::kEditYear2));
  EXPECT_TRUE(Enabled(ids::kEditYear2 + ids::kSpinOffset));
  // A click on the target group re-applies the rule of the current mode and changes nothing else.
  Click(ids::kSelectDirViewer);
  EXPECT_FALSE(Enabled(ids::kBoxInterval));
  EXPECT_TRUE(Enabled(ids::kEditDate1));
  EXPECT_TRUE(Checked(ids::kSelectIntervalRange));
  Click(ids::kSelectIntervalList);
  EXPECT_TRUE(Enabled(ids::kBoxInterval));
  EXPECT_FALSE(Enabled(ids::kLabel5));
  EXPECT_FALSE(Enabled(ids::kEditDate1));
}

TEST_F(IntervalDialogTest, OkReturnsTheChoiceAndCancelNothing) {
  const std::vector<std::string> items{"   первый", "   второй", "   третий"};
  auto choice = Show(items, true, [&](HWND dialog) {
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(SendMessageW(Control(ids::kBoxInterval), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(Control(ids::kBoxInterval), CB_GETCURSEL, 0, 0), 0);
    SendMessageW(Control(ids::kBoxInterval), CB_SETCURSEL, 2, 0);
    Click(ids::kSelectDirViewer);
    Press(dialog, ids::kBtnOk);
  });
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->BoxIntervalIndex, 2u);
  EXPECT_EQ(choice->SelectDir, 1);
  EXPECT_EQ(choice->SelectInterval, 0);
  EXPECT_FALSE(IsWindowVisible(dialog_->Handle()));

  EXPECT_FALSE(Show(items, true, [&](HWND dialog) { Press(dialog, ids::kBtnCancel); }).has_value());
}

TEST_F(IntervalDialogTest, OnlyItsTwoButtonsEndTheDialog) {
  bool still_open = false;
  auto choice = Show({"   run"}, true, [&](HWND dialog) {
    PressKey(dialog, VK_ESCAPE);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    testing::PumpMessages(200);
    still_open = IsWindowVisible(dialog) != FALSE;
    Press(dialog, ids::kBtnOk);
  });
  EXPECT_TRUE(still_open);
  EXPECT_TRUE(choice.has_value());
}

TEST_F(IntervalDialogTest, WithoutViewerDataTheTargetIsForcedToAChosenFolder) {
  // An earlier conversion chose the viewer's data folder.
  Show({"   run"}, true, [&](HWND dialog) {
    Click(ids::kSelectDirViewer);
    Press(dialog, ids::kBtnOk);
  });
  bool group_enabled = true, viewer_enabled = true;
  auto choice = Show({"   run"}, false, [&](HWND dialog) {
    group_enabled = Enabled(ids::kSelectDir);
    viewer_enabled = Enabled(ids::kSelectDirViewer);
    Press(dialog, ids::kBtnOk);
  });
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->SelectDir, 0);
  EXPECT_FALSE(group_enabled);
  EXPECT_FALSE(viewer_enabled);
  // With the data folder known again the group is enabled; the forced choice stays.
  choice = Show({"   run"}, true, [&](HWND dialog) {
    group_enabled = Enabled(ids::kSelectDirViewer);
    Press(dialog, ids::kBtnOk);
  });
  EXPECT_TRUE(group_enabled);
  EXPECT_EQ(choice->SelectDir, 0);
}

TEST_F(IntervalDialogTest, DatesMoveOnlyByTheArrowsWithinTheirRangesAndAreKept) {
  auto choice = Show({"   run"}, true, [&](HWND dialog) {
    Click(ids::kSelectIntervalRange);
    SetFocus(Control(ids::kEditDate2));  // 31: the top of its range
    PressKey(dialog, VK_UP);
    testing::PumpMessages(50);
    SetFocus(Control(ids::kEditYear1));  // 2014
    PressKey(dialog, VK_DOWN);
    PressKey(dialog, VK_DOWN);
    testing::PumpMessages(50);
    SetFocus(Control(ids::kEditMonth1));  // 1: the bottom of its range
    PressKey(dialog, VK_DOWN);
    // Typing changes nothing: the edits are read-only.
    PostMessageW(Control(ids::kEditMonth1), WM_CHAR, L'7', 1);
    testing::PumpMessages(50);
    Press(dialog, ids::kBtnOk);
  });
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->SelectInterval, 1);
  EXPECT_EQ(choice->To.Day, 31);
  EXPECT_EQ(choice->From.Year, 2012);
  EXPECT_EQ(choice->From.Month, 1);
  EXPECT_EQ(WindowText(Control(ids::kEditYear1)), L"2012");

  // The next conversion finds the dialog as it was left; only the run list is new.
  auto again = Show({"   a", "   b"}, true, [&](HWND dialog) { Press(dialog, ids::kBtnOk); });
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->SelectInterval, 1);
  EXPECT_EQ(again->From.Year, 2012);
  EXPECT_EQ(again->BoxIntervalIndex, 0u);
  EXPECT_FALSE(Enabled(ids::kBoxInterval));
}

}  // namespace
}  // namespace ar4::win32
