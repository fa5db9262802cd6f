#pragma once
/// Pictures of the windows for the documentation. With AR4CONV_SCREENSHOT_DIR set, the program saves the
/// splash, the main window and, given an archive in AR4CONV_SCREENSHOT_ARCHIVE, the report box and the
/// interval dialog of one conversion of it; then it quits instead of waiting for the user.

#include <QString>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "core/conversion/user_interface.hpp"

class QWidget;

namespace ar4 {

class TFormConvert;

struct ScreenshotPlan {
  QString Folder;                  // where the PNG files go; empty: no pictures
  std::filesystem::path Archive;   // the archive whose report and runs are shown; empty: none
};

/// The plan named by the environment.
ScreenshotPlan ScreenshotPlanFromEnvironment();

/// Saves what `window` shows as `folder`/`name`; false when the file cannot be written.
bool SaveWindowPicture(QWidget* window, const QString& folder, const QString& name);

/// Saves the part of the screen that `windows` cover, with a small margin (pictures of several windows
/// together, such as a dialog with its list opened).
bool SaveScreenPicture(std::initializer_list<QWidget*> windows, const QString& folder, const QString& name);

/// One conversion press through `convert`, answering the dialogs itself and taking "report-box.png" and
/// "interval-dialog.png" on the way; the interval dialog is cancelled, so nothing is written.
void RunScreenshotConversion(TFormConvert& form, const ScreenshotPlan& plan,
                             const std::function<void(UserInterface&)>& convert);

}  // namespace ar4
