#pragma once
/// An in-memory template of an empty dialog box: the dialogs of the program create their controls
/// themselves, at pixel positions, when the dialog is initialised.

#include <windows.h>

#include <string_view>
#include <vector>

namespace ar4::win32 {

/// The bytes of a DLGTEMPLATE without controls, DWORD-aligned; the window is sized in WM_INITDIALOG.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, DWORD extended_style, std::wstring_view caption);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<DWORD> words_;
};

/// Resizes `window` so that its client area is `width` x `height` and centres it on the screen (the work
/// area of the monitor nearest to it).
void SetClientSizeCentred(HWND window, int width, int height);

/// Sets the outer size of `window` and centres it on the screen.
void SetWindowSizeCentred(HWND window, int width, int height);

/// A child control at a pixel position of its parent's client area.
HWND CreateChild(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style, int x, int y,
                 int width, int height, int id, HFONT font, DWORD extended_style = 0);

}  // namespace ar4::win32
