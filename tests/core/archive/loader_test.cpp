#include "core/archive/loader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "archive_builder.hpp"
#include "core/archive/scan.hpp"

namespace ar4 {
namespace {

using testing::ArchiveImage;
using testing::ExpectSameScan;
using testing::Content;
using testing::SharedBuffers;
using testing::TempPath;

/// Loads the bytes both from memory and through a file, expects the same outcome, and returns it.
LoadStatus LoadBothWays(std::span<const std::uint8_t> bytes, LoadedArchive& loaded) {
  LoadedArchive from_memory;
  const LoadStatus memory_status = LoadArchiveBytes(bytes, SharedBuffers(), from_memory);
  TempPath file("loader");
  file.Write(bytes);
  const LoadStatus file_status = LoadArchive(file.Path(), SharedBuffers(), loaded);
  EXPECT_EQ(memory_status, file_status);
  EXPECT_EQ(from_memory.FileSize, loaded.FileSize);
  EXPECT_EQ(from_memory.PageCount, loaded.PageCount);
  EXPECT_EQ(from_memory.DeviceType, loaded.DeviceType);
  EXPECT_EQ(from_memory.Profile, loaded.Profile);
  return file_status;
}

LoadStatus LoadBothWays(std::span<const std::uint8_t> bytes) {
  LoadedArchive loaded;
  return LoadBothWays(bytes, loaded);
}

void SetSizeField(ArchiveImage& image, std::array<std::uint8_t, 4> bytes4to7) {
  std::copy(bytes4to7.begin(), bytes4to7.end(), image.Header() + header::kMainBlockSize);
}

TEST(LoadArchive, OnePageFileOfFiveHundredTwelveBytes) {
  ArchiveImage image(73, 1);
  SetSizeField(image, {0x00, 0x01, 0x00, 0x00});
  image.Put({0, 0}, Content(0x38000000));
  image.Header()[header::kSerialNumber] = 0x2A;
  image.Header()[header::kSerialNumber + 1] = 0;
  LoadedArchive loaded;
  ASSERT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kLoaded);
  EXPECT_EQ(loaded.FileSize, 512u);
  EXPECT_EQ(loaded.PageCount, 1u);
  EXPECT_EQ(loaded.DeviceType, 73);
  EXPECT_EQ(loaded.SerialNumber, 0x2Au);
  EXPECT_EQ(loaded.Profile, FindDeviceProfile(73));
  EXPECT_EQ(std::memcmp(SharedBuffers().ArchiveHeader.data(), image.Header(), kHeaderSize), 0);
  EXPECT_EQ(std::memcmp(SharedBuffers().MainBlock.get(), image.MainBlock(), kPageSize), 0);
}

TEST(LoadArchive, FileBelowFiveHundredTwelveBytesIsRejectedBeforeReading) {
  ArchiveImage image(73, 1);
  image.Bytes().resize(511);
  SharedBuffers().ArchiveHeader.fill(0xEE);
  LoadedArchive loaded;
  EXPECT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kWrongSize);
  EXPECT_EQ(loaded.FileSize, 511u);
  EXPECT_TRUE(std::all_of(SharedBuffers().ArchiveHeader.begin(), SharedBuffers().ArchiveHeader.end(),
                          [](std::uint8_t b) { return b == 0xEE; }));
  EXPECT_EQ(LoadBothWays(std::span<const std::uint8_t>()), LoadStatus::kWrongSize);
}

TEST(LoadArchive, SignatureIsTestedBeforeTheTypeAndTheSizes) {
  ArchiveImage foreign(73, 1);
  foreign.Header()[1] = 'R';
  EXPECT_EQ(LoadBothWays(foreign.View()), LoadStatus::kWrongFormat);
  ArchiveImage foreign_unknown(80, 1);
  foreign_unknown.Header()[0] = 'A';
  SetSizeField(foreign_unknown, {0, 0, 0, 0});
  EXPECT_EQ(LoadBothWays(foreign_unknown.View()), LoadStatus::kWrongFormat);
}

TEST(LoadArchive, UnknownTypeGetsNoSizeTest) {
  for (std::array<std::uint8_t, 4> size : {std::array<std::uint8_t, 4>{0, 0, 0, 0}, {0, 0xFF, 0xFF, 0xFF}}) {
    ArchiveImage image(80, 1);
    SetSizeField(image, size);
    image.Header()[header::kSerialNumber + 3] = 0x80;
    LoadedArchive loaded;
    EXPECT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kUnknownType);
    EXPECT_EQ(loaded.DeviceType, 80);
    EXPECT_EQ(loaded.SerialNumber, 0x80000412u);  // the generator's serial 1042 with a high byte
    EXPECT_EQ(loaded.Profile, nullptr);
  }
}

TEST(LoadArchive, PageCountZeroOrAboveTheBufferIsWrongSize) {
  ArchiveImage zero(76, 1);
  SetSizeField(zero, {0xFF, 0x00, 0x00, 0x00});
  EXPECT_EQ(LoadBothWays(zero.View()), LoadStatus::kWrongSize);

  // 131073 pages are refused even when the file holds them all.
  ArchiveImage too_many(76, kMaxPageCount + 1);
  EXPECT_EQ(LoadBothWays(too_many.View()), LoadStatus::kWrongSize);
}

TEST(LoadArchive, FullSizeMainBlockOfExactlyThirtyTwoMebibytes) {
  ArchiveImage image(89, kMaxPageCount);
  image.Put({kMaxPageCount - 1, 2}, Content(0x38000000));
  image.MainBlock()[kMainBlockCapacity - 1] = 0x5C;  // the padding byte of the last page
  ASSERT_EQ(image.Bytes().size(), kHeaderSize + kMainBlockCapacity);
  LoadedArchive loaded;
  ASSERT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kLoaded);
  EXPECT_EQ(loaded.PageCount, kMaxPageCount);
  EXPECT_EQ(SharedBuffers().MainBlock[kMainBlockCapacity - 1], 0x5C);
  EXPECT_EQ(std::memcmp(SharedBuffers().MainBlock.get(), image.MainBlock(), kMainBlockCapacity), 0);
}

TEST(LoadArchive, MainBlockMustFitInTheFile) {
  ArchiveImage image(74, 3);
  image.Bytes().resize(kHeaderSize + 3 * kPageSize - 1);
  EXPECT_EQ(LoadBothWays(image.View()), LoadStatus::kWrongSize);
  image.Bytes().resize(kHeaderSize + 3 * kPageSize);
  EXPECT_EQ(LoadBothWays(image.View()), LoadStatus::kLoaded);
  // A longer file is accepted; the surplus is ignored, also beyond the 32 MiB of the buffer.
  image.Bytes().resize(kHeaderSize + kMainBlockCapacity + 1000, 0x11);
  LoadedArchive loaded;
  EXPECT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kLoaded);
  EXPECT_EQ(loaded.PageCount, 3u);
  EXPECT_EQ(loaded.FileSize, kHeaderSize + kMainBlockCapacity + 1000);
}

TEST(LoadArchive, HighHalfOfTheSizeFieldChangesNothing) {
  ArchiveImage image(75, 2);
  image.Header()[8] = 0xFF;
  image.Header()[11] = 0x7F;
  image.Header()[4] = 0x99;
  LoadedArchive loaded;
  EXPECT_EQ(LoadBothWays(image.View(), loaded), LoadStatus::kLoaded);
  EXPECT_EQ(loaded.PageCount, 2u);
}

TEST(LoadArchive, PathsThatCannotBeReadAreReadErrors) {
  LoadedArchive loaded;
  TempPath missing("missing");
  EXPECT_EQ(LoadArchive(missing.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);

  TempPath folder("folder");
  std::filesystem::create_directory(folder.Path());
  EXPECT_EQ(LoadArchive(folder.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);
}

#ifdef _WIN32
TEST(LoadArchive, SpecialFilesAreReadErrorsWithoutBlocking) {
  LoadedArchive loaded;
  // A device that opens like a file.
  EXPECT_EQ(LoadArchive(L"NUL", SharedBuffers(), loaded), LoadStatus::kReadError);

  // A named pipe whose server never writes: reading it would wait for ever.
  const std::wstring name = L"\\\\.\\pipe\\ar4-loader-test-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                         4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LoadArchive(name, SharedBuffers(), loaded), LoadStatus::kReadError);
  CloseHandle(server);
}
#else
TEST(LoadArchive, SpecialFilesAreReadErrorsWithoutBlocking) {
  LoadedArchive loaded;
  // A FIFO without a writer: opened for reading the ordinary way, it waits for a writer for ever.
  TempPath fifo("fifo");
  ASSERT_EQ(mkfifo(fifo.Path().c_str(), 0600), 0);
  EXPECT_EQ(LoadArchive(fifo.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);
  // The same FIFO through a link.
  TempPath link("fifo-link");
  std::filesystem::create_symlink(fifo.Path(), link.Path());
  EXPECT_EQ(LoadArchive(link.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);

  // Devices: endless zeros, and nothing at all.
  for (const char* device : {"/dev/zero", "/dev/null"}) {
    if (std::filesystem::exists(device)) {
      EXPECT_EQ(LoadArchive(device, SharedBuffers(), loaded), LoadStatus::kReadError) << device;
    }
  }

  // A socket of the local domain.
  TempPath socket_path("socket");
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(server, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_name = socket_path.Path().string();
  ASSERT_LT(socket_name.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socket_name.c_str(), socket_name.size() + 1);
  ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(server, 1), 0);
  EXPECT_EQ(LoadArchive(socket_path.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);
  close(server);
}
#endif

TEST(LoadArchive, FileWithoutReadPermissionIsAReadError) {
#ifdef _WIN32
  GTEST_SKIP() << "permissions are not POSIX modes here";
#else
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ArchiveImage image(73, 1);
  TempPath file("unreadable");
  file.Write(image.View());
  std::filesystem::permissions(file.Path(), std::filesystem::perms::none);
  LoadedArchive loaded;
  EXPECT_EQ(LoadArchive(file.Path(), SharedBuffers(), loaded), LoadStatus::kReadError);
#endif
}

TEST(LoadArchive, FilesOfTwoGibibytesAndMoreAreSizedWithSixtyFourBits) {
  ArchiveImage image(73, 2);
  image.Put({0, 0}, Content(0x38000000));
  image.Put({1, 8}, Content(0x37000000));
  const ScanResult expected = ValidationScan(image.MainBlock(), 2, image.Profile());
  TempPath file("sparse");
  file.Write(image.View());
  // Sizes that a signed or unsigned 32-bit size would see as below 512 bytes.
  for (const std::uint64_t size : {(std::uint64_t{1} << 31) + 256, (std::uint64_t{1} << 32) + 300}) {
    std::error_code error;
    std::filesystem::resize_file(file.Path(), size, error);
    if (error) GTEST_SKIP() << "no sparse file of " << size << " bytes here: " << error.message();
    LoadedArchive loaded;
    ASSERT_EQ(LoadArchive(file.Path(), SharedBuffers(), loaded), LoadStatus::kLoaded) << size;
    EXPECT_EQ(loaded.FileSize, size);
    EXPECT_EQ(loaded.PageCount, 2u);
    const ScanResult got = ValidationScan(SharedBuffers().MainBlock.get(), 2, *loaded.Profile);
    ExpectSameScan(got, expected);
    EXPECT_EQ(got.StartPosition, (CellPosition{1, 8}));
  }
}

TEST(LoadArchive, SmallerArchiveAfterALargerOneScansAsInFreshBuffers) {
  // A larger archive whose later pages are full of valid cells...
  ArchiveImage large(73, 40);
  large.FillAll(Content(0x30000000));
  // ... then a smaller one with damage and a later minimum.
  ArchiveImage small(73, 3);
  small.Put({0, 0}, Content(0x38000010));
  small.Put({0, 1}, Content(0x38000020), ar4gen::Damage::kChecksum);
  small.Put({2, 4}, Content(0x38000005));

  auto used = std::make_unique<ArchiveBuffers>();
  LoadedArchive loaded;
  ASSERT_EQ(LoadArchiveBytes(large.View(), *used, loaded), LoadStatus::kLoaded);
  ASSERT_EQ(LoadArchiveBytes(small.View(), *used, loaded), LoadStatus::kLoaded);
  const ScanResult after_large = ValidationScan(used->MainBlock.get(), loaded.PageCount, *loaded.Profile);

  auto fresh = std::make_unique<ArchiveBuffers>();
  ASSERT_EQ(LoadArchiveBytes(small.View(), *fresh, loaded), LoadStatus::kLoaded);
  const ScanResult in_fresh = ValidationScan(fresh->MainBlock.get(), loaded.PageCount, *loaded.Profile);

  ExpectSameScan(after_large, in_fresh);
  EXPECT_EQ(in_fresh.Statistics.ValidCells, 2u);
  EXPECT_EQ(in_fresh.MinDate, 0x38000005u);
  EXPECT_EQ(in_fresh.StartPosition, (CellPosition{2, 4}));
}

TEST(LoadStatusMessage, FixedTexts) {
  EXPECT_EQ(LoadStatusMessage(LoadStatus::kWrongSize), "Ошибочный размер файла");
  EXPECT_EQ(LoadStatusMessage(LoadStatus::kWrongFormat), "Ошибочный формат файла");
  EXPECT_EQ(LoadStatusMessage(LoadStatus::kReadError), "Ошибки");
  EXPECT_TRUE(LoadStatusMessage(LoadStatus::kLoaded).empty());
  EXPECT_TRUE(LoadStatusMessage(LoadStatus::kUnknownType).empty());
}

}  // namespace
}  // namespace ar4
