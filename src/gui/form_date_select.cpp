#include "gui/form_date_select.hpp"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyleFactory>
#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace ar4 {
namespace {

constexpr int kVisibleListLines = 20;
constexpr int kRadioHeight = 17;
constexpr int kLabelGap = 4;  // at least this much room between a row head and the spin edit beside it

/// The combo box style of the list of runs: the list opens below the box as a list of kVisibleListLines
/// lines that scrolls. Styles whose combo boxes pop up over the box like a menu (Fusion among them) make
/// the list as tall as the screen allows and ignore the number of lines.
class ListBelowBoxStyle final : public QProxyStyle {
 public:
  explicit ListBelowBoxStyle(QStyle* base) : QProxyStyle(base) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* result) const override {
    if (hint == QStyle::SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(hint, option, widget, result);
  }
};

QSpinBox* MakeSpinEdit(QWidget* parent, const char* name, QRect geometry, int minimum, int maximum, int value,
                       int max_length, const char* hint) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setGeometry(geometry);
  spin->setRange(minimum, maximum);
  spin->setValue(value);
  spin->setToolTip(QString::fromUtf8(hint));
  spin->setKeyboardTracking(false);
  spin->setAccelerated(false);
  QFont bold = spin->font();
  bold.setBold(true);
  spin->setFont(bold);
  // No typing: the value changes only through the up and down buttons and the arrow keys.
  if (auto* edit = spin->findChild<QLineEdit*>(); edit != nullptr) {
    edit->setReadOnly(true);
    edit->setMaxLength(max_length);
  }
  spin->setEnabled(false);
  return spin;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QPoint position) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(position);
  label->adjustSize();
  label->setEnabled(false);
  return label;
}

/// Shrinks the face of `labels` (all alike) until each ends left of `right`, for faces wider than the one
/// the dialog was laid out for.
void FitLabels(std::initializer_list<QLabel*> labels, int right) {
  QFont face = (*labels.begin())->font();
  auto fits = [&] {
    for (QLabel* label : labels) {
      label->setFont(face);
      label->adjustSize();
      if (label->geometry().right() >= right) return false;
    }
    return true;
  };
  while (!fits() && face.pixelSize() > 8) face.setPixelSize(face.pixelSize() - 1);
}

/// A radio group: a framed box with its caption and two items one below the other.
QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const char* caption, QRect geometry,
                          const char* item0, const char* item1, QButtonGroup*& items) {
  auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  items = new QButtonGroup(box);
  items->setExclusive(true);
  // The items stand inside the frame, below its top line: where the style draws the caption above the
  // frame (Fusion), the frame starts lower than a fixed offset would assume.
  const QRect inside = box->contentsRect();
  const int first_top = inside.top() + std::max(0, (inside.height() - 2 * kRadioHeight - 1) / 2);
  const char* texts[] = {item0, item1};
  for (int i = 0; i < 2; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(texts[i]), box);
    radio->setObjectName(QStringLiteral("%1Item%2").arg(QString::fromLatin1(name)).arg(i));
    radio->setGeometry(8, first_top + (kRadioHeight + 1) * i, geometry.width() - 16, kRadioHeight);
    items->addButton(radio, i);
  }
  items->button(0)->setChecked(true);
  return box;
}

}  // namespace

TFormDateSelect::TFormDateSelect(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("FormDateSelect"));
  setWindowTitle(QString::fromUtf8(" Выбор преобразуемого интервала"));
  setModal(true);
  QFont face(QStringLiteral("MS Sans Serif"));
  face.setStyleHint(QFont::SansSerif);
  face.setPixelSize(11);
  setFont(face);
  setFixedSize(kClientWidth, kClientHeight);

  BtnOk = new QPushButton(QStringLiteral("Ok"), this);
  BtnOk->setObjectName(QStringLiteral("BtnOk"));
  BtnOk->setGeometry(40, 288, 113, 25);

  SelectInterval = MakeRadioGroup(this, "SelectInterval", " Интервал ", QRect(16, 80, 313, 57), "Список",
                                  "Интервал", SelectIntervalItems);

  EditDate1 = MakeSpinEdit(this, "EditDate1", QRect(128, 208, 49, 22), 1, 31, 1, 2, "Число");
  EditMonth1 = MakeSpinEdit(this, "EditMonth1", QRect(192, 208, 49, 22), 1, 12, 1, 2, "Месяц");
  EditYear1 = MakeSpinEdit(this, "EditYear1", QRect(256, 208, 73, 22), 2000, 2063, 2014, 4, "Год");
  EditDate2 = MakeSpinEdit(this, "EditDate2", QRect(128, 240, 49, 22), 1, 31, 31, 2, "Число");
  EditMonth2 = MakeSpinEdit(this, "EditMonth2", QRect(192, 240, 49, 22), 1, 12, 12, 2, "Месяц");
  EditYear2 = MakeSpinEdit(this, "EditYear2", QRect(256, 240, 73, 22), 2000, 2063, 2063, 4, "Год");

  BoxInterval = new QComboBox(this);
  BoxInterval->setObjectName(QStringLiteral("BoxInterval"));
  BoxInterval->setGeometry(16, 152, 313, 21);
  BoxInterval->setEditable(false);
  BoxInterval->setMaxVisibleItems(kVisibleListLines);
  auto* list_style = new ListBelowBoxStyle(QStyleFactory::create(BoxInterval->style()->name()));
  list_style->setParent(BoxInterval);
  BoxInterval->setStyle(list_style);
  BoxInterval->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  BoxInterval->setToolTip(QString::fromUtf8("Перечень временны'х наложений"));
  BoxInterval->addItem(QString::fromUtf8("  Всё"));
  // The run texts are 56 characters wide; a point smaller than the dialog's face keeps them whole in the box.
  QFont list_face = BoxInterval->font();
  list_face.setPixelSize(10);
  BoxInterval->setFont(list_face);

  BtnCancel = new QPushButton(QString::fromUtf8("Отмена"), this);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  BtnCancel->setGeometry(200, 288, 113, 25);

  SelectDir = MakeRadioGroup(this, "SelectDir", " Каталог для распаковки ", QRect(16, 8, 313, 57),
                             "Выбрать каталог для распаковки", "Интегрировать данные в TrendoraStudio",
                             SelectDirItems);

  Label3 = MakeLabel(this, "Label3", "Число", QPoint(136, 192));
  Label4 = MakeLabel(this, "Label4", "Месяц", QPoint(200, 192));
  Label5 = MakeLabel(this, "Label5", "Год", QPoint(281, 192));
  Label1 = MakeLabel(this, "Label1", "Начало  интервала", QPoint(16, 211));
  Label2 = MakeLabel(this, "Label2", "Конец  интервала", QPoint(16, 243));
  FitLabels({Label1, Label2}, EditDate1->x() - kLabelGap);

  // Tab order: BtnOk, SelectInterval, the six spin edits, BoxInterval, BtnCancel, SelectDir.
  QWidget* order[] = {BtnOk,     SelectIntervalItems->button(0), EditDate1,   EditMonth1,
                      EditYear1, EditDate2,                      EditMonth2,  EditYear2,
                      BoxInterval, BtnCancel,                    SelectDirItems->button(0)};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // Buttons are pressed with Enter only while they have the focus; the dialog has no default button.
  BtnOk->setAutoDefault(false);
  BtnCancel->setAutoDefault(false);

  connect(BtnOk, &QPushButton::clicked, this, &TFormDateSelect::BtnOkClick);
  connect(BtnCancel, &QPushButton::clicked, this, &TFormDateSelect::BtnCancelClick);
  connect(SelectIntervalItems, &QButtonGroup::idClicked, this, &TFormDateSelect::SelectIntervalClick);
  connect(SelectDirItems, &QButtonGroup::idClicked, this, &TFormDateSelect::SelectIntervalClick);
  // Arrow keys move the choice within a group without a click; the enabled state follows all the same.
  connect(SelectIntervalItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) SelectIntervalClick();
  });

  FormCreate();
}

void TFormDateSelect::FormCreate() {
  BoxInterval->setCurrentIndex(0);
  SelectIntervalClick();
}

void TFormDateSelect::SetItems(const std::vector<std::string>& items) {
  BoxInterval->clear();
  for (const std::string& item : items) {
    BoxInterval->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
  }
  BoxInterval->setCurrentIndex(items.empty() ? -1 : 0);
  // The list opens wide enough for whole item texts even where they are wider than the box.
  BoxInterval->view()->setMinimumWidth(BoxInterval->view()->sizeHintForColumn(0) + 8);
}

void TFormDateSelect::PrepareTarget(bool viewer_data_known) {
  if (!viewer_data_known) SetSelectDirIndex(0);
  SelectDir->setEnabled(viewer_data_known);
}

IntervalChoice TFormDateSelect::Choice() const {
  IntervalChoice choice;
  choice.SelectDir = SelectDirIndex();
  choice.SelectInterval = SelectIntervalIndex();
  choice.BoxIntervalIndex = static_cast<std::uint32_t>(std::max(0, BoxInterval->currentIndex()));
  choice.From = DialogDate{EditDate1->value(), EditMonth1->value(), EditYear1->value()};
  choice.To = DialogDate{EditDate2->value(), EditMonth2->value(), EditYear2->value()};
  return choice;
}

int TFormDateSelect::SelectIntervalIndex() const { return std::max(0, SelectIntervalItems->checkedId()); }
int TFormDateSelect::SelectDirIndex() const { return std::max(0, SelectDirItems->checkedId()); }

void TFormDateSelect::SetSelectIntervalIndex(int index) {
  if (QAbstractButton* button = SelectIntervalItems->button(index); button != nullptr) button->setChecked(true);
  SelectIntervalClick();
}

void TFormDateSelect::SetSelectDirIndex(int index) {
  if (QAbstractButton* button = SelectDirItems->button(index); button != nullptr) button->setChecked(true);
}

void TFormDateSelect::SelectIntervalClick() {
  const bool range = SelectIntervalIndex() == 1;
  for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3),
                     static_cast<QWidget*>(Label4), static_cast<QWidget*>(Label5),
                     static_cast<QWidget*>(EditDate1), static_cast<QWidget*>(EditMonth1),
                     static_cast<QWidget*>(EditYear1), static_cast<QWidget*>(EditDate2),
                     static_cast<QWidget*>(EditMonth2), static_cast<QWidget*>(EditYear2)}) {
    w->setEnabled(range);
  }
  BoxInterval->setEnabled(!range);
}

void TFormDateSelect::BtnOkClick() { done(QDialog::Accepted); }

void TFormDateSelect::BtnCancelClick() { done(QDialog::Rejected); }

void TFormDateSelect::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();  // the dialog ends only through its two buttons
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused != nullptr) focused->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFormDateSelect::closeEvent(QCloseEvent* event) {
  event->ignore();  // no close box: Alt+F4 and the window manager's close do nothing either
}

void TFormDateSelect::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* target = screen(); target != nullptr) {
    const QRect area = target->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

}  // namespace ar4
