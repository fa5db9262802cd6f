#pragma once
/// The main window: the open button that runs a conversion, the viewer button, the progress gauge and the
/// labels of the re-ordering. It is the conversion's UserInterface: file-open dialog, message box,
/// interval dialog, folder browser.

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>

#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"

class QLabel;
class QPushButton;

namespace ar4 {

class TFormDateSelect;
class TGauge;

class TFormConvert : public QWidget, public UserInterface {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 234;
  static constexpr int kClientHeight = 101;

  /// `settings` are the conversion driver's: the show handler puts the viewer's data folder and the
  /// open dialog's initial folder there.
  explicit TFormConvert(ConversionSettings& settings, QWidget* parent = nullptr);

  /// The interval dialog that ShowIntervalDialog shows (created after this window, kept for its life).
  void AttachDateSelect(TFormDateSelect* date_select) { date_select_ = date_select; }
  /// What a press of the open button runs (the conversion driver's BtnConvertClick).
  void SetConvertHandler(std::function<void()> handler) { convert_handler_ = std::move(handler); }
  /// The program that runs the viewer's Windows executable; "wine" unless changed.
  void SetViewerLauncher(QString program) { viewer_launcher_ = std::move(program); }

  /// The show handler: application title, viewer search, the open dialog's initial folder.
  void FormShow();
  /// Looks the viewer up in the Wine prefix; enables BtnShell when its executable is there; returns (and
  /// stores in the settings) the viewer's data folder, empty when none is known.
  std::filesystem::path GetTrendoraFolderPath();
  const std::filesystem::path& ViewerExecutable() const { return viewer_executable_; }

  // UserInterface
  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path& initial_folder) override;
  DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) override;
  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                   bool viewer_data_known) override;
  std::optional<std::filesystem::path> SelectDirectory(std::string_view prompt) override;
  void SetConvertEnabled(bool enabled) override;
  void ShowGauge(bool visible) override;
  void SetGaugePosition(int percent) override;
  void ShowLabelSort(bool visible) override;
  void SetLabelPrc(std::optional<std::string_view> text) override;
  void ProcessEvents() override;

  QPushButton* BtnConvert = nullptr;
  QPushButton* BtnShell = nullptr;
  TGauge* Gauge = nullptr;
  QLabel* LabelSort = nullptr;
  QLabel* LabelPrc = nullptr;

 public slots:
  void BtnConvertClick();
  void BtnShellClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  ConversionSettings& settings_;
  TFormDateSelect* date_select_ = nullptr;
  std::function<void()> convert_handler_;
  QString viewer_launcher_ = QStringLiteral("wine");
  std::filesystem::path viewer_executable_;
  bool converting_ = false;
  bool close_requested_ = false;
};

/// The application title (with its leading blank): the show handler makes it the main window's task-bar
/// text (its icon name); it is also the caption for a report of an unexpected failure. The captions of the
/// windows themselves stay exactly their own.
inline constexpr const char* kApplicationTitle = " Архивы VR773x, ЛС-260, ГРВ-300";

}  // namespace ar4
