#pragma once
/// The interval dialog " Выбор преобразуемого интервала": the output target (a folder chosen now, or the
/// viewer's data folder) and the part of the recording (one run of the overlap list, or the days between
/// two dates). Created once at start-up and hidden between conversions, so the user's choices of target,
/// mode and dates stay set from one conversion to the next.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/conversion/user_interface.hpp"
#include "win32/message_box.hpp"

namespace ar4::win32 {

/// Control identifiers of the dialog.
namespace interval_ids {
inline constexpr int kBtnOk = 1001;
inline constexpr int kBtnCancel = 1002;
inline constexpr int kSelectInterval = 1010;  // the group box; its items follow
inline constexpr int kSelectIntervalList = 1011;
inline constexpr int kSelectIntervalRange = 1012;
inline constexpr int kSelectDir = 1020;
inline constexpr int kSelectDirChoose = 1021;
inline constexpr int kSelectDirViewer = 1022;
inline constexpr int kBoxInterval = 1030;
inline constexpr int kEditDate1 = 1040;  // the six spin edits, each an edit with its up-down control at +10
inline constexpr int kEditMonth1 = 1041;
inline constexpr int kEditYear1 = 1042;
inline constexpr int kEditDate2 = 1043;
inline constexpr int kEditMonth2 = 1044;
inline constexpr int kEditYear2 = 1045;
inline constexpr int kSpinOffset = 10;
inline constexpr int kLabel1 = 1061;
inline constexpr int kLabel2 = 1062;
inline constexpr int kLabel3 = 1063;
inline constexpr int kLabel4 = 1064;
inline constexpr int kLabel5 = 1065;
}  // namespace interval_ids

/// One spin edit: its place, range, first value, the most characters it shows and its hint.
struct SpinEditLayout {
  int Id;
  int Left, Top, Width, Height;
  int Minimum, Maximum, Initial;
  int MaxCharacters;
  const wchar_t* Hint;
};

inline constexpr SpinEditLayout kSpinEdits[6] = {
    {interval_ids::kEditDate1, 128, 208, 49, 22, 1, 31, 1, 2, L"Число"},
    {interval_ids::kEditMonth1, 192, 208, 49, 22, 1, 12, 1, 2, L"Месяц"},
    {interval_ids::kEditYear1, 256, 208, 73, 22, 2000, 2063, 2014, 4, L"Год"},
    {interval_ids::kEditDate2, 128, 240, 49, 22, 1, 31, 31, 2, L"Число"},
    {interval_ids::kEditMonth2, 192, 240, 49, 22, 1, 12, 12, 2, L"Месяц"},
    {interval_ids::kEditYear2, 256, 240, 73, 22, 2000, 2063, 2063, 4, L"Год"},
};

/// The placeholder item of the run list until the first analysis replaces the items.
inline constexpr const wchar_t* kBoxIntervalPlaceholder = L"  Всё";

class IntervalDialog {
 public:
  /// Creates the dialog hidden, owned by `owner`, with its initial state.
  explicit IntervalDialog(HWND owner);
  ~IntervalDialog();
  IntervalDialog(const IntervalDialog&) = delete;
  IntervalDialog& operator=(const IntervalDialog&) = delete;

  HWND Handle() const { return dialog_; }
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  /// Fills the run list (item 0 selected), applies the target rule — with no viewer data folder the
  /// target is item 0 and cannot be changed — and shows the dialog modally over its owner. Nothing when
  /// it was left with "Отмена".
  std::optional<IntervalChoice> ShowModal(const std::vector<std::string>& items, bool viewer_data_known,
                                          const ModalShownHook& on_shown = {});

  /// The choice the controls hold now.
  IntervalChoice CurrentChoice() const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  /// SelectIntervalClick: the dates are enabled in date-range mode, the run list in list mode.
  void SelectIntervalClick();

  HWND owner_ = nullptr;
  HWND dialog_ = nullptr;
  HWND tooltip_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  HBRUSH edit_brush_ = nullptr;
  bool running_ = false;
  std::optional<DialogResult> result_;
  const ModalShownHook* on_shown_ = nullptr;
};

}  // namespace ar4::win32
