#pragma once
/// The conversion of the viewer's selection through the conversion driver, as `ar4conv convert` runs it:
/// the driver reads the archive again, and this port answers its questions with the viewer's choices
/// (the archive, the report confirmed, the selection as the interval choice, the folder chosen once).

#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/conversion/user_interface.hpp"

namespace ar4::view {

/// How the front-end answers what only a person can answer.
struct ConversionAnswers {
  /// The folder chosen for the output; nothing when the choice was cancelled.
  std::function<std::optional<std::filesystem::path>(std::string_view prompt)> ChooseFolder;
  /// A message shown (the fixed texts of the conversion); returns the button pressed.
  std::function<DialogResult(std::string_view text, MessageKind kind, unsigned buttons_set)> ShowMessage;
};

class ViewConversionUi final : public UserInterface {
 public:
  ViewConversionUi(QWidget* parent, std::filesystem::path archive, IntervalChoice choice, ConversionAnswers answers);

  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path&) override;
  DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) override;
  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items, bool viewer_data_known) override;
  std::optional<std::filesystem::path> SelectDirectory(std::string_view prompt) override;
  void SetConvertEnabled(bool) override {}
  void ShowGauge(bool visible) override;
  void SetGaugePosition(int percent) override;
  void ShowLabelSort(bool visible) override;
  void SetLabelPrc(std::optional<std::string_view> text) override;
  void ProcessEvents() override;

 private:
  QProgressDialog& Progress();

  QWidget* parent_;
  std::filesystem::path archive_;
  IntervalChoice choice_;
  ConversionAnswers answers_;
  bool archive_given_ = false;
  QPointer<QProgressDialog> progress_;
};

}  // namespace ar4::view
