#include "win32/message_box.hpp"

#include <algorithm>
#include <string>

#include "win32/dialog_template.hpp"
#include "win32/text.hpp"

namespace ar4::win32 {

const wchar_t* MessageBoxCaption(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning: return L"Warning";
    case MessageKind::kError: return L"Error";
    case MessageKind::kInformation: return L"Information";
    case MessageKind::kConfirmation: return L"Confirm";
  }
  return L"";
}

const wchar_t* MessageBoxIcon(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning: return IDI_EXCLAMATION;
    case MessageKind::kError: return IDI_HAND;
    case MessageKind::kInformation: return IDI_ASTERISK;
    case MessageKind::kConfirmation: return IDI_QUESTION;
  }
  return IDI_APPLICATION;
}

const wchar_t* MessageBoxButtonCaption(DialogResult button) {
  switch (button) {
    case DialogResult::kYes: return L"&Yes";
    case DialogResult::kNo: return L"&No";
    case DialogResult::kOk: return L"OK";
    case DialogResult::kCancel: return L"Cancel";
  }
  return L"";
}

std::vector<DialogResult> MessageBoxButtons(unsigned buttons_set) {
  std::vector<DialogResult> shown;
  if ((buttons_set & buttons::kYes) != 0) shown.push_back(DialogResult::kYes);
  if ((buttons_set & buttons::kNo) != 0) shown.push_back(DialogResult::kNo);
  if ((buttons_set & buttons::kOk) != 0) shown.push_back(DialogResult::kOk);
  if ((buttons_set & buttons::kCancel) != 0) shown.push_back(DialogResult::kCancel);
  // A box without a button could not be closed by the keyboard.
  if (shown.empty()) shown.push_back(DialogResult::kOk);
  return shown;
}

DialogResult MessageBoxDefaultButton(unsigned buttons_set) {
  const std::vector<DialogResult> shown = MessageBoxButtons(buttons_set);
  for (DialogResult wanted : {DialogResult::kOk, DialogResult::kYes}) {
    if (std::find(shown.begin(), shown.end(), wanted) != shown.end()) return wanted;
  }
  return shown.front();
}

DialogResult MessageBoxEscapeButton(unsigned buttons_set) {
  const std::vector<DialogResult> shown = MessageBoxButtons(buttons_set);
  for (DialogResult wanted : {DialogResult::kCancel, DialogResult::kNo, DialogResult::kOk}) {
    if (std::find(shown.begin(), shown.end(), wanted) != shown.end()) return wanted;
  }
  return MessageBoxDefaultButton(buttons_set);
}

namespace {

constexpr UINT_PTR kShownTimer = 1;
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;

struct BoxContext {
  std::wstring Text;
  MessageKind Kind = MessageKind::kInformation;
  unsigned Buttons = 0;
  const ModalShownHook* OnShown = nullptr;
  HFONT Font = nullptr;
};

/// The font of the system's message boxes.
HFONT CreateMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

/// Lays the box out in dialog units of its font, as the classic message dialog does: margins of 8,
/// spacing of 10 between icon, text and buttons, buttons of 50 x 14 spaced by 4.
void LayOut(HWND dialog, const BoxContext& box) {
  HDC dc = GetDC(dialog);
  HGDIOBJ old_font = SelectObject(dc, box.Font);
  SIZE letters{};
  static constexpr wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32W(dc, kAlphabet, 52, &letters);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int unit_x = std::max(1, static_cast<int>(letters.cx / 52));
  const int unit_y = std::max(1, static_cast<int>(metrics.tmHeight));
  const int horz_margin = MulDiv(8, unit_x, 4);
  const int vert_margin = MulDiv(8, unit_y, 8);
  const int horz_spacing = MulDiv(10, unit_x, 4);
  const int vert_spacing = MulDiv(10, unit_y, 8);
  const int button_width = MulDiv(50, unit_x, 4);
  const int button_height = MulDiv(14, unit_y, 8);
  const int button_spacing = MulDiv(4, unit_x, 4);

  RECT text_rect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextW(dc, box.Text.c_str(), static_cast<int>(box.Text.size()), &text_rect, DT_CALCRECT | kTextFormat);
  SelectObject(dc, old_font);
  ReleaseDC(dialog, dc);
  // Some room on the right: a long line can be drawn a few pixels wider than it was measured (the
  // rounding of the glyph advances adds up).
  text_rect.right += unit_x + text_rect.right / 32;

  const int icon_size = GetSystemMetrics(SM_CXICON);
  const std::vector<DialogResult> shown = MessageBoxButtons(box.Buttons);
  const int count = static_cast<int>(shown.size());
  const int group_width = count * button_width + (count - 1) * button_spacing;
  const int icon_text_width = icon_size + horz_spacing + text_rect.right;
  const int icon_text_height = std::max(icon_size, static_cast<int>(text_rect.bottom));
  const int client_width = std::max(icon_text_width, group_width) + 2 * horz_margin;
  const int client_height = icon_text_height + vert_spacing + button_height + 2 * vert_margin;

  HWND icon = CreateChild(dialog, L"STATIC", nullptr, SS_ICON, horz_margin, vert_margin, icon_size, icon_size,
                          -1, nullptr);
  SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, MessageBoxIcon(box.Kind))), 0);
  CreateChild(dialog, L"STATIC", box.Text.c_str(), SS_LEFT | SS_NOPREFIX,
              horz_margin + icon_size + horz_spacing, vert_margin, text_rect.right, text_rect.bottom, -1, box.Font);

  const DialogResult default_button = MessageBoxDefaultButton(box.Buttons);
  int left = (client_width - group_width) / 2;
  const int top = icon_text_height + vert_margin + vert_spacing;
  HWND focus = nullptr;
  for (DialogResult button : shown) {
    const bool is_default = button == default_button;
    HWND control = CreateChild(dialog, L"BUTTON", MessageBoxButtonCaption(button),
                               WS_TABSTOP | (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), left, top,
                               button_width, button_height, static_cast<int>(button), box.Font);
    if (is_default) focus = control;
    left += button_width + button_spacing;
  }
  SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(default_button), 0);
  SetFocus(focus);
  SetClientSizeCentred(dialog, client_width, client_height);
}

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* box = reinterpret_cast<BoxContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      box = reinterpret_cast<BoxContext*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      LayOut(dialog, *box);
      if (box->OnShown != nullptr && *box->OnShown) SetTimer(dialog, kShownTimer, 10, nullptr);
      return FALSE;  // the focus was set on the default button
    case WM_TIMER:
      if (wparam == kShownTimer && box != nullptr) {
        KillTimer(dialog, kShownTimer);
        (*box->OnShown)(dialog);
        return TRUE;
      }
      break;
    case WM_COMMAND: {
      if (box == nullptr || HIWORD(wparam) != BN_CLICKED) break;
      const int id = LOWORD(wparam);
      const std::vector<DialogResult> shown = MessageBoxButtons(box->Buttons);
      for (DialogResult button : shown) {
        if (static_cast<int>(button) == id) {
          EndDialog(dialog, id);
          return TRUE;
        }
      }
      // Esc arrives as IDCANCEL also when the set has no Cancel button; Enter on no button as IDOK.
      if (id == IDCANCEL) {
        EndDialog(dialog, static_cast<INT_PTR>(MessageBoxEscapeButton(box->Buttons)));
        return TRUE;
      }
      if (id == IDOK) {
        EndDialog(dialog, static_cast<INT_PTR>(MessageBoxDefaultButton(box->Buttons)));
        return TRUE;
      }
      break;
    }
    case WM_CLOSE:
      // The close box and Alt+F4.
      EndDialog(dialog, static_cast<INT_PTR>(DialogResult::kCancel));
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

DialogResult ShowMessageBoxWindow(HWND owner, std::string_view utf8_text, MessageKind kind, unsigned buttons_set,
                                  const ModalShownHook& on_shown) {
  BoxContext box;
  box.Text = MessageTextForDisplay(utf8_text);
  box.Kind = kind;
  box.Buttons = buttons_set;
  box.OnShown = &on_shown;
  box.Font = CreateMessageFont();
  const DialogTemplate layout(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME,
                              MessageBoxCaption(kind));
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), layout.Get(), owner, BoxProc,
                                                 reinterpret_cast<LPARAM>(&box));
  DeleteObject(box.Font);
  switch (result) {
    case IDOK: return DialogResult::kOk;
    case IDYES: return DialogResult::kYes;
    case IDNO: return DialogResult::kNo;
    default: return DialogResult::kCancel;  // Cancel, the close box, or a box that could not be shown
  }
}

}  // namespace ar4::win32
