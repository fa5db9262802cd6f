#include "core/export/folders.hpp"

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

/// A field in decimal, one "0" in front when it has a single digit; larger fields print in full.
void AppendTwoDigits(std::string& out, unsigned value) {
  if (value < 10) out.push_back('0');
  out += std::to_string(value);
}

/// The test-then-create rule of every level: an existing folder is kept, a missing one is created.
bool EnsureFolder(const std::filesystem::path& path, OutputFileSystem& file_system) {
  return file_system.IsDirectory(path) || file_system.CreateFolder(path);
}

}  // namespace

std::string DeviceFolderName(const DeviceProfile& profile, std::uint32_t serial_number) {
  std::string name(profile.DeviceFolderPrefix);
  name += std::to_string(serial_number);  // unsigned decimal: 4294967295, never negative
  return name;
}

std::string ArchiveFolderName(std::uint32_t creation_date) {
  if (!HasTimeStamp(creation_date)) return std::string(kBadDateFolder);
  // The bit fields are printed as they are, without a range test; the seconds are always "00".
  const auto fields = PackedToFields(creation_date);
  std::string name;
  for (std::size_t i = 0; i < 5; ++i) AppendTwoDigits(name, fields[i]);
  name += "00";
  return name;
}

OutputFolderResult BuildOutputFolder(OutputTarget target, const std::filesystem::path& root,
                                     const DeviceProfile& profile, std::uint32_t serial_number,
                                     std::uint32_t creation_date, OutputFileSystem& file_system) {
  OutputFolderResult result;
  std::filesystem::path folder = root;
  const auto level = [&](std::string_view name, FolderLevel which) {
    folder /= PathFromUtf8(name);  // one separator whether or not the parent ends with one
    if (EnsureFolder(folder, file_system)) return true;
    result.FailedLevel = which;
    return false;
  };
  // The viewer's data folder was tested when the viewer was found; it is used as it is.
  if (target == OutputTarget::kChosenFolder && !level(kArhRepFolder, FolderLevel::kArhRep)) return result;
  if (!level(DeviceFolderName(profile, serial_number), FolderLevel::kDevice)) return result;
  if (!level(kConfigurationFolder, FolderLevel::kConfiguration)) return result;
  if (!level(kDatabaseFolder, FolderLevel::kDatabase)) return result;
  if (!level(ArchiveFolderName(creation_date), FolderLevel::kArchive)) return result;
  result.OutputFolder = folder / "";  // with its trailing separator
  return result;
}

OutputFolderResult BuildOutputFolder(OutputTarget target, const std::filesystem::path& root,
                                     const DeviceProfile& profile, const std::uint8_t* header_bytes,
                                     OutputFileSystem& file_system) {
  return BuildOutputFolder(target, root, profile, ReadU32(header_bytes + header::kSerialNumber),
                           ReadU32(header_bytes + header::kCreationDate), file_system);
}

std::string_view FolderErrorMessage(FolderLevel level) {
  switch (level) {
    case FolderLevel::kNone:
      return {};
    case FolderLevel::kArhRep:
      return "Ошибка создания директории ARHrep";
    case FolderLevel::kDevice:
      return "Ошибка создания директории \"Имя прибора\"";
    case FolderLevel::kConfiguration:
      return "Ошибка создания директории \"Имя конфигурации\"";
    case FolderLevel::kDatabase:
      return "Ошибка создания директории DB";
    case FolderLevel::kArchive:
      return "Ошибка создания директории \"Год\"";
  }
  return {};
}

}  // namespace ar4
