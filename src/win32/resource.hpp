#pragma once
/// Resource identifiers of the window program (shared with ar4conv-gui.rc).

#define AR4_APP_ICON 1

#ifdef __cplusplus
namespace ar4::win32 {
inline constexpr int kAppIconId = AR4_APP_ICON;
}  // namespace ar4::win32
#endif
