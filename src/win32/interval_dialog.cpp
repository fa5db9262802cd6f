#include "win32/interval_dialog.hpp"

#include <commctrl.h>

#include "win32/dialog_template.hpp"
#include "win32/text.hpp"

namespace ar4::win32 {
namespace {

namespace ids = interval_ids;

constexpr int kDialogWidth = 353;
constexpr int kDialogHeight = 359;
constexpr int kLabelIds[] = {ids::kLabel1, ids::kLabel2, ids::kLabel3, ids::kLabel4, ids::kLabel5};

HFONT CreateDialogFont(int weight) {
  // MS Sans Serif 8 pt at 96 pixels per inch, with the Russian character set.
  return CreateFontW(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

int SpinValue(HWND dialog, int edit_id) {
  return static_cast<int>(
      SendMessageW(GetDlgItem(dialog, edit_id + ids::kSpinOffset), UDM_GETPOS32, 0, 0));
}

}  // namespace

IntervalDialog::IntervalDialog(HWND owner) : owner_(owner) {
  font_ = CreateDialogFont(FW_NORMAL);
  bold_font_ = CreateDialogFont(FW_BOLD);
  edit_brush_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  const DialogTemplate layout(DS_MODALFRAME | WS_POPUP | WS_CAPTION, WS_EX_DLGMODALFRAME,
                              L" Выбор преобразуемого интервала");
  dialog_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), layout.Get(), owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
}

IntervalDialog::~IntervalDialog() {
  if (dialog_ != nullptr) {
    SetWindowLongPtrW(dialog_, DWLP_USER, 0);
    DestroyWindow(dialog_);  // the tooltip, owned by the dialog, goes with it
  }
  DeleteObject(font_);
  DeleteObject(bold_font_);
  DeleteObject(edit_brush_);
}

INT_PTR CALLBACK IntervalDialog::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<IntervalDialog*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    self->dialog_ = dialog;
    self->CreateControls();
    return FALSE;
  }
  auto* self = reinterpret_cast<IntervalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    // Destroyed with its owner: the object no longer has a window.
    self->dialog_ = nullptr;
    return FALSE;
  }
  return self->HandleMessage(message, wparam, lparam);
}

void IntervalDialog::CreateControls() {
  SetWindowSizeCentred(dialog_, kDialogWidth, kDialogHeight);
  const HINSTANCE instance = GetModuleHandleW(nullptr);

  // Created in the tab order: BtnOk, SelectInterval, the six spin edits, BoxInterval, BtnCancel, SelectDir.
  CreateChild(dialog_, L"BUTTON", L"Ok", WS_TABSTOP | BS_PUSHBUTTON, 40, 288, 113, 25, ids::kBtnOk, font_);

  // A radio group as the classic one lays out its items: in one column below the caption line.
  auto radio_group = [&](int group_id, const wchar_t* caption, int top, const wchar_t* item0, const wchar_t* item1) {
    CreateChild(dialog_, L"BUTTON", caption, BS_GROUPBOX, 16, top, 313, 57, group_id, font_);
    CreateChild(dialog_, L"BUTTON", item0, WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 24, top + 14, 300, 19,
                group_id + 1, font_);
    CreateChild(dialog_, L"BUTTON", item1, BS_AUTORADIOBUTTON, 24, top + 33, 300, 19, group_id + 2, font_);
    CheckRadioButton(dialog_, group_id + 1, group_id + 2, group_id + 1);
  };
  radio_group(ids::kSelectInterval, L" Интервал ", 80, L"Список", L"Интервал");

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr, instance, nullptr);
  auto add_hint = [&](HWND control, const wchar_t* hint) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(hint);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };

  for (const SpinEditLayout& spin : kSpinEdits) {
    // The number is shown in bold and cannot be typed: it changes only by the arrows (buttons or keys).
    HWND edit = CreateChild(dialog_, L"EDIT", L"", WS_TABSTOP | WS_GROUP | ES_READONLY | ES_NUMBER | ES_LEFT,
                            spin.Left, spin.Top, spin.Width, spin.Height, spin.Id, bold_font_, WS_EX_CLIENTEDGE);
    SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(spin.MaxCharacters), 0);
    HWND arrows = CreateChild(dialog_, UPDOWN_CLASSW, nullptr,
                              UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, 0, 0, 0,
                              spin.Id + ids::kSpinOffset, nullptr);
    SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(arrows, UDM_SETRANGE32, static_cast<WPARAM>(spin.Minimum), static_cast<LPARAM>(spin.Maximum));
    SendMessageW(arrows, UDM_SETPOS32, 0, static_cast<LPARAM>(spin.Initial));
    add_hint(edit, spin.Hint);
    add_hint(arrows, spin.Hint);
  }

  HWND box = CreateChild(dialog_, L"COMBOBOX", nullptr, WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST,
                         16, 152, 313, 21, ids::kBoxInterval, font_);
  // Twenty lines are shown when the list is open.
  const int item_height = static_cast<int>(SendMessageW(box, CB_GETITEMHEIGHT, 0, 0));
  const int closed_height = static_cast<int>(SendMessageW(box, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  SetWindowPos(box, nullptr, 0, 0, 313, closed_height + 8 + 20 * item_height, SWP_NOMOVE | SWP_NOZORDER);
  SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kBoxIntervalPlaceholder));
  SendMessageW(box, CB_SETCURSEL, 0, 0);  // FormCreate
  add_hint(box, L"Перечень временны'х наложений");

  CreateChild(dialog_, L"BUTTON", L"Отмена", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 200, 288, 113, 25,
              ids::kBtnCancel, font_);
  radio_group(ids::kSelectDir, L" Каталог для распаковки ", 8, L"Выбрать каталог для распаковки",
              L"Интегрировать данные в TrendoraStudio");

  struct LabelLayout {
    int Id, Left, Top;
    const wchar_t* Text;
  };
  static constexpr LabelLayout kLabels[] = {
      {ids::kLabel3, 136, 192, L"Число"},  {ids::kLabel4, 200, 192, L"Месяц"},
      {ids::kLabel5, 281, 192, L"Год"},    {ids::kLabel1, 16, 211, L"Начало  интервала"},
      {ids::kLabel2, 16, 243, L"Конец  интервала"},
  };
  HDC dc = GetDC(dialog_);
  HGDIOBJ old_font = SelectObject(dc, font_);
  for (const LabelLayout& label : kLabels) {
    SIZE size{};
    GetTextExtentPoint32W(dc, label.Text, lstrlenW(label.Text), &size);
    CreateChild(dialog_, L"STATIC", label.Text, SS_LEFT | SS_NOPREFIX, label.Left, label.Top, size.cx + 1,
                size.cy, label.Id, font_);
  }
  SelectObject(dc, old_font);
  ReleaseDC(dialog_, dc);

  // The labels and the spin edits start disabled, the run list enabled.
  SelectIntervalClick();
}

void IntervalDialog::SelectIntervalClick() {
  const bool range = IsChecked(Control(ids::kSelectIntervalRange));
  for (int id : kLabelIds) EnableWindow(Control(id), range);
  for (const SpinEditLayout& spin : kSpinEdits) {
    EnableWindow(Control(spin.Id), range);
    EnableWindow(Control(spin.Id + ids::kSpinOffset), range);
  }
  EnableWindow(Control(ids::kBoxInterval), !range);
}

INT_PTR IntervalDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (code != BN_CLICKED) return FALSE;
      switch (id) {
        case ids::kBtnOk:
          result_ = DialogResult::kOk;
          return TRUE;
        case ids::kBtnCancel:
          result_ = DialogResult::kCancel;
          return TRUE;
        case ids::kSelectIntervalList:
        case ids::kSelectIntervalRange:
        case ids::kSelectDirChoose:
        case ids::kSelectDirViewer:
          // One handler for both groups.
          SelectIntervalClick();
          return TRUE;
        default:
          // Enter on no button and Esc do not end the dialog: only its two buttons do.
          return TRUE;
      }
    }
    case WM_CLOSE:
      return TRUE;  // no close box; Alt+F4 does not end the dialog either
    case WM_CTLCOLORSTATIC: {
      // The read-only spin edits keep the white of an edit while they are enabled.
      HWND control = reinterpret_cast<HWND>(lparam);
      const int id = GetDlgCtrlID(control);
      if (id >= ids::kEditDate1 && id <= ids::kEditYear2 && IsWindowEnabled(control)) {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(edit_brush_);
      }
      return FALSE;
    }
    case WM_TIMER:
      if (wparam == 1) {
        KillTimer(dialog_, 1);
        if (on_shown_ != nullptr && *on_shown_) (*on_shown_)(dialog_);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

IntervalChoice IntervalDialog::CurrentChoice() const {
  IntervalChoice choice;
  choice.SelectDir = IsChecked(Control(ids::kSelectDirViewer)) ? 1 : 0;
  choice.SelectInterval = IsChecked(Control(ids::kSelectIntervalRange)) ? 1 : 0;
  const LRESULT selected = SendMessageW(Control(ids::kBoxInterval), CB_GETCURSEL, 0, 0);
  choice.BoxIntervalIndex = selected == CB_ERR ? 0u : static_cast<std::uint32_t>(selected);
  choice.From = {SpinValue(dialog_, ids::kEditDate1), SpinValue(dialog_, ids::kEditMonth1),
                 SpinValue(dialog_, ids::kEditYear1)};
  choice.To = {SpinValue(dialog_, ids::kEditDate2), SpinValue(dialog_, ids::kEditMonth2),
               SpinValue(dialog_, ids::kEditYear2)};
  return choice;
}

std::optional<IntervalChoice> IntervalDialog::ShowModal(const std::vector<std::string>& items,
                                                        bool viewer_data_known, const ModalShownHook& on_shown) {
  if (dialog_ == nullptr || running_) return std::nullopt;
  HWND box = Control(ids::kBoxInterval);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    const std::wstring text = WideFromUtf8(item);
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(box, CB_SETCURSEL, 0, 0);

  // The target: with no viewer data folder a folder must be chosen.
  if (!viewer_data_known) {
    CheckRadioButton(dialog_, ids::kSelectDirChoose, ids::kSelectDirViewer, ids::kSelectDirChoose);
  }
  for (int id : {ids::kSelectDir, ids::kSelectDirChoose, ids::kSelectDirViewer}) {
    EnableWindow(Control(id), viewer_data_known);
  }

  running_ = true;
  result_.reset();
  on_shown_ = &on_shown;
  const bool owner_was_enabled = owner_ != nullptr && IsWindowEnabled(owner_);
  if (owner_was_enabled) EnableWindow(owner_, FALSE);
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(ids::kBtnOk)), TRUE);
  if (on_shown) SetTimer(dialog_, 1, 10, nullptr);

  MSG msg{};
  while (!result_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: keep the request for the outer loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageW(dialog_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  // The owner is enabled before the dialog hides, so that the activation goes back to it.
  if (owner_was_enabled) EnableWindow(owner_, TRUE);
  ShowWindow(dialog_, SW_HIDE);
  if (owner_ != nullptr) SetActiveWindow(owner_);
  on_shown_ = nullptr;
  running_ = false;
  if (result_ != DialogResult::kOk) return std::nullopt;
  return CurrentChoice();
}

}  // namespace ar4::win32
