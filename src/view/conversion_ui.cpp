#include "view/conversion_ui.hpp"

#include <QCoreApplication>

namespace ar4::view {

ViewConversionUi::ViewConversionUi(QWidget* parent, std::filesystem::path archive, IntervalChoice choice,
                                   ConversionAnswers answers)
    : parent_(parent), archive_(std::move(archive)), choice_(choice), answers_(std::move(answers)) {}

std::optional<std::filesystem::path> ViewConversionUi::OpenArchiveDialog(const std::filesystem::path&) {
  // The archive shown; after a refusal the driver asks again, and the answer is "cancelled".
  if (archive_given_) return std::nullopt;
  archive_given_ = true;
  return archive_;
}

DialogResult ViewConversionUi::ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) {
  // The report with OK and Cancel: the viewer has shown it already.
  if (buttons_set == buttons::kOkCancel) return DialogResult::kOk;
  if (progress_) progress_->hide();
  return answers_.ShowMessage(text, kind, buttons_set);
}

std::optional<IntervalChoice> ViewConversionUi::ShowIntervalDialog(const std::vector<std::string>& items, bool) {
  if (choice_.SelectInterval == 0 && choice_.BoxIntervalIndex >= items.size()) return std::nullopt;
  return choice_;
}

std::optional<std::filesystem::path> ViewConversionUi::SelectDirectory(std::string_view prompt) {
  return answers_.ChooseFolder(prompt);
}

QProgressDialog& ViewConversionUi::Progress() {
  if (!progress_) {
    progress_ = new QProgressDialog(parent_);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setCancelButton(nullptr);
    progress_->setWindowTitle(QCoreApplication::translate("ar4view", "Преобразование"));
    progress_->setLabelText(QCoreApplication::translate("ar4view", "Запись файлов…"));
    progress_->setRange(0, 100);
    progress_->setMinimumDuration(300);
    progress_->setWindowModality(Qt::WindowModal);
  }
  return *progress_;
}

void ViewConversionUi::ShowGauge(bool visible) {
  if (visible) {
    Progress().setLabelText(QCoreApplication::translate("ar4view", "Запись файлов…"));
  } else if (progress_) {
    progress_->close();
  }
}

void ViewConversionUi::SetGaugePosition(int percent) { Progress().setValue(percent); }

void ViewConversionUi::ShowLabelSort(bool visible) {
  if (visible) Progress().setLabelText(QCoreApplication::translate("ar4view", "Сортировка по дате…"));
}

void ViewConversionUi::SetLabelPrc(std::optional<std::string_view> text) {
  if (text && !text->empty()) Progress().setValue(std::atoi(std::string(*text).c_str()));
}

void ViewConversionUi::ProcessEvents() { QCoreApplication::processEvents(); }

}  // namespace ar4::view
