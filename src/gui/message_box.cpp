#include "gui/message_box.hpp"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace ar4 {
namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

}  // namespace

QString MessageBoxCaption(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning: return QStringLiteral("Warning");
    case MessageKind::kError: return QStringLiteral("Error");
    case MessageKind::kInformation: return QStringLiteral("Information");
    case MessageKind::kConfirmation: return QStringLiteral("Confirm");
  }
  return QString();
}

QStyle::StandardPixmap MessageBoxIcon(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning: return QStyle::SP_MessageBoxWarning;
    case MessageKind::kError: return QStyle::SP_MessageBoxCritical;
    case MessageKind::kInformation: return QStyle::SP_MessageBoxInformation;
    case MessageKind::kConfirmation: return QStyle::SP_MessageBoxQuestion;
  }
  return QStyle::SP_MessageBoxInformation;
}

QString MessageTextForDisplay(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      out += u'\n';
      // The report ends its lines with CR, the export's files with CR LF, the overlap warning uses LF CR:
      // a pair of the two different characters is one line break.
      if (i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n') && text[i + 1] != c) ++i;
    } else {
      out += c;
    }
  }
  return out;
}

TMessageBox::TMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(MessageBoxCaption(kind));
  setModal(true);
  if ((buttons_set & (buttons::kYes | buttons::kNo | buttons::kOk | buttons::kCancel)) == 0) {
    buttons_set = buttons::kOk;  // a box must always be closable by a button
  }

  icon_label_ = new QLabel(this);
  icon_label_->setObjectName(QStringLiteral("IconLabel"));
  const int icon_size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon_label_->setPixmap(style()->standardIcon(MessageBoxIcon(kind), nullptr, this).pixmap(icon_size, icon_size));
  icon_label_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  text_label_ = new QLabel(this);
  text_label_->setObjectName(QStringLiteral("TextLabel"));
  text_label_->setTextFormat(Qt::PlainText);
  text_label_->setWordWrap(true);
  text_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text_label_->setText(MessageTextForDisplay(text));

  // Sized to the text: as wide as its longest line, but no wider than about half the screen, where the
  // words wrap; as high as the wrapped text needs.
  const QScreen* screen = parent != nullptr && parent->screen() != nullptr ? parent->screen()
                                                                           : QGuiApplication::primaryScreen();
  const int max_width = std::max(320, screen != nullptr ? screen->availableGeometry().width() / 2 : 480);
  const QFontMetrics metrics(text_label_->font());
  int natural = 0;
  for (const QString& line : text_label_->text().split(u'\n')) {
    natural = std::max(natural, metrics.horizontalAdvance(line));
  }
  const int width = std::clamp(natural + 4, 120, max_width);
  text_label_->setFixedWidth(width);
  text_label_->setMinimumHeight(text_label_->heightForWidth(width));

  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  row->addWidget(icon_label_, 0, Qt::AlignTop);
  row->addWidget(text_label_, 1);

  auto* button_row = new QHBoxLayout;
  button_row->setSpacing(6);
  button_row->addStretch(1);
  auto add_button = [&](unsigned bit, const char* caption, DialogResult result) -> QPushButton* {
    if ((buttons_set & bit) == 0) return nullptr;
    auto* button = new QPushButton(QString::fromUtf8(caption), this);
    button->setMinimumSize(kButtonWidth, kButtonHeight);
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this, [this, result] { done(static_cast<int>(result)); });
    button_row->addWidget(button);
    return button;
  };
  yes_ = add_button(buttons::kYes, "&Yes", DialogResult::kYes);
  no_ = add_button(buttons::kNo, "&No", DialogResult::kNo);
  ok_ = add_button(buttons::kOk, "OK", DialogResult::kOk);
  cancel_ = add_button(buttons::kCancel, "Cancel", DialogResult::kCancel);
  button_row->addStretch(1);

  // Enter presses the first button of the set; Esc presses Cancel, else No, else OK.
  QPushButton* first = yes_ != nullptr ? yes_ : no_ != nullptr ? no_ : ok_ != nullptr ? ok_ : cancel_;
  enter_result_ = first == yes_ ? DialogResult::kYes
                  : first == no_ ? DialogResult::kNo
                  : first == ok_ ? DialogResult::kOk
                                 : DialogResult::kCancel;
  escape_result_ = cancel_ != nullptr ? DialogResult::kCancel
                   : no_ != nullptr   ? DialogResult::kNo
                   : ok_ != nullptr   ? DialogResult::kOk
                                      : DialogResult::kYes;
  first->setDefault(true);
  first->setFocus();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 10);
  layout->setSpacing(14);
  layout->addLayout(row);
  layout->addLayout(button_row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* TMessageBox::Button(DialogResult result) const {
  switch (result) {
    case DialogResult::kYes: return yes_;
    case DialogResult::kNo: return no_;
    case DialogResult::kOk: return ok_;
    case DialogResult::kCancel: return cancel_;
  }
  return nullptr;
}

void TMessageBox::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Escape) {
      done(static_cast<int>(escape_result_));
      return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      // A focused button takes Enter itself; this is Enter with the focus elsewhere.
      if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused != nullptr) {
        focused->click();
      } else {
        done(static_cast<int>(enter_result_));
      }
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

void TMessageBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* target = screen(); target != nullptr) {
    const QRect area = target->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void TMessageBox::reject() { done(static_cast<int>(DialogResult::kCancel)); }

DialogResult ShowMessageBox(QWidget* parent, std::string_view text, MessageKind kind, unsigned buttons_set) {
  TMessageBox box(text, kind, buttons_set, parent);
  switch (box.exec()) {
    case static_cast<int>(DialogResult::kOk): return DialogResult::kOk;
    case static_cast<int>(DialogResult::kYes): return DialogResult::kYes;
    case static_cast<int>(DialogResult::kNo): return DialogResult::kNo;
    default: return DialogResult::kCancel;
  }
}

}  // namespace ar4
