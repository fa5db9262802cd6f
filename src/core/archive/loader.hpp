#pragma once
/// Reading one archive file into the ArchiveBuffers, with the size and signature rules in their order.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "core/archive/archive_buffers.hpp"
#include "core/archive/format.hpp"

namespace ar4 {

enum class LoadStatus {
  kLoaded,       // a known type whose sizes passed: ready for the validation scan
  kUnknownType,  // signature fine, DeviceType without a profile: only the header lines can be reported
  kWrongSize,    // below 512 bytes, PageCount 0 or above 131072, or main block longer than the file
  kWrongFormat,  // signature bytes are not "a", "r"
  kReadError,    // missing, unreadable, a directory, or a read that failed
};

/// What the header says, as far as the loading got.
struct LoadedArchive {
  std::uint64_t FileSize = 0;  // 64-bit: archives of 2 GiB and more are sized correctly
  std::uint16_t DeviceType = 0;
  std::uint32_t SerialNumber = 0xFFFFFFFFu;
  std::uint32_t PageCount = 0;
  const DeviceProfile* Profile = nullptr;  // set for kLoaded
};

/// Opens and reads `path`: the header, then at most 32 MiB of main block (mapped into the MainBlock where
/// the system can, else read), then the checks.
LoadStatus LoadArchive(const std::filesystem::path& path, ArchiveBuffers& buffers, LoadedArchive& out);

/// The same rules for a file already in memory (tests, fuzzing).
LoadStatus LoadArchiveBytes(std::span<const std::uint8_t> file, ArchiveBuffers& buffers, LoadedArchive& out);

/// The fixed message of a rejection (UTF-8): "Ошибочный размер файла", "Ошибочный формат файла", "Ошибки";
/// empty for kLoaded and kUnknownType.
std::string_view LoadStatusMessage(LoadStatus status);

}  // namespace ar4
