#include "gui/message_box.hpp"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <algorithm>

#include "modal_helper.hpp"

namespace ar4 {
namespace {

using testing::PressKey;
using testing::WhenModal;

/// The captions of the box's buttons from left to right.
QStringList ButtonRow(TMessageBox& box) {
  box.adjustSize();
  box.layout()->activate();
  QList<QPushButton*> row = box.findChildren<QPushButton*>();
  std::sort(row.begin(), row.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
  QStringList captions;
  for (QPushButton* button : row) captions << button->text();
  return captions;
}

TEST(MessageBoxTest, CaptionAndStandardIconByKind) {
  const struct {
    MessageKind kind;
    const char* caption;
    QStyle::StandardPixmap icon;
  } cases[] = {{MessageKind::kWarning, "Warning", QStyle::SP_MessageBoxWarning},
               {MessageKind::kError, "Error", QStyle::SP_MessageBoxCritical},
               {MessageKind::kInformation, "Information", QStyle::SP_MessageBoxInformation},
               {MessageKind::kConfirmation, "Confirm", QStyle::SP_MessageBoxQuestion}};
  for (const auto& c : cases) {
    TMessageBox box("text", c.kind, buttons::kOkOnly);
    EXPECT_EQ(box.windowTitle(), QString::fromLatin1(c.caption));
    const QPixmap shown = box.IconLabel()->pixmap();
    ASSERT_FALSE(shown.isNull());
    const QImage expected = box.style()->standardIcon(c.icon, nullptr, &box).pixmap(shown.size()).toImage();
    EXPECT_EQ(shown.toImage(), expected) << c.caption;
  }
}

TEST(MessageBoxTest, ButtonsStandInTheFixedOrderWithTheirCaptions) {
  const struct {
    unsigned set;
    QStringList row;
  } cases[] = {{buttons::kCancelOnly, {"Cancel"}},
               {buttons::kOkCancel, {"OK", "Cancel"}},
               {buttons::kYesNo, {"&Yes", "&No"}},
               {buttons::kOkOnly, {"OK"}},
               {buttons::kYes | buttons::kNo | buttons::kOk | buttons::kCancel, {"&Yes", "&No", "OK", "Cancel"}},
               {0, {"OK"}}};  // an empty set still gives a way out
  for (const auto& c : cases) {
    TMessageBox box("text", MessageKind::kInformation, c.set);
    EXPECT_EQ(ButtonRow(box), c.row) << c.set;
  }
}

/// Shows the box modally, presses `key` (or the close box when `key` is 0) and returns the result.
DialogResult Answer(unsigned set, int key) {
  WhenModal([key](QWidget* box) {
    if (key == 0) {
      box->close();
    } else {
      PressKey(box, static_cast<Qt::Key>(key));
    }
  });
  return ShowMessageBox(nullptr, "Вопрос", MessageKind::kConfirmation, set);
}

TEST(MessageBoxTest, EnterAndEscapePerButtonSet) {
  EXPECT_EQ(Answer(buttons::kCancelOnly, Qt::Key_Return), DialogResult::kCancel);
  EXPECT_EQ(Answer(buttons::kCancelOnly, Qt::Key_Escape), DialogResult::kCancel);
  EXPECT_EQ(Answer(buttons::kOkCancel, Qt::Key_Return), DialogResult::kOk);
  EXPECT_EQ(Answer(buttons::kOkCancel, Qt::Key_Enter), DialogResult::kOk);
  EXPECT_EQ(Answer(buttons::kOkCancel, Qt::Key_Escape), DialogResult::kCancel);
  EXPECT_EQ(Answer(buttons::kYesNo, Qt::Key_Return), DialogResult::kYes);
  EXPECT_EQ(Answer(buttons::kYesNo, Qt::Key_Escape), DialogResult::kNo);
  EXPECT_EQ(Answer(buttons::kOkOnly, Qt::Key_Return), DialogResult::kOk);
  EXPECT_EQ(Answer(buttons::kOkOnly, Qt::Key_Escape), DialogResult::kOk);
}

TEST(MessageBoxTest, CloseBoxGivesCancelWhateverTheSet) {
  for (unsigned set : {buttons::kCancelOnly, buttons::kOkCancel, buttons::kYesNo, buttons::kOkOnly}) {
    EXPECT_EQ(Answer(set, 0), DialogResult::kCancel) << set;
  }
}

TEST(MessageBoxTest, ClickedButtonGivesItsCode) {
  const struct {
    unsigned set;
    DialogResult press;
  } cases[] = {{buttons::kOkCancel, DialogResult::kCancel}, {buttons::kYesNo, DialogResult::kNo},
               {buttons::kYesNo, DialogResult::kYes}, {buttons::kOkCancel, DialogResult::kOk}};
  for (const auto& c : cases) {
    WhenModal([press = c.press](QWidget* window) {
      auto* box = qobject_cast<TMessageBox*>(window);
      ASSERT_NE(box, nullptr);
      QTest::mouseClick(box->Button(press), Qt::LeftButton);
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "x", MessageKind::kConfirmation, c.set), c.press);
  }
}

TEST(MessageBoxTest, TabThenEnterPressesTheFocusedButton) {
  WhenModal([](QWidget* box) {
    PressKey(box, Qt::Key_Tab);
    PressKey(box, Qt::Key_Return);
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "x", MessageKind::kInformation, buttons::kOkCancel), DialogResult::kCancel);
}

TEST(MessageBoxTest, ReportLineEndsBecomeLineBreaks) {
  EXPECT_EQ(MessageTextForDisplay("Тип прибора: VR7731\rЗаводской номер: 1\r"),
            QString::fromUtf8("Тип прибора: VR7731\nЗаводской номер: 1\n"));
  EXPECT_EQ(MessageTextForDisplay("a\r\nb\n\rc\nd"), QString::fromUtf8("a\nb\nc\nd"));
  // The overlap warning: the count, LF CR, then entries that each begin with LF CR.
  EXPECT_EQ(MessageTextForDisplay("N : 2\n\r\n\rA\n\rB"), QString::fromUtf8("N : 2\n\nA\nB"));
  EXPECT_EQ(MessageTextForDisplay("\r\r"), QString::fromUtf8("\n\n"));
}

TEST(MessageBoxTest, TextIsShownAsPlainWrappedText) {
  TMessageBox box("<b>1 < 2</b>\rline", MessageKind::kInformation, buttons::kOkOnly);
  EXPECT_EQ(box.TextLabel()->textFormat(), Qt::PlainText);
  EXPECT_TRUE(box.TextLabel()->wordWrap());
  EXPECT_EQ(box.TextLabel()->text(), QString::fromUtf8("<b>1 < 2</b>\nline"));

  // A long text wraps at a width below the screen's instead of making the box ever wider.
  std::string long_text;
  for (int i = 0; i < 300; ++i) long_text += "слово ";
  TMessageBox wide(long_text, MessageKind::kInformation, buttons::kOkOnly);
  wide.adjustSize();
  EXPECT_LT(wide.width(), 1200);
  EXPECT_GT(wide.TextLabel()->height(), wide.TextLabel()->fontMetrics().height() * 2);
}

}  // namespace
}  // namespace ar4
