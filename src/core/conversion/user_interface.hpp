#pragma once
/// The port through which a conversion talks to people. The window programs, the command line and the
/// tests each implement it; the core never shows or prints anything itself. All texts are UTF-8.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interval/bounds.hpp"

namespace ar4 {

enum class MessageKind : int { kWarning = 0, kError = 1, kInformation = 2, kConfirmation = 3 };

/// Button sets of the message box (bits), and the results the box returns.
namespace buttons {
inline constexpr unsigned kYes = 1;
inline constexpr unsigned kNo = 2;
inline constexpr unsigned kOk = 4;
inline constexpr unsigned kCancel = 8;
inline constexpr unsigned kCancelOnly = kCancel;      // 8
inline constexpr unsigned kOkCancel = kOk | kCancel;  // 12
inline constexpr unsigned kYesNo = kYes | kNo;        // 3
inline constexpr unsigned kOkOnly = kOk;              // 4
}  // namespace buttons

enum class DialogResult : int { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };

/// What the interval dialog hands back when confirmed.
struct IntervalChoice {
  int SelectDir = 0;        // 0: a folder chosen now; 1: the viewer's data folder
  int SelectInterval = 0;   // 0: ListMode; 1: DateRangeMode
  std::uint32_t BoxIntervalIndex = 0;  // the chosen run in ListMode
  DialogDate From{1, 1, 2014};
  DialogDate To{31, 12, 2063};
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  /// The file-open dialog, opened in `initial_folder`; nothing when cancelled.
  virtual std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path& initial_folder) = 0;

  /// The one modal message box. `buttons_set` is a set of buttons:: bits; returns the button pressed
  /// (the close box counts as Cancel).
  virtual DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) = 0;

  /// The interval dialog with the run texts (56 characters each). When `viewer_data_known` is false the
  /// target choice is forced to item 0 and cannot be changed. Nothing when cancelled.
  virtual std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                           bool viewer_data_known) = 0;

  /// The folder browser with its prompt; nothing when cancelled.
  virtual std::optional<std::filesystem::path> SelectDirectory(std::string_view prompt) = 0;

  /// The open button "Открыть архив".
  virtual void SetConvertEnabled(bool enabled) = 0;

  /// The progress gauge (0..100) and the labels of the re-ordering.
  virtual void ShowGauge(bool visible) = 0;
  virtual void SetGaugePosition(int percent) = 0;
  virtual void ShowLabelSort(bool visible) = 0;
  /// LabelPrc: nothing hides it; a text shows it ("" first, then "37%").
  virtual void SetLabelPrc(std::optional<std::string_view> text) = 0;

  /// Lets the GUI process its pending events (called about every 30 ms during long loops).
  virtual void ProcessEvents() = 0;

  /// True once the person has asked to stop (the command line on SIGINT or SIGTERM); asked after every
  /// ProcessEvents and before the files are published. The conversion then stops without a message, its
  /// temporary files removed and the output folder as it was before. The windows never ask.
  virtual bool CancelRequested() { return false; }
};

}  // namespace ar4
