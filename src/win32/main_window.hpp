#pragma once
/// The main window TFormConvert ("РазборщикЗаписей"): the open button that runs a conversion, the viewer
/// button, the progress gauge and the labels of the re-ordering. It is the program's UserInterface: the
/// conversion driver shows every dialog and message through it.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
#include "win32/interval_dialog.hpp"
#include "win32/screenshot.hpp"
#include "core/viewer/viewer_search.hpp"

namespace ar4::win32 {

/// The application title: the caption of the box that reports an unexpected failure.
inline constexpr const wchar_t* kApplicationTitle = L" Архивы VR773x, ЛС-260, ГРВ-300";

/// The file-open dialog's texts.
inline constexpr const wchar_t* kOpenDialogTitle = L"Выберите файл архива  (*.ar4)";
inline constexpr wchar_t kOpenDialogFilter[] = L"Файл данных архива ( *.ar4 )\0*.AR4\0Все файлы (*.*)\0*.*\0";
inline constexpr const wchar_t* kOpenDialogDefaultExtension = L"AR4";

/// Control identifiers of the main window.
namespace main_ids {
inline constexpr int kBtnConvert = 101;
inline constexpr int kBtnShell = 102;
inline constexpr int kGauge = 103;
inline constexpr int kLabelSort = 104;
inline constexpr int kLabelPrc = 105;
}  // namespace main_ids

class MainWindow final : public UserInterface {
 public:
  /// Creates the main window and the interval dialog, both hidden. `screenshots` may be null.
  MainWindow(HINSTANCE instance, ConversionDriver& driver, const ScreenshotRecorder* screenshots);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  IntervalDialog& Dialog() { return *dialog_; }
  const ViewerSearchResult& Viewer() const { return viewer_; }

  /// Shows the window, then FormShow: the viewer search and the open dialog's first folder.
  void Show();

  /// The open button's handler: one conversion with the driver.
  void BtnConvertClick();
  /// The viewer button's handler.
  void BtnShellClick();

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

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  /// FormShow: the viewer search, the data folder for the driver, the current folder for the open dialog.
  void FormShow();
  /// The window a modal box belongs to: the main window while it is shown.
  HWND ModalOwner() const;

  HINSTANCE instance_ = nullptr;
  ConversionDriver& driver_;
  const ScreenshotRecorder* screenshots_ = nullptr;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  std::unique_ptr<IntervalDialog> dialog_;
  ViewerSearchResult viewer_;
  bool busy_ = false;             // a conversion runs
  bool close_requested_ = false;  // the window was closed during a conversion
  int archives_offered_ = 0;      // screenshot mode: the open dialog "chooses" the archive once
  bool progress_recorded_ = false;
};

}  // namespace ar4::win32
