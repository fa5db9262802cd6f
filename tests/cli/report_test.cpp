// ar4conv report, run as a program on generated archives: exit codes, the three output forms, messages.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <nlohmann/json.hpp>

#include "ar4gen/generator.hpp"
#include "cli_runner.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/cp1251.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/report.hpp"
#include "core/archive/scan.hpp"
#include "core/interval/overlap.hpp"

namespace {

namespace fs = std::filesystem;

using ar4::clitest::CliRun;
using ar4::clitest::Quoted;

class ReportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first"; }

  /// Runs `ar4conv report ARGS` with stdout and stderr caught in files.
  CliRun Run(const std::string& args) { return ar4::clitest::RunCli("report " + args, dir_); }

  fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = dir_ / name;
    ar4::clitest::WriteAll(path, bytes);
    return path;
  }

  /// A type-73 archive with damage, set-backs and a wrapped ring.
  static std::vector<std::uint8_t> SampleArchive(std::uint16_t type = 73) {
    ar4gen::GeneratorOptions options;
    options.Seed = 5;
    options.Header.DeviceType = type;
    options.Header.PageCount = 40;
    options.Header.SerialNumber = 77001;
    options.Header.CreationDate = 0x38A6A000;
    options.WrapSlot = 100;
    options.SetBacks = 2;
    options.ChecksumDamage = 0.05;
    options.MarkerDamage = 0.02;
    options.SpecialValues = 0.1;
    return ar4gen::GenerateArchive(options);
  }

  /// The report as the library builds it for the same bytes.
  static std::string ExpectedReport(const std::vector<std::uint8_t>& bytes, bool detailed) {
    auto buffers = std::make_unique<ar4::ArchiveBuffers>();
    ar4::LoadedArchive loaded;
    const ar4::LoadStatus status = ar4::LoadArchiveBytes(bytes, *buffers, loaded);
    std::string report = ar4::ReportHeaderLines(buffers->ArchiveHeader.data(), detailed);
    if (status == ar4::LoadStatus::kLoaded) {
      report += ar4::ReportClosingLines(
          ar4::ValidationScan(buffers->MainBlock.get(), loaded.PageCount, *loaded.Profile), detailed);
    }
    return report;
  }

  static std::string WithLf(std::string text) {
    for (char& c : text) {
      if (c == '\r') c = '\n';
    }
    return text;
  }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_report_test_"};
  const fs::path& dir_ = scratch_.Path();
};

TEST_F(ReportCommandTest, DefaultOutputIsUtf8WithLineFeeds) {
  const std::vector<std::uint8_t> bytes = SampleArchive();
  const fs::path archive = Write("a.ar4", bytes);
  const CliRun run = Run(Quoted(archive));
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, WithLf(ar4::Cp1251ToUtf8(ExpectedReport(bytes, false))));
  EXPECT_EQ(run.Out.rfind("Тип прибора: VR7731\nЗаводской номер: 77001\n", 0), 0u);
  EXPECT_EQ(run.Out.find('\r'), std::string::npos);
  EXPECT_TRUE(run.Err.empty());

  const CliRun detailed = Run("--detailed " + Quoted(archive));
  EXPECT_EQ(detailed.ExitCode, 0);
  EXPECT_EQ(detailed.Out, WithLf(ar4::Cp1251ToUtf8(ExpectedReport(bytes, true))));
  EXPECT_NE(detailed.Out.find("\nЯчеек с ошибкой KS: "), std::string::npos);
}

TEST_F(ReportCommandTest, RawPrintsExactlyTheWindows1251Bytes) {
  const std::vector<std::uint8_t> bytes = SampleArchive(76);
  const fs::path archive = Write("a.ar4", bytes);
  const CliRun run = Run(Quoted(archive) + " --raw --detailed");
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, ExpectedReport(bytes, true));
  EXPECT_EQ(run.Out.rfind("\xD2\xE8\xEF \xEF\xF0\xE8\xE1\xEE\xF0\xE0: \xCB\xD1 260\r", 0), 0u);
  EXPECT_EQ(run.Out.find('\n'), std::string::npos);
}

TEST_F(ReportCommandTest, SpecialFilesAreReadErrorsWithoutBlocking) {
  for (const std::string& special : ar4::clitest::SpecialFileArguments(dir_)) {
    for (const char* mode : {"", " --json"}) {
      SCOPED_TRACE(special + mode);
      const CliRun run = ar4::clitest::RunCli("report " + special + mode, dir_, {}, ar4::clitest::kNoBlockingSeconds);
      EXPECT_FALSE(run.TimedOut);
      EXPECT_EQ(run.ExitCode, 1);
      EXPECT_EQ(run.Err, "Ошибки\n");
      EXPECT_TRUE(run.Out.empty());
    }
  }
}

TEST_F(ReportCommandTest, JsonCarriesTheCountersAndTheOverlapList) {
  const std::vector<std::uint8_t> bytes = SampleArchive();
  const fs::path archive = Write("a.ar4", bytes);
  const CliRun run = Run("--json " + Quoted(archive));
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json json = nlohmann::json::parse(run.Out);

  auto buffers = std::make_unique<ar4::ArchiveBuffers>();
  ar4::LoadedArchive loaded;
  ASSERT_EQ(ar4::LoadArchiveBytes(bytes, *buffers, loaded), ar4::LoadStatus::kLoaded);
  const ar4::ScanResult scan = ar4::ValidationScan(buffers->MainBlock.get(), loaded.PageCount, *loaded.Profile);
  auto list = std::make_unique<ar4::IntervalList>();
  ar4::Pacer pacer;
  ar4::AnalizInterval(buffers->MainBlock.get(), ar4::RingGeometry::Of(*loaded.Profile, loaded.PageCount),
                      scan.StartPosition, *list, pacer);

  EXPECT_EQ(json["DeviceType"], 73);
  EXPECT_EQ(json["Model"], "VR7731");
  EXPECT_EQ(json["SerialNumber"], 77001);
  EXPECT_EQ(json["CreationDate"]["Stamp"], 0x38A6A000u);
  EXPECT_EQ(json["CreationDate"]["Text"], "20.03.2014    10:00:00");
  const auto& s = json["ScanStatistics"];
  EXPECT_EQ(s["ValidCells"], scan.Statistics.ValidCells);
  EXPECT_EQ(s["CellsWithoutMarker"], scan.Statistics.CellsWithoutMarker);
  EXPECT_EQ(s["CellsWithWrongLength"], scan.Statistics.CellsWithWrongLength);
  EXPECT_EQ(s["CellsWithBadChecksum"], scan.Statistics.CellsWithBadChecksum);
  EXPECT_EQ(s["ChainBreaks"], scan.Statistics.ChainBreaks);
  EXPECT_EQ(s["OffScaleValues"], scan.Statistics.OffScaleValues);
  EXPECT_GT(scan.Statistics.CellsWithBadChecksum, 0u);
  EXPECT_EQ(json["ValidCells"], scan.Statistics.ValidCells);
  EXPECT_EQ(json["NominalCapacity"], 1179648);
  EXPECT_EQ(json["FillPerMille"], scan.FillPerMille);
  EXPECT_EQ(json["MinDate"]["Stamp"], scan.MinDate);
  EXPECT_EQ(json["MinDate"]["Text"], ar4::PackedToText(scan.MinDate));
  EXPECT_EQ(json["StartPosition"]["Page"], scan.StartPosition.Page);
  EXPECT_EQ(json["StartPosition"]["Cell"], scan.StartPosition.Cell);

  const auto& runs = json["IntervalList"];
  ASSERT_EQ(runs.size(), list->ItemCount);
  EXPECT_GE(runs.size(), 2u);  // the set-backs cut the ring into runs
  for (std::uint32_t k = 0; k < list->ItemCount; ++k) {
    const ar4::IntervalEntry& e = list->Entries[k];
    EXPECT_EQ(runs[k]["FirstPage"], e.FirstPage);
    EXPECT_EQ(runs[k]["FirstCell"], e.FirstCell);
    EXPECT_EQ(runs[k]["LastPage"], e.LastPage);
    EXPECT_EQ(runs[k]["LastCell"], e.LastCell);
    EXPECT_EQ(runs[k]["FirstStamp"], e.FirstStamp);
    EXPECT_EQ(runs[k]["LastStamp"], e.LastStamp);
    EXPECT_EQ(runs[k]["FirstText"], ar4::PackedToText(e.FirstStamp));
    EXPECT_EQ(runs[k]["LastText"], ar4::PackedToText(e.LastStamp));
  }
}

TEST_F(ReportCommandTest, UnrecognisedTypeGivesTheHeaderLinesOnly) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 80;
  options.Header.PageCount = 0;  // no size test for an unknown type
  options.FileTailBytes = 300;
  const std::vector<std::uint8_t> bytes = ar4gen::GenerateArchive(options);
  const fs::path archive = Write("u.ar4", bytes);
  const CliRun run = Run(Quoted(archive));
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, "Тип прибора: 80\nЗаводской номер: 1042\nДата создания архива: 01.01.2000    00:00:00\n");

  const CliRun json = Run(Quoted(archive) + " --json");
  EXPECT_EQ(json.ExitCode, 0);
  const nlohmann::json parsed = nlohmann::json::parse(json.Out);
  EXPECT_EQ(parsed["DeviceType"], 80);
  EXPECT_TRUE(parsed["Model"].is_null());
  EXPECT_EQ(parsed["Scanned"], false);
}

TEST_F(ReportCommandTest, RejectedFilesGiveTheFixedMessage) {
  std::vector<std::uint8_t> short_file = SampleArchive();
  short_file.resize(511);
  std::vector<std::uint8_t> foreign = SampleArchive();
  foreign[0] = 'A';
  std::vector<std::uint8_t> truncated = SampleArchive();
  truncated.resize(truncated.size() - 1);
  fs::create_directory(dir_ / "folder.ar4");

  struct Case {
    fs::path path;
    const char* message;
  };
  const Case cases[] = {{Write("short.ar4", short_file), "Ошибочный размер файла\n"},
                        {Write("foreign.ar4", foreign), "Ошибочный формат файла\n"},
                        {Write("truncated.ar4", truncated), "Ошибочный размер файла\n"},
                        {dir_ / "missing.ar4", "Ошибки\n"},
                        {dir_ / "folder.ar4", "Ошибки\n"}};
  for (const Case& c : cases) {
    for (const char* mode : {"", " --raw", " --json"}) {
      SCOPED_TRACE(c.path.filename().string() + mode);
      const CliRun run = Run(Quoted(c.path) + mode);
      EXPECT_EQ(run.ExitCode, 1);
      EXPECT_EQ(run.Err, c.message);
      EXPECT_TRUE(run.Out.empty());
    }
  }
}

TEST_F(ReportCommandTest, UsageErrors) {
  const fs::path archive = Write("a.ar4", SampleArchive());
  EXPECT_EQ(Run(Quoted(archive) + " --raw --json").ExitCode, 2);
  EXPECT_EQ(Run("").ExitCode, 2);
  EXPECT_EQ(Run(Quoted(archive) + " --no-such-option").ExitCode, 2);
  const CliRun help = Run("--help");
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("--detailed"), std::string::npos);
}

#ifndef _WIN32
TEST_F(ReportCommandTest, LostStandardOutputIsAFailureWithAMessage) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const fs::path archive = Write("a.ar4", SampleArchive());
  const fs::path err = dir_ / "err.txt";
  for (const char* command : {"report", "runs"}) {
    for (const char* mode : {"", " --raw", " --json"}) {
      if (std::string(command) == "runs" && *mode != '\0') continue;
      SCOPED_TRACE(std::string(command) + mode);
      const std::string line = Quoted(AR4_CLI_PATH) + " " + command + " " + Quoted(archive) + mode + " >/dev/full 2>" +
                               Quoted(err);
      const int status = std::system(line.c_str());
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 1);
      EXPECT_EQ(ar4::clitest::ReadAll(err), "ar4conv: the standard output could not be written\n");
    }
  }
}
#endif

}  // namespace
