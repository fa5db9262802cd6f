#pragma once
/// The one modal message box through which every message of the program is shown: a caption and a
/// system icon by kind, the text word-wrapped beside the icon, the buttons of the set in one row in the
/// fixed order Yes, No, OK, Cancel. The system's MessageBox has no set with a single Cancel button, so
/// the box is a small dialog of its own.

#include <windows.h>

#include <functional>
#include <string_view>
#include <vector>

#include "core/conversion/user_interface.hpp"

namespace ar4::win32 {

/// "Warning", "Error", "Information", "Confirm".
const wchar_t* MessageBoxCaption(MessageKind kind);

/// The system icon of a kind: exclamation, stop (hand), information (asterisk), question.
const wchar_t* MessageBoxIcon(MessageKind kind);

/// "&Yes", "&No", "OK", "Cancel".
const wchar_t* MessageBoxButtonCaption(DialogResult button);

/// The buttons of a set, in the order they stand; a set without any of the four shows OK.
std::vector<DialogResult> MessageBoxButtons(unsigned buttons_set);

/// The button Enter presses while the focus is on no other button: OK, else Yes, else the first one.
DialogResult MessageBoxDefaultButton(unsigned buttons_set);

/// The button Esc presses: Cancel, else No, else OK (else the default button).
DialogResult MessageBoxEscapeButton(unsigned buttons_set);

/// Called once the box is on the screen (for recording the window's picture, and for tests that press
/// its keys); nothing is called when empty.
using ModalShownHook = std::function<void(HWND dialog)>;

/// Shows the box modally over `owner` (may be null) and returns the button pressed. The close box and
/// Alt+F4 give Cancel, whatever the set.
DialogResult ShowMessageBoxWindow(HWND owner, std::string_view utf8_text, MessageKind kind, unsigned buttons_set,
                                  const ModalShownHook& on_shown = {});

}  // namespace ar4::win32
