#pragma once
/// The output folder tree: [ARHrep] / device folder / "StandartConfig" / "DB" / archive folder, each level
/// created only when it is missing, one level at a time.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/archive/format.hpp"
#include "core/export/file_system.hpp"

namespace ar4 {

/// Where the tree goes: the interval dialog's target group SelectDir.
enum class OutputTarget : int {
  kChosenFolder = 0,      // "Выбрать каталог для распаковки": the tree starts with "ARHrep" in the folder
  kViewerDataFolder = 1,  // "Интегрировать данные в TrendoraStudio": the device folder goes straight in
};

/// The level of the tree whose creation failed.
enum class FolderLevel : int {
  kNone = 0,       // success
  kArhRep,         // "ARHrep" (chosen folder only)
  kDevice,         // prefix + serial
  kConfiguration,  // "StandartConfig"
  kDatabase,       // "DB"
  kArchive,        // the creation date, or "BAD_DateTime"
};

struct OutputFolderResult {
  /// The deepest folder with a trailing separator; set only on success.
  std::filesystem::path OutputFolder;
  FolderLevel FailedLevel = FolderLevel::kNone;
  bool Ok() const { return FailedLevel == FolderLevel::kNone; }
};

/// Builds the tree under `root` (the chosen folder, or the viewer's data folder, which is neither tested
/// nor created). Stops at the first level that cannot be created; the levels made before it stay.
OutputFolderResult BuildOutputFolder(OutputTarget target, const std::filesystem::path& root,
                                     const DeviceProfile& profile, std::uint32_t serial_number,
                                     std::uint32_t creation_date, OutputFileSystem& file_system);

/// The same, with the serial number and the creation date taken from the 256-byte header.
OutputFolderResult BuildOutputFolder(OutputTarget target, const std::filesystem::path& root,
                                     const DeviceProfile& profile, const std::uint8_t* header_bytes,
                                     OutputFileSystem& file_system);

/// The message (UTF-8) shown when a level cannot be created; empty for kNone.
std::string_view FolderErrorMessage(FolderLevel level);

/// UTF-8 folder names: "VR7731-1042", "ЛС 260-0", "GRV 300-4294967295".
std::string DeviceFolderName(const DeviceProfile& profile, std::uint32_t serial_number);
/// "150307140500" (year, month, day, hour, minute, then "00"), or "BAD_DateTime" for 0 and 0xFFFFFFFF.
std::string ArchiveFolderName(std::uint32_t creation_date);

inline constexpr std::string_view kArhRepFolder = "ARHrep";
inline constexpr std::string_view kConfigurationFolder = "StandartConfig";
inline constexpr std::string_view kDatabaseFolder = "DB";
inline constexpr std::string_view kBadDateFolder = "BAD_DateTime";

}  // namespace ar4
