#pragma once
/// Starting the installed TrendoraStudio (found by the viewer search of the core).

#include <string>

namespace ar4::win32 {

/// Starts the viewer with its window in the normal state and does not wait for it. The path is quoted on
/// the command line, so a folder with blanks ("C:\Program Files\...") cannot start another program.
bool LaunchViewer(const std::wstring& executable);

}  // namespace ar4::win32
