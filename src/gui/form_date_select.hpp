#pragma once
/// The interval dialog: where the output goes (a folder chosen now, or the viewer's data folder) and what
/// is converted (one run of the overlap list, or all cells between two calendar days). Created once at
/// start-up and reused, so the user's last choices stay set from one conversion to the next.

#include <QDialog>
#include <string>
#include <vector>

#include "core/conversion/user_interface.hpp"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace ar4 {

class TFormDateSelect : public QDialog {
  Q_OBJECT

 public:
  /// The client area; the window with its frame is 353 x 359.
  static constexpr int kClientWidth = 345;
  static constexpr int kClientHeight = 325;

  explicit TFormDateSelect(QWidget* parent = nullptr);

  /// The runs of the overlap analysis (56-character texts) replace the list; item 0 is chosen.
  void SetItems(const std::vector<std::string>& items);

  /// Before each showing: without a known data folder of the viewer the target is forced to item 0 and
  /// cannot be changed; with one the group is enabled and keeps the user's last choice.
  void PrepareTarget(bool viewer_data_known);

  /// The state the conversion reads once the dialog was confirmed.
  IntervalChoice Choice() const;

  int SelectIntervalIndex() const;
  int SelectDirIndex() const;
  void SetSelectIntervalIndex(int index);
  void SetSelectDirIndex(int index);

  QPushButton* BtnOk = nullptr;
  QPushButton* BtnCancel = nullptr;
  QGroupBox* SelectInterval = nullptr;
  QButtonGroup* SelectIntervalItems = nullptr;  // "Список" (0), "Интервал" (1)
  QGroupBox* SelectDir = nullptr;
  QButtonGroup* SelectDirItems = nullptr;  // "Выбрать каталог для распаковки" (0), "Интегрировать ..." (1)
  QSpinBox* EditDate1 = nullptr;
  QSpinBox* EditMonth1 = nullptr;
  QSpinBox* EditYear1 = nullptr;
  QSpinBox* EditDate2 = nullptr;
  QSpinBox* EditMonth2 = nullptr;
  QSpinBox* EditYear2 = nullptr;
  QComboBox* BoxInterval = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;

 public slots:
  /// One handler for clicks on both radio groups: the date fields are usable in DateRangeMode, the list
  /// of runs in ListMode.
  void SelectIntervalClick();
  void BtnOkClick();
  void BtnCancelClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
};

}  // namespace ar4
