// ar4conv runs, run as a program: the overlap list of generated archives, an empty list, rejections.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ar4gen/generator.hpp"
#include "cli_runner.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/interval/overlap.hpp"

namespace {

namespace fs = std::filesystem;

class RunsCommandTest : public ::testing::Test {
 protected:
  using Result = ar4::clitest::CliRun;

  void SetUp() override { ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first"; }

  Result Runs(const std::vector<std::uint8_t>& archive) {
    const fs::path file = scratch_.Path() / "a.ar4";
    ar4::clitest::WriteAll(file, archive);
    return ar4::clitest::RunCli("runs " + ar4::clitest::Quoted(file), scratch_.Path());
  }

  /// A header and `pages` erased pages.
  static std::vector<std::uint8_t> Blank(std::uint16_t type, std::uint32_t pages) {
    std::vector<std::uint8_t> file(ar4::kHeaderSize + pages * ar4::kPageSize, 0xFF);
    ar4gen::HeaderFields header;
    header.DeviceType = type;
    header.PageCount = pages;
    ar4gen::WriteHeader(file.data(), header);
    return file;
  }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_runs_test_"};
};

std::uint32_t At(std::uint32_t hour, std::uint32_t minute) {
  return ar4::PackDate(1, 2, 2014) | (hour << 12) | (minute << 6);
}

TEST_F(RunsCommandTest, PrintsOneItemTextPerRun) {
  std::vector<std::uint8_t> file = Blank(73, 1);
  const ar4::DeviceProfile& profile = *ar4::FindDeviceProfile(73);
  const std::uint32_t stamps[] = {At(10, 0), At(10, 5), At(10, 10), At(10, 3), At(10, 7)};
  for (std::size_t i = 0; i < std::size(stamps); ++i) {
    ar4gen::CellContent content;
    content.Stamp = stamps[i];
    ar4gen::WriteCell(file.data() + ar4::kHeaderSize + i * profile.CellSize, profile, content);
  }
  const Result run = Runs(file);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out,
            "   01.02.2014    10:00:00    -    01.02.2014    10:10:00\n"
            "   01.02.2014    10:03:00    -    01.02.2014    10:07:00\n");
  EXPECT_TRUE(run.Err.empty());
}

TEST_F(RunsCommandTest, GeneratedArchiveWithSetBacksListsWhatTheAnalysisFinds) {
  ar4gen::GeneratorOptions options;
  options.Seed = 3;
  options.Header.DeviceType = 76;
  options.Header.PageCount = 30;
  options.WrapSlot = 200;
  options.SetBacks = 12;
  options.ChecksumDamage = 0.05;
  options.ZeroStamps = 0.05;
  const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);

  auto buffers = std::make_unique<ar4::ArchiveBuffers>();
  ar4::LoadedArchive loaded;
  ASSERT_EQ(ar4::LoadArchiveBytes(file, *buffers, loaded), ar4::LoadStatus::kLoaded);
  const ar4::ScanResult scan = ar4::ValidationScan(buffers->MainBlock.get(), loaded.PageCount, *loaded.Profile);
  auto list = std::make_unique<ar4::IntervalList>();
  ar4::Pacer pacer;
  ar4::AnalizInterval(buffers->MainBlock.get(), ar4::RingGeometry::Of(*loaded.Profile, loaded.PageCount),
                      scan.StartPosition, *list, pacer);
  ASSERT_GE(list->ItemCount, 12u);
  std::string expected;
  for (std::uint32_t k = 0; k < list->ItemCount; ++k) {
    expected += ar4::IntervalItemText(list->Entries[k]);
    expected += '\n';
  }

  const Result run = Runs(file);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, expected);
  EXPECT_EQ(run.Out.size(), list->ItemCount * 57u);  // 56 characters and LF per line
}

TEST_F(RunsCommandTest, EmptyListPrintsNothing) {
  const Result run = Runs(Blank(89, 4));
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_TRUE(run.Out.empty());
  EXPECT_TRUE(run.Err.empty());
}

TEST_F(RunsCommandTest, RejectedFileAndUnknownTypeFailOnStderr) {
  std::vector<std::uint8_t> short_file = Blank(73, 1);
  short_file.resize(511);
  Result run = Runs(short_file);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Out.empty());
  EXPECT_EQ(run.Err, "Ошибочный размер файла\n");

  run = Runs(Blank(80, 1));
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Out.empty());
  EXPECT_EQ(run.Err.rfind("Тип прибора: 80\nЗаводской номер: 1042\n", 0), 0u);
  EXPECT_EQ(run.Err.find('\r'), std::string::npos);
}

TEST_F(RunsCommandTest, SpecialFilesAreReadErrorsWithoutBlocking) {
  for (const std::string& special : ar4::clitest::SpecialFileArguments(scratch_.Path())) {
    SCOPED_TRACE(special);
    const Result run =
        ar4::clitest::RunCli("runs " + special, scratch_.Path(), {}, ar4::clitest::kNoBlockingSeconds);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, "Ошибки\n");
    EXPECT_TRUE(run.Out.empty());
  }
}

}  // namespace
