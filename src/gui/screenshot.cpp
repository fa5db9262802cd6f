#include "gui/screenshot.hpp"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QScreen>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "core/export/file_system.hpp"
#include "gui/form_convert.hpp"
#include "gui/form_date_select.hpp"
#include "gui/message_box.hpp"

namespace ar4 {
namespace {

constexpr int kSettleMs = 300;  // lets a freshly shown window lay itself out and paint

/// Forwards to the main window, but picks the archive itself and answers every dialog after taking its
/// picture.
class ScreenshotUi final : public UserInterface {
 public:
  ScreenshotUi(TFormConvert& form, const ScreenshotPlan& plan) : form_(form), plan_(plan) {}

  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path&) override {
    if (archive_given_) return std::nullopt;
    archive_given_ = true;
    return plan_.Archive;
  }

  DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) override {
    const bool report = !report_taken_ && kind == MessageKind::kInformation;
    report_taken_ = report_taken_ || report;
    AnswerModal(report ? QStringLiteral("report-box.png") : QString(), [](QWidget* box) {
      if (auto* message = qobject_cast<TMessageBox*>(box); message != nullptr) {
        message->done(static_cast<int>(message->EnterResult()));
      }
    });
    return form_.ShowMessageBox(text, kind, buttons_set);
  }

  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                   bool viewer_data_known) override {
    // The picture shows the list of runs opened below the dialog, so it is taken from the screen.
    AnswerModal(QString(), [this](QWidget* dialog) {
      auto* select = qobject_cast<TFormDateSelect*>(dialog);
      if (select == nullptr) return;
      select->BoxInterval->showPopup();
      QTimer::singleShot(kSettleMs, select, [this, select] {
        SaveScreenPicture({select, select->BoxInterval->view()->window()}, plan_.Folder,
                          QStringLiteral("interval-dialog.png"));
        select->BoxInterval->hidePopup();
        select->BtnCancel->click();
      });
    });
    return form_.ShowIntervalDialog(items, viewer_data_known);
  }

  std::optional<std::filesystem::path> SelectDirectory(std::string_view) override { return std::nullopt; }
  void SetConvertEnabled(bool enabled) override { form_.SetConvertEnabled(enabled); }
  void ShowGauge(bool visible) override { form_.ShowGauge(visible); }
  void SetGaugePosition(int percent) override { form_.SetGaugePosition(percent); }
  void ShowLabelSort(bool visible) override { form_.ShowLabelSort(visible); }
  void SetLabelPrc(std::optional<std::string_view> text) override { form_.SetLabelPrc(text); }
  void ProcessEvents() override { form_.ProcessEvents(); }

 private:
  /// Once the modal window about to be shown is up: its picture (when named), then `answer`.
  void AnswerModal(const QString& picture, std::function<void(QWidget*)> answer) {
    QTimer::singleShot(kSettleMs, [this, picture, answer = std::move(answer)] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      if (!picture.isEmpty()) SaveWindowPicture(modal, plan_.Folder, picture);
      answer(modal);
    });
  }

  TFormConvert& form_;
  const ScreenshotPlan& plan_;
  bool archive_given_ = false;
  bool report_taken_ = false;
};

}  // namespace

ScreenshotPlan ScreenshotPlanFromEnvironment() {
  ScreenshotPlan plan;
  if (const char* folder = std::getenv("AR4CONV_SCREENSHOT_DIR"); folder != nullptr) {
    plan.Folder = QString::fromLocal8Bit(folder);
  }
  if (const char* archive = std::getenv("AR4CONV_SCREENSHOT_ARCHIVE"); archive != nullptr && *archive != '\0') {
    plan.Archive = PathFromUtf8(archive);
  }
  return plan;
}

bool SaveScreenPicture(std::initializer_list<QWidget*> windows, const QString& folder, const QString& name) {
  if (folder.isEmpty()) return false;
  QRect area;
  for (QWidget* window : windows) {
    if (window != nullptr && window->isVisible()) area = area.united(window->frameGeometry());
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (area.isEmpty() || screen == nullptr) return false;
  area.adjust(-8, -8, 8, 8);
  QDir().mkpath(folder);
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
      .save(QDir(folder).filePath(name), "PNG");
}

bool SaveWindowPicture(QWidget* window, const QString& folder, const QString& name) {
  if (window == nullptr || folder.isEmpty()) return false;
  QDir().mkpath(folder);
  return window->grab().save(QDir(folder).filePath(name), "PNG");
}

void RunScreenshotConversion(TFormConvert& form, const ScreenshotPlan& plan,
                             const std::function<void(UserInterface&)>& convert) {
  if (plan.Archive.empty()) return;
  ScreenshotUi ui(form, plan);
  convert(ui);
}

}  // namespace ar4
