#pragma once
/// The one modal message box through which every message of the program is shown: a caption and a
/// standard icon by kind, the text word-wrapped beside the icon, the buttons of the set in the fixed order
/// Yes, No, OK, Cancel.

#include <QDialog>
#include <QString>
#include <QStyle>
#include <string_view>

#include "core/conversion/user_interface.hpp"

class QLabel;
class QPushButton;

namespace ar4 {

/// "Warning", "Error", "Information", "Confirm".
QString MessageBoxCaption(MessageKind kind);

/// The standard icon of a kind: warning, critical (stop), information, question.
QStyle::StandardPixmap MessageBoxIcon(MessageKind kind);

/// A message (UTF-8) as the box shows it: every line break, whether CR, LF, CR LF or LF CR, starts one
/// new line.
QString MessageTextForDisplay(std::string_view utf8);

class TMessageBox : public QDialog {
  Q_OBJECT

 public:
  TMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set, QWidget* parent = nullptr);

  /// The button of a result, or nullptr when the set lacks it.
  QPushButton* Button(DialogResult result) const;
  QLabel* TextLabel() const { return text_label_; }
  QLabel* IconLabel() const { return icon_label_; }
  /// What Enter (on no other button) and Esc press.
  DialogResult EnterResult() const { return enter_result_; }
  DialogResult EscapeResult() const { return escape_result_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 public slots:
  /// The close box and Alt+F4: Cancel, whatever the set.
  void reject() override;

 private:
  QLabel* icon_label_ = nullptr;
  QLabel* text_label_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* no_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  DialogResult enter_result_ = DialogResult::kCancel;
  DialogResult escape_result_ = DialogResult::kCancel;
};

/// Shows the box modally and returns the button pressed (the close box counts as Cancel).
DialogResult ShowMessageBox(QWidget* parent, std::string_view text, MessageKind kind, unsigned buttons_set);

}  // namespace ar4
