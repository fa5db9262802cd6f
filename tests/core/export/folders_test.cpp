#include "core/export/folders.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "core/export/memory_file_system.hpp"
#include "export_test_support.hpp"
#include "temp_folder.hpp"

namespace ar4 {
namespace {

using test::Stamp;
using test::TempFolder;

const DeviceProfile& Type(std::uint16_t device_type) { return *FindDeviceProfile(device_type); }

std::string Generic(const std::filesystem::path& path) { return PathToUtf8(path.generic_u8string()); }

TEST(FolderNames, DeviceFolderIsPrefixAndUnsignedSerial) {
  EXPECT_EQ(DeviceFolderName(Type(73), 1042), "VR7731-1042");
  EXPECT_EQ(DeviceFolderName(Type(74), 0), "VR7732-0");
  EXPECT_EQ(DeviceFolderName(Type(75), 4294967295u), "VR7733-4294967295");
  EXPECT_EQ(DeviceFolderName(Type(76), 7), "ЛС 260-7");
  EXPECT_EQ(DeviceFolderName(Type(89), 12), "GRV 300-12");
}

TEST(FolderNames, ArchiveFolderIsTheCreationDateWithoutSeconds) {
  EXPECT_EQ(ArchiveFolderName(Stamp(2015, 3, 7, 14, 5, 33)), "150307140500");
  EXPECT_EQ(ArchiveFolderName(Stamp(2000, 1, 1, 0, 0, 1)), "000101000000");
  EXPECT_EQ(ArchiveFolderName(0), "BAD_DateTime");
  EXPECT_EQ(ArchiveFolderName(0xFFFFFFFFu), "BAD_DateTime");
  // Fields are printed as they are: month field 15 is month 16, hour field 31 is printed in full.
  EXPECT_EQ(ArchiveFolderName((15u << 26) | (15u << 22) | (31u << 17) | (31u << 12) | (63u << 6)), "1516323163" "00");
}

TEST(FolderMessages, OneFixedTextPerLevel) {
  EXPECT_EQ(FolderErrorMessage(FolderLevel::kArhRep), "Ошибка создания директории ARHrep");
  EXPECT_EQ(FolderErrorMessage(FolderLevel::kDevice), "Ошибка создания директории \"Имя прибора\"");
  EXPECT_EQ(FolderErrorMessage(FolderLevel::kConfiguration), "Ошибка создания директории \"Имя конфигурации\"");
  EXPECT_EQ(FolderErrorMessage(FolderLevel::kDatabase), "Ошибка создания директории DB");
  EXPECT_EQ(FolderErrorMessage(FolderLevel::kArchive), "Ошибка создания директории \"Год\"");
  EXPECT_TRUE(FolderErrorMessage(FolderLevel::kNone).empty());
}

TEST(BuildOutputFolder, ChosenFolderOnDisk) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto result =
      BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), Type(73), 1042, Stamp(2015, 3, 7, 14, 5, 33), fs);
  ASSERT_TRUE(result.Ok());
  const auto expected = temp.Path() / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB" / "150307140500" / "";
  EXPECT_EQ(result.OutputFolder, expected);
  EXPECT_EQ(Generic(result.OutputFolder).back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(expected));
}

TEST(BuildOutputFolder, ChosenFolderEndingInASeparatorGetsOneSeparator) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto result = BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path() / "", Type(89), 5, 0, fs);
  ASSERT_TRUE(result.Ok());
  EXPECT_EQ(Generic(result.OutputFolder),
            Generic(temp.Path()) + "/ARHrep/GRV 300-5/StandartConfig/DB/BAD_DateTime/");
}

TEST(BuildOutputFolder, CyrillicDeviceFolderOnDisk) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto result =
      BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), Type(76), 0, 0xFFFFFFFFu, fs);
  ASSERT_TRUE(result.Ok());
  EXPECT_TRUE(std::filesystem::is_directory(temp.Path() / "ARHrep" / PathFromUtf8("ЛС 260-0") / "StandartConfig"));
  EXPECT_EQ(PathToUtf8(result.OutputFolder.parent_path().filename()), "BAD_DateTime");
}

TEST(BuildOutputFolder, ViewerDataFolderWithOrWithoutSeparator) {
  for (const char* root : {"/viewer/data", "/viewer/data/"}) {
    MemoryFileSystem fs;
    fs.AddDirectory("/viewer");
    fs.AddDirectory("/viewer/data");
    const auto result = BuildOutputFolder(OutputTarget::kViewerDataFolder, root, Type(74), 4294967295u,
                                          Stamp(2015, 3, 7, 14, 5, 33), fs);
    ASSERT_TRUE(result.Ok()) << root;
    EXPECT_EQ(Generic(result.OutputFolder), "/viewer/data/VR7732-4294967295/StandartConfig/DB/150307140500/");
    EXPECT_FALSE(fs.IsDirectory("/viewer/data/ARHrep"));
  }
}

TEST(BuildOutputFolder, ViewerDataFolderIsNeitherTestedNorCreated) {
  MemoryFileSystem fs;
  const auto result = BuildOutputFolder(OutputTarget::kViewerDataFolder, "/missing", Type(73), 1, 0, fs);
  EXPECT_EQ(result.FailedLevel, FolderLevel::kDevice);
  EXPECT_FALSE(fs.IsDirectory("/missing"));
  EXPECT_TRUE(result.OutputFolder.empty());
}

TEST(BuildOutputFolder, ExistingLevelsAreKept) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto first = BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), Type(73), 1, 0, fs);
  ASSERT_TRUE(first.Ok());
  std::ofstream(first.OutputFolder / "keep.txt") << "x";
  const auto second = BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), Type(73), 1, 0, fs);
  ASSERT_TRUE(second.Ok());
  EXPECT_EQ(first.OutputFolder, second.OutputFolder);
  EXPECT_TRUE(std::filesystem::exists(second.OutputFolder / "keep.txt"));
}

TEST(BuildOutputFolder, PlainFileInPlaceOfALevelFailsThatLevel) {
  const std::vector<std::pair<std::string, FolderLevel>> levels{
      {"ARHrep", FolderLevel::kArhRep},
      {"ARHrep/VR7731-9", FolderLevel::kDevice},
      {"ARHrep/VR7731-9/StandartConfig", FolderLevel::kConfiguration},
      {"ARHrep/VR7731-9/StandartConfig/DB", FolderLevel::kDatabase},
      {"ARHrep/VR7731-9/StandartConfig/DB/150307140500", FolderLevel::kArchive}};
  for (std::size_t i = 0; i < levels.size(); ++i) {
    TempFolder temp;
    for (std::size_t k = 0; k < i; ++k) std::filesystem::create_directory(temp.Path() / levels[k].first);
    const auto blocker = temp.Path() / levels[i].first;
    std::ofstream(blocker) << "not a folder";
    DiskFileSystem fs;
    const auto result =
        BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), Type(73), 9, Stamp(2015, 3, 7, 14, 5, 0), fs);
    EXPECT_EQ(result.FailedLevel, levels[i].second) << levels[i].first;
    EXPECT_TRUE(result.OutputFolder.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(blocker));
    // Nothing was created beyond the failing level.
    std::size_t entries = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(temp.Path());
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      ++entries;
    }
    EXPECT_EQ(entries, i + 1) << levels[i].first;
  }
}

TEST(BuildOutputFolder, HeaderBytesGiveSerialAndDate) {
  std::uint8_t header[kHeaderSize] = {};
  ar4gen::HeaderFields fields;
  fields.SerialNumber = 77;
  fields.CreationDate = Stamp(2016, 11, 30, 8, 9, 10);
  ar4gen::WriteHeader(header, fields);
  MemoryFileSystem fs;
  fs.AddDirectory("/root");
  const auto result = BuildOutputFolder(OutputTarget::kChosenFolder, "/root", Type(75), header, fs);
  ASSERT_TRUE(result.Ok());
  EXPECT_EQ(Generic(result.OutputFolder), "/root/ARHrep/VR7733-77/StandartConfig/DB/161130080900/");
}

}  // namespace
}  // namespace ar4
