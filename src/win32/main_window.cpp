#include "win32/main_window.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include "core/conversion/messages.hpp"
#include "win32/dialog_template.hpp"
#include "win32/message_box.hpp"
#include "win32/resource.hpp"
#include "win32/text.hpp"
#include "win32/viewer_launch.hpp"

namespace ar4::win32 {
namespace {

namespace ids = main_ids;

constexpr wchar_t kClassName[] = L"TFormConvert";
constexpr int kClientWidth = 234;
constexpr int kClientHeight = 101;
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);

HFONT CreateWindowFont(int weight) {
  // MS Sans Serif, 13 pixels, not scaled with the system font size.
  return CreateFontW(-13, 0, 0, 0, weight, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

constexpr wchar_t kGaugeFontProperty[] = L"ar4.GaugeFont";

/// The gauge: a navy bar on white in a thin frame, its percentage in bold in the middle (white over the
/// bar, navy over the rest). The progress control keeps its range and position; only its painting is
/// replaced (a subclass by window procedure, which every version of the common controls allows).
LRESULT CALLBACK GaugeProc(HWND gauge, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(gauge, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(gauge, &paint);
      RECT rect{};
      GetClientRect(gauge, &rect);
      HBRUSH frame = CreateSolidBrush(RGB(0, 0, 0));
      FrameRect(dc, &rect, frame);
      DeleteObject(frame);
      InflateRect(&rect, -1, -1);
      const int position = static_cast<int>(CallWindowProcW(original, gauge, PBM_GETPOS, 0, 0));
      RECT bar = rect;
      bar.right = rect.left + MulDiv(rect.right - rect.left, position, 100);
      RECT rest = rect;
      rest.left = bar.right;
      HBRUSH navy = CreateSolidBrush(kNavy);
      HBRUSH white = CreateSolidBrush(kWhite);
      FillRect(dc, &bar, navy);
      FillRect(dc, &rest, white);
      DeleteObject(navy);
      DeleteObject(white);

      const std::wstring text = std::to_wstring(position) + L"%";
      HGDIOBJ old_font = SelectObject(dc, static_cast<HFONT>(GetPropW(gauge, kGaugeFontProperty)));
      SetBkMode(dc, TRANSPARENT);
      for (int part = 0; part < 2; ++part) {
        const RECT& clip = part == 0 ? bar : rest;
        if (clip.right <= clip.left) continue;
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
        SetTextColor(dc, part == 0 ? kWhite : kNavy);
        RECT text_rect = rect;
        DrawTextW(dc, text.c_str(), -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        RestoreDC(dc, saved);
      }
      SelectObject(dc, old_font);
      EndPaint(gauge, &paint);
      return 0;
    }
    case WM_NCDESTROY:
      RemovePropW(gauge, kGaugeFontProperty);
      SetWindowLongPtrW(gauge, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      break;
    default:
      break;
  }
  return CallWindowProcW(original, gauge, message, wparam, lparam);
}

/// Resizes a label to its text, keeping its top left corner (the label's AutoSize).
void FitLabel(HWND label, HFONT font) {
  wchar_t text[64] = {};
  GetWindowTextW(label, text, 64);
  HDC dc = GetDC(label);
  HGDIOBJ old_font = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
  SelectObject(dc, old_font);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, size.cx + 1, std::max<LONG>(size.cy, 16), SWP_NOMOVE | SWP_NOZORDER);
}

std::filesystem::path CurrentFolder() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return {};
  std::wstring folder(length, L'\0');
  const DWORD written = GetCurrentDirectoryW(length, folder.data());
  folder.resize(written);
  return folder;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, ConversionDriver& driver, const ScreenshotRecorder* screenshots)
    : instance_(instance), driver_(driver), screenshots_(screenshots) {
  font_ = CreateWindowFont(FW_NORMAL);
  bold_font_ = CreateWindowFont(FW_BOLD);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);
  // A fixed single border with the minimise and system-menu buttons only.
  window_ = CreateWindowExW(0, kClassName, L"РазборщикЗаписей", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                            CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr, nullptr, instance,
                            this);
  if (window_ == nullptr) return;
  SetClientSizeCentred(window_, kClientWidth, kClientHeight);
  CreateControls();
  dialog_ = std::make_unique<IntervalDialog>(window_);
}

MainWindow::~MainWindow() {
  dialog_.reset();
  if (window_ != nullptr) {
    // Destroyed quietly: the end of the object is not the end of the program.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  DeleteObject(font_);
  DeleteObject(bold_font_);
  UnregisterClassW(kClassName, instance_);
}

void MainWindow::CreateControls() {
  // BtnConvert first in the tab order, BtnShell second.
  CreateChild(window_, L"BUTTON", L"Открыть архив", WS_TABSTOP | BS_PUSHBUTTON, 8, 8, 217, 25, ids::kBtnConvert,
              font_);
  HWND shell = CreateChild(window_, L"BUTTON", L"Запустить TrendoraStudio", WS_TABSTOP | BS_PUSHBUTTON, 8, 40,
                           217, 25, ids::kBtnShell, font_);
  EnableWindow(shell, FALSE);
  HWND gauge = CreateChild(window_, PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 8, 72, 217, 20, ids::kGauge, nullptr);
  SendMessageW(gauge, PBM_SETRANGE32, 0, 100);
  SendMessageW(gauge, PBM_SETPOS, 0, 0);
  SetPropW(gauge, kGaugeFontProperty, bold_font_);
  SetWindowLongPtrW(gauge, GWLP_USERDATA, GetWindowLongPtrW(gauge, GWLP_WNDPROC));
  SetWindowLongPtrW(gauge, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GaugeProc));
  ShowWindow(gauge, SW_HIDE);
  HWND sort = CreateChild(window_, L"STATIC", L"Сортировка ...", SS_LEFT | SS_NOPREFIX, 72, 75, 106, 16,
                          ids::kLabelSort, bold_font_);
  ShowWindow(sort, SW_HIDE);
  HWND prc = CreateChild(window_, L"STATIC", L"...", SS_LEFT | SS_NOPREFIX, 192, 75, 13, 16, ids::kLabelPrc,
                         bold_font_);
  ShowWindow(prc, SW_HIDE);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY && self != nullptr) {
    self->window_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  if (self != nullptr && self->window_ == window) return self->HandleMessage(message, wparam, lparam);
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        if (LOWORD(wparam) == ids::kBtnConvert && IsWindowEnabled(Control(ids::kBtnConvert))) {
          BtnConvertClick();
          return 0;
        }
        if (LOWORD(wparam) == ids::kBtnShell && IsWindowEnabled(Control(ids::kBtnShell))) {
          BtnShellClick();
          return 0;
        }
      }
      break;
    case WM_CLOSE:
      // Closing while a conversion runs would pull the windows away from under it: the window closes when
      // the conversion has ended.
      if (busy_) {
        close_requested_ = true;
        return 0;
      }
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void MainWindow::Show() {
  ShowWindow(window_, SW_SHOWNORMAL);
  FormShow();
  ProcessEvents();
  UpdateWindow(window_);
  SetFocus(Control(ids::kBtnConvert));
}

void MainWindow::FormShow() {
  viewer_ = FindInstalledViewer();
  // The viewer button goes from disabled to enabled at most once.
  if (viewer_.ExecutableFound) EnableWindow(Control(ids::kBtnShell), TRUE);
  driver_.Settings().ViewerDataFolder = viewer_.ViewerDataFolder;
  driver_.Settings().InitialFolder = CurrentFolder();
}

void MainWindow::BtnConvertClick() {
  if (busy_) return;
  busy_ = true;
  driver_.BtnConvertClick(*this);
  busy_ = false;
  if (close_requested_) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::BtnShellClick() {
  if (!LaunchViewer(viewer_.ViewerExecutable.wstring())) {
    ShowMessageBox(messages::kLaunchFailed, MessageKind::kError, buttons::kCancelOnly);
  }
}

HWND MainWindow::ModalOwner() const { return IsWindowVisible(window_) ? window_ : nullptr; }

std::optional<std::filesystem::path> MainWindow::OpenArchiveDialog(const std::filesystem::path& initial_folder) {
  if (screenshots_ != nullptr) {
    // The recording opens its archive once; the next pass ends the conversion as a cancel would.
    if (archives_offered_++ == 0 && !screenshots_->Archive.empty()) return screenshots_->Archive;
    return std::nullopt;
  }
  std::vector<wchar_t> file(32768, L'\0');
  // "\" is the root of the current drive until the first folder is known.
  const std::wstring folder = initial_folder.empty() ? std::wstring(L"\\") : initial_folder.wstring();
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = ModalOwner();
  dialog.lpstrFilter = kOpenDialogFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = kOpenDialogTitle;
  dialog.lpstrDefExt = kOpenDialogDefaultExtension;
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                 OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  return std::filesystem::path(file.data());
}

DialogResult MainWindow::ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) {
  ModalShownHook hook;
  if (screenshots_ != nullptr) {
    const wchar_t* name = L"error";
    DialogResult answer = MessageBoxDefaultButton(buttons_set);
    switch (kind) {
      case MessageKind::kInformation: name = L"report"; break;
      // No re-ordering, so that the export meets the set-backs and the overlap warning is shown.
      case MessageKind::kConfirmation: name = L"question"; answer = DialogResult::kNo; break;
      case MessageKind::kWarning: name = L"overlaps"; break;
      case MessageKind::kError: break;
    }
    hook = [this, name, answer](HWND box) {
      screenshots_->Capture(box, name);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(static_cast<int>(answer), BN_CLICKED), 0);
    };
  }
  return ShowMessageBoxWindow(ModalOwner(), text, kind, buttons_set, hook);
}

std::optional<IntervalChoice> MainWindow::ShowIntervalDialog(const std::vector<std::string>& items,
                                                             bool viewer_data_known) {
  ModalShownHook hook;
  if (screenshots_ != nullptr) {
    hook = [this](HWND dialog) {
      screenshots_->Capture(dialog, L"interval");
      SendMessageW(dialog_->Control(interval_ids::kSelectIntervalRange), BM_CLICK, 0, 0);
      screenshots_->Capture(dialog, L"interval-range");
      // From the year 2000 on, so that the cells after the set-backs are exported and overlap.
      SendMessageW(dialog_->Control(interval_ids::kEditYear1 + interval_ids::kSpinOffset), UDM_SETPOS32, 0, 2000);
      const int button = screenshots_->OutputFolder.empty() ? interval_ids::kBtnCancel : interval_ids::kBtnOk;
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    };
  }
  return dialog_->ShowModal(items, viewer_data_known, hook);
}

std::optional<std::filesystem::path> MainWindow::SelectDirectory(std::string_view prompt) {
  if (screenshots_ != nullptr) {
    if (screenshots_->OutputFolder.empty()) return std::nullopt;
    return screenshots_->OutputFolder;
  }
  const std::wstring title = WideFromUtf8(prompt);
  wchar_t display_name[MAX_PATH] = {};
  BROWSEINFOW browse{};
  // Owned by the main window, so that the application's windows stay disabled while the browser is open.
  browse.hwndOwner = ModalOwner();
  browse.pszDisplayName = display_name;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  HWND active = GetActiveWindow();
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (active != nullptr) SetActiveWindow(active);
  if (chosen == nullptr) return std::nullopt;
  std::vector<wchar_t> path(32768, L'\0');
  const bool converted = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!converted || path[0] == L'\0') return std::nullopt;
  return std::filesystem::path(path.data());
}

void MainWindow::SetConvertEnabled(bool enabled) {
  HWND button = Control(ids::kBtnConvert);
  EnableWindow(button, enabled);
  if (enabled && GetActiveWindow() == window_ && GetFocus() == nullptr) SetFocus(button);
}

void MainWindow::ShowGauge(bool visible) { ShowWindow(Control(ids::kGauge), visible ? SW_SHOW : SW_HIDE); }

void MainWindow::SetGaugePosition(int percent) {
  SendMessageW(Control(ids::kGauge), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  if (screenshots_ != nullptr && !progress_recorded_ && percent >= 50 && IsWindowVisible(Control(ids::kGauge))) {
    progress_recorded_ = true;
    UpdateWindow(window_);
    screenshots_->Capture(window_, L"progress");
  }
}

void MainWindow::ShowLabelSort(bool visible) {
  ShowWindow(Control(ids::kLabelSort), visible ? SW_SHOW : SW_HIDE);
}

void MainWindow::SetLabelPrc(std::optional<std::string_view> text) {
  HWND label = Control(ids::kLabelPrc);
  if (!text) {
    ShowWindow(label, SW_HIDE);
    return;
  }
  SetWindowTextW(label, WideFromUtf8(*text).c_str());
  FitLabel(label, bold_font_);
  ShowWindow(label, SW_SHOW);
}

void MainWindow::ProcessEvents() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Kept for the program's message loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsDialogMessageW(window_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace ar4::win32
