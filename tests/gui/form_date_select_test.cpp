#include "gui/form_date_select.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <string>
#include <utility>
#include <vector>

#include "modal_helper.hpp"

namespace ar4 {
namespace {

using testing::PressKey;
using testing::WhenModal;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(FormDateSelectTest, WindowHasItsCaptionSizeAndNoCloseBox) {
  TFormDateSelect dialog;
  EXPECT_EQ(dialog.windowTitle(), U(" Выбор преобразуемого интервала"));
  EXPECT_EQ(dialog.size(), QSize(345, 325));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  const Qt::WindowFlags flags = dialog.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
}

TEST(FormDateSelectTest, ControlsStandAtTheirPlacesWithTheirTexts) {
  TFormDateSelect dialog;
  EXPECT_EQ(dialog.BtnOk->geometry(), QRect(40, 288, 113, 25));
  EXPECT_EQ(dialog.BtnOk->text(), U("Ok"));
  EXPECT_EQ(dialog.BtnCancel->geometry(), QRect(200, 288, 113, 25));
  EXPECT_EQ(dialog.BtnCancel->text(), U("Отмена"));
  EXPECT_EQ(dialog.SelectInterval->geometry(), QRect(16, 80, 313, 57));
  EXPECT_EQ(dialog.SelectInterval->title(), U(" Интервал "));
  EXPECT_EQ(dialog.SelectIntervalItems->button(0)->text(), U("Список"));
  EXPECT_EQ(dialog.SelectIntervalItems->button(1)->text(), U("Интервал"));
  EXPECT_EQ(dialog.SelectDir->geometry(), QRect(16, 8, 313, 57));
  EXPECT_EQ(dialog.SelectDir->title(), U(" Каталог для распаковки "));
  EXPECT_EQ(dialog.SelectDirItems->button(0)->text(), U("Выбрать каталог для распаковки"));
  EXPECT_EQ(dialog.SelectDirItems->button(1)->text(), U("Интегрировать данные в TrendoraStudio"));
  EXPECT_EQ(dialog.BoxInterval->geometry(), QRect(16, 152, 313, 21));
  EXPECT_EQ(dialog.BoxInterval->toolTip(), U("Перечень временны'х наложений"));

  const struct {
    QLabel* label;
    QPoint at;
    const char* text;
  } labels[] = {{dialog.Label3, {136, 192}, "Число"},
                {dialog.Label4, {200, 192}, "Месяц"},
                {dialog.Label5, {281, 192}, "Год"},
                {dialog.Label1, {16, 211}, "Начало  интервала"},
                {dialog.Label2, {16, 243}, "Конец  интервала"}};
  for (const auto& l : labels) {
    EXPECT_EQ(l.label->pos(), l.at) << l.text;
    EXPECT_EQ(l.label->text(), U(l.text));
  }
}

TEST(FormDateSelectTest, RadioItemsStandInsideTheirFrames) {
  // Inside the frame as the style draws it: its top line must not cross the first item's mark.
  TFormDateSelect dialog;
  for (QGroupBox* group : {dialog.SelectDir, dialog.SelectInterval}) {
    for (QRadioButton* radio : group->findChildren<QRadioButton*>()) {
      EXPECT_TRUE(group->contentsRect().contains(radio->geometry())) << radio->objectName().toStdString();
    }
  }
}

TEST(FormDateSelectTest, RowHeadsEndBeforeTheSpinEditsAndShowTheirWholeText) {
  TFormDateSelect dialog;
  for (const auto& [label, spin] :
       {std::pair{dialog.Label1, dialog.EditDate1}, std::pair{dialog.Label2, dialog.EditDate2}}) {
    EXPECT_LT(label->geometry().right() + 3, spin->x()) << label->text().toStdString();
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
  }
}

TEST(FormDateSelectTest, ListOfRunsOpensWithTwentyLinesThatScroll) {
  TFormDateSelect dialog;
  std::vector<std::string> runs;
  for (int i = 0; i < 56; ++i) runs.push_back("   run " + std::to_string(i));
  dialog.SetItems(runs);
  dialog.show();
  dialog.BoxInterval->showPopup();
  QAbstractItemView* list = dialog.BoxInterval->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const int last_shown = list->indexAt(QPoint(2, list->viewport()->height() - 1)).row();
  EXPECT_EQ(list->indexAt(QPoint(2, 0)).row(), 0);
  EXPECT_EQ(last_shown, 19);
  EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
  dialog.BoxInterval->hidePopup();
  dialog.hide();
}

TEST(FormDateSelectTest, SpinEditsHaveRangesDefaultsHintsAndBoldValues) {
  TFormDateSelect dialog;
  const struct {
    QSpinBox* spin;
    QRect geometry;
    int minimum, maximum, value, length;
    const char* hint;
  } spins[] = {{dialog.EditDate1, {128, 208, 49, 22}, 1, 31, 1, 2, "Число"},
               {dialog.EditMonth1, {192, 208, 49, 22}, 1, 12, 1, 2, "Месяц"},
               {dialog.EditYear1, {256, 208, 73, 22}, 2000, 2063, 2014, 4, "Год"},
               {dialog.EditDate2, {128, 240, 49, 22}, 1, 31, 31, 2, "Число"},
               {dialog.EditMonth2, {192, 240, 49, 22}, 1, 12, 12, 2, "Месяц"},
               {dialog.EditYear2, {256, 240, 73, 22}, 2000, 2063, 2063, 4, "Год"}};
  for (const auto& s : spins) {
    SCOPED_TRACE(s.spin->objectName().toStdString());
    EXPECT_EQ(s.spin->geometry(), s.geometry);
    EXPECT_EQ(s.spin->minimum(), s.minimum);
    EXPECT_EQ(s.spin->maximum(), s.maximum);
    EXPECT_EQ(s.spin->value(), s.value);
    EXPECT_EQ(s.spin->toolTip(), U(s.hint));
    EXPECT_TRUE(s.spin->font().bold());
    EXPECT_EQ(s.spin->findChild<QLineEdit*>()->maxLength(), s.length);
  }
}

TEST(FormDateSelectTest, SpinEditsChangeOnlyByStepsWithinTheirRange) {
  TFormDateSelect dialog;
  dialog.SetSelectIntervalIndex(1);
  QSpinBox* day = dialog.EditDate1;
  QTest::keyClicks(day, "25");  // no typing
  EXPECT_EQ(day->value(), 1);
  QTest::keyClick(day, Qt::Key_Up);
  QTest::keyClick(day, Qt::Key_Up);
  EXPECT_EQ(day->value(), 3);
  QTest::keyClick(day, Qt::Key_Down);
  EXPECT_EQ(day->value(), 2);

  QSpinBox* year = dialog.EditYear2;
  QTest::keyClick(year, Qt::Key_Up);  // already at 2063
  EXPECT_EQ(year->value(), 2063);
  dialog.EditMonth1->setValue(1);
  QTest::keyClick(dialog.EditMonth1, Qt::Key_Down);
  EXPECT_EQ(dialog.EditMonth1->value(), 1);
}

TEST(FormDateSelectTest, InitialStateIsListModeWithThePlaceholderItem) {
  TFormDateSelect dialog;
  EXPECT_EQ(dialog.SelectIntervalIndex(), 0);
  EXPECT_EQ(dialog.SelectDirIndex(), 0);
  ASSERT_EQ(dialog.BoxInterval->count(), 1);
  EXPECT_EQ(dialog.BoxInterval->itemText(0), U("  Всё"));
  EXPECT_EQ(dialog.BoxInterval->currentIndex(), 0);
  EXPECT_FALSE(dialog.BoxInterval->isEditable());
  EXPECT_EQ(dialog.BoxInterval->maxVisibleItems(), 20);
  EXPECT_TRUE(dialog.BoxInterval->isEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{dialog.Label1, dialog.Label2, dialog.Label3, dialog.Label4,
                                                    dialog.Label5, dialog.EditDate1, dialog.EditMonth1,
                                                    dialog.EditYear1, dialog.EditDate2, dialog.EditMonth2,
                                                    dialog.EditYear2}) {
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  }
}

/// True when the date fields are usable and the list is not (DateRangeMode), false for the opposite;
/// fails on a mixed state.
bool DateFieldsEnabled(const TFormDateSelect& dialog) {
  const bool range = dialog.EditDate1->isEnabled();
  for (QWidget* w : std::initializer_list<QWidget*>{dialog.Label1, dialog.Label2, dialog.Label3, dialog.Label4,
                                                    dialog.Label5, dialog.EditMonth1, dialog.EditYear1,
                                                    dialog.EditDate2, dialog.EditMonth2, dialog.EditYear2}) {
    EXPECT_EQ(w->isEnabled(), range) << w->objectName().toStdString();
  }
  EXPECT_EQ(dialog.BoxInterval->isEnabled(), !range);
  return range;
}

TEST(FormDateSelectTest, ClicksOnEitherGroupApplyTheModeOfSelectInterval) {
  TFormDateSelect dialog;
  dialog.show();
  testing::ClickRadio(dialog.SelectIntervalItems->button(1));
  EXPECT_EQ(dialog.SelectIntervalIndex(), 1);
  EXPECT_TRUE(DateFieldsEnabled(dialog));

  testing::ClickRadio(dialog.SelectIntervalItems->button(0));
  EXPECT_FALSE(DateFieldsEnabled(dialog));

  // A click on the target group re-applies the state of the current mode and changes nothing else.
  dialog.SetSelectIntervalIndex(1);
  dialog.EditYear1->setEnabled(false);
  dialog.BoxInterval->setEnabled(true);
  dialog.EditYear1->setValue(2020);
  testing::ClickRadio(dialog.SelectDirItems->button(1));
  EXPECT_TRUE(DateFieldsEnabled(dialog));
  EXPECT_EQ(dialog.SelectIntervalIndex(), 1);
  EXPECT_EQ(dialog.SelectDirIndex(), 1);
  EXPECT_EQ(dialog.EditYear1->value(), 2020);
  dialog.hide();
}

TEST(FormDateSelectTest, ArrowKeysInTheModeGroupAlsoApplyTheMode) {
  TFormDateSelect dialog;
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QAbstractButton* list = dialog.SelectIntervalItems->button(0);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(dialog.SelectIntervalIndex(), 1);
  EXPECT_TRUE(DateFieldsEnabled(dialog));
  dialog.hide();
}

TEST(FormDateSelectTest, WithoutViewerDataTheTargetIsForcedToTheFolderChoice) {
  TFormDateSelect dialog;
  dialog.SetSelectDirIndex(1);
  dialog.PrepareTarget(false);
  EXPECT_EQ(dialog.SelectDirIndex(), 0);
  EXPECT_FALSE(dialog.SelectDir->isEnabled());

  dialog.PrepareTarget(true);
  EXPECT_TRUE(dialog.SelectDir->isEnabled());
  dialog.SetSelectDirIndex(1);
  dialog.PrepareTarget(true);  // keeps the user's last choice
  EXPECT_EQ(dialog.SelectDirIndex(), 1);
}

TEST(FormDateSelectTest, ItemsReplaceTheListAndTheFirstIsChosen) {
  TFormDateSelect dialog;
  dialog.SetItems({"   run one", "   run two", "   run three"});
  ASSERT_EQ(dialog.BoxInterval->count(), 3);
  EXPECT_EQ(dialog.BoxInterval->itemText(2), U("   run three"));
  EXPECT_EQ(dialog.BoxInterval->currentIndex(), 0);
  dialog.BoxInterval->setCurrentIndex(2);
  dialog.SetItems({"   other"});
  EXPECT_EQ(dialog.BoxInterval->count(), 1);
  EXPECT_EQ(dialog.BoxInterval->currentIndex(), 0);
}

TEST(FormDateSelectTest, ChoiceReportsEveryControl) {
  TFormDateSelect dialog;
  dialog.SetItems({"a", "b", "c"});
  dialog.BoxInterval->setCurrentIndex(2);
  dialog.SetSelectIntervalIndex(1);
  dialog.SetSelectDirIndex(1);
  dialog.EditDate1->setValue(5);
  dialog.EditMonth1->setValue(6);
  dialog.EditYear1->setValue(2007);
  dialog.EditDate2->setValue(31);  // no calendar check: 31 February
  dialog.EditMonth2->setValue(2);
  dialog.EditYear2->setValue(2008);
  const IntervalChoice choice = dialog.Choice();
  EXPECT_EQ(choice.SelectDir, 1);
  EXPECT_EQ(choice.SelectInterval, 1);
  EXPECT_EQ(choice.BoxIntervalIndex, 2u);
  EXPECT_EQ(choice.From.Day, 5);
  EXPECT_EQ(choice.From.Month, 6);
  EXPECT_EQ(choice.From.Year, 2007);
  EXPECT_EQ(choice.To.Day, 31);
  EXPECT_EQ(choice.To.Month, 2);
  EXPECT_EQ(choice.To.Year, 2008);
}

TEST(FormDateSelectTest, DefaultsGiveTheDefaultChoice) {
  TFormDateSelect dialog;
  const IntervalChoice choice = dialog.Choice();
  const IntervalChoice defaults;
  EXPECT_EQ(choice.SelectDir, defaults.SelectDir);
  EXPECT_EQ(choice.SelectInterval, defaults.SelectInterval);
  EXPECT_EQ(choice.From.Year, defaults.From.Year);
  EXPECT_EQ(choice.To.Day, defaults.To.Day);
  EXPECT_EQ(choice.To.Month, defaults.To.Month);
  EXPECT_EQ(choice.To.Year, defaults.To.Year);
}

TEST(FormDateSelectTest, EndsOnlyThroughItsButtons) {
  TFormDateSelect dialog;
  bool still_open_after_escape = false;
  bool still_open_after_close = false;
  WhenModal([&](QWidget* window) {
    PressKey(window, Qt::Key_Escape);
    still_open_after_escape = window->isVisible();
    window->close();
    still_open_after_close = window->isVisible();
    QTest::mouseClick(dialog.BtnOk, Qt::LeftButton);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(still_open_after_escape);
  EXPECT_TRUE(still_open_after_close);

  WhenModal([&](QWidget*) { QTest::mouseClick(dialog.BtnCancel, Qt::LeftButton); });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(FormDateSelectTest, EnterPressesOnlyAFocusedButton) {
  TFormDateSelect dialog;
  WhenModal([&](QWidget* window) {
    dialog.BoxInterval->setFocus();
    PressKey(window, Qt::Key_Return);  // on the list: nothing
    dialog.BtnCancel->setFocus();
    PressKey(window, Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

}  // namespace
}  // namespace ar4
