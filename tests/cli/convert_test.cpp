// ar4conv convert, run as a program on small archives made cell by cell: targets, usage errors, rejected
// archives, folder failures, overlaps, re-ordering, decimal separator, detailed mode, converting again.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <locale.h>
#include <sys/stat.h>

#include "support/fake_wine_prefix.hpp"
#endif

#include "ar4gen/generator.hpp"
#include "cli_runner.hpp"
#include "core/archive/format.hpp"
#include "core/export/file_system.hpp"

namespace {

namespace fs = std::filesystem;
using ar4::clitest::CliRun;
using ar4::clitest::Quoted;
using ar4::clitest::ReadAll;

/// A packed time stamp, fields from the year down to the second.
constexpr std::uint32_t Stamp(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                              unsigned second) {
  return ((year - 2000u) << 26) | ((month - 1u) << 22) | ((day - 1u) << 17) | (hour << 12) | (minute << 6) |
         second;
}

/// 7 March 2015 14:05:33: the archive folder is 150307140500.
constexpr std::uint32_t kCreation = Stamp(2015, 3, 7, 14, 5, 33);
constexpr const char* kDateFolder = "150307140500";

/// 23.5 as the instruments store it (IEEE bits 0x41BC0000, most significant byte first).
constexpr std::array<std::uint8_t, 4> kValue23_5{0x41, 0xBC, 0x00, 0x00};

/// An archive made cell by cell: a header and `pages` erased pages.
struct HandArchive {
  HandArchive(std::uint16_t type, std::uint32_t pages, std::uint32_t creation = kCreation)
      : Profile(*ar4::FindDeviceProfile(type)), Bytes(ar4::kHeaderSize + pages * ar4::kPageSize, 0xFF) {
    ar4gen::HeaderFields header;
    header.DeviceType = type;
    header.PageCount = pages;
    header.CreationDate = creation;
    header.SerialNumber = 1042;
    ar4gen::WriteHeader(Bytes.data(), header);
  }
  void Put(std::uint32_t page, std::uint32_t cell, const ar4gen::CellContent& content,
           ar4gen::Damage damage = ar4gen::Damage::kNone) {
    ar4gen::WriteCell(Bytes.data() + ar4::kHeaderSize + page * ar4::kPageSize + cell * Profile.CellSize, Profile,
                      content, damage);
  }
  /// A cell with every channel (or sample) holding 23.5 and the given relay bits.
  void PutValue(std::uint32_t page, std::uint32_t cell, std::uint32_t stamp, std::uint8_t relays = 0) {
    ar4gen::CellContent content;
    content.Stamp = stamp;
    content.Relays = relays;
    content.SampleInterval = 1;
    content.Fields.fill(Profile.IeeeLittleEndian ? std::array<std::uint8_t, 4>{0x00, 0x00, 0xBC, 0x41} : kValue23_5);
    Put(page, cell, content);
  }

  const ar4::DeviceProfile& Profile;
  std::vector<std::uint8_t> Bytes;
};

/// 1 February 2014 at 10:mm.
constexpr std::uint32_t At10(unsigned minute) { return Stamp(2014, 2, 1, 10, minute, 0); }

/// Type 73, one page: 10:00, 10:05, 10:10, then the clock set back: 10:03, 10:07. Two runs.
HandArchive TwoRuns() {
  HandArchive archive(73, 1);
  const unsigned minutes[] = {0, 5, 10, 3, 7};
  for (std::uint32_t c = 0; c < 5; ++c) archive.PutValue(0, c, At10(minutes[c]));
  return archive;
}

/// Paths from and to UTF-8 text, the form in which the program prints them.
fs::path U8(std::string_view text) { return ar4::PathFromUtf8(text); }
std::string Text(const fs::path& path) { return ar4::PathToUtf8(path); }

/// The line the program prints for an output folder: the folder with its trailing separator.
std::string Printed(const fs::path& folder) { return Text(folder / "") + "\n"; }

/// The program's stdout with the separators of this system (a folder given with "/" on Windows).
std::string OutWithNativeSeparators(std::string out) {
#ifdef _WIN32
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
#endif
  return out;
}

/// The listing split after every CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find("\r\n", begin);
    end = end == std::string::npos ? text.size() : end + 2;
    lines.push_back(text.substr(begin, end - begin));
    begin = end;
  }
  return lines;
}

/// The names of the entries of a folder.
std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(Text(entry.path().filename()));
  return names;
}

class ConvertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first";
    out_ = Dir() / "out";
    fs::create_directories(out_);
  }

  const fs::path& Dir() const { return scratch_.Path(); }

  fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = Dir() / name;
    ar4::clitest::WriteAll(path, bytes);
    return path;
  }

  /// `ar4conv convert ARGS`, with the decimal point of the C locale unless `environment` says otherwise.
  CliRun Convert(const std::string& args, std::vector<std::string> environment = {}) {
    if (environment.empty() && ar4::clitest::CanSetEnvironment()) environment = {"LC_ALL=C"};
    return ar4::clitest::RunCli("convert " + args, Dir(), environment);
  }

  /// Converts `archive` into out_/ARHrep/... and returns the run.
  CliRun ConvertInto(const HandArchive& archive, const std::string& more = "",
                     std::vector<std::string> environment = {}) {
    const fs::path file = Write("a.ar4", archive.Bytes);
    return Convert(Quoted(file) + " --out " + Quoted(out_) + (more.empty() ? "" : " " + more), std::move(environment));
  }

  /// The output folder of a type-73 archive under out_.
  fs::path Type73Folder() const { return out_ / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB" / kDateFolder; }

  bool NothingUnder(const fs::path& folder) const { return fs::is_empty(folder); }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_convert_test_"};
  fs::path out_;
};

// --- Targets ---

TEST_F(ConvertCommandTest, OutBuildsTheTreeUnderArhrepAndPrintsItWithTheTrailingSeparator) {
  HandArchive archive(76, 1);
  archive.PutValue(0, 0, kCreation, 0x01);
  const CliRun run = ConvertInto(archive, "--decimal-separator .");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const fs::path folder = out_ / "ARHrep" / U8("ЛС 260-1042") / "StandartConfig" / "DB" / kDateFolder;
  EXPECT_EQ(run.Out, Printed(folder));
  EXPECT_EQ(run.Out[run.Out.size() - 2], static_cast<char>(fs::path::preferred_separator));
  EXPECT_TRUE(run.Err.empty()) << run.Err;
  EXPECT_EQ(Names(folder), (std::set<std::string>{"Pen.txt", "All_Chan.txt", "Chan1.pen", "Rele1.rel", "Rele2.rel",
                                                  "Rele3.rel", "Rele4.rel"}));
  // The whole output of one cell: 23.5 on channel 1, relay 1 on.
  EXPECT_EQ(ReadAll(folder / "Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
  EXPECT_EQ(ReadAll(folder / "All_Chan.txt"), std::string(13, ' ') + "07.03.2015    14:05:33" + std::string(11, ' ') +
                                                  "23.500000" + std::string(7, ' ') + "  1  0  0  0\r\n");
  EXPECT_EQ(ReadAll(folder / "Chan1.pen"), std::string("\x0F\x03\x07\x0E\x05\x21\x00\x00\xBC\x41\x00\x00\x00\x00\x00", 15));
  EXPECT_EQ(ReadAll(folder / "Rele1.rel"), std::string("\x0F\x03\x07\x0E\x05\x21\x01", 7));
  EXPECT_EQ(ReadAll(folder / "Rele4.rel"), std::string("\x0F\x03\x07\x0E\x05\x21\x00", 7));
}

TEST_F(ConvertCommandTest, EveryTypeWritesItsDeviceFolderAndItsFiles) {
  struct Case {
    std::uint16_t type;
    const char* device;
    std::size_t channels, relays;
  };
  const Case cases[] = {{73, "VR7731-1042", 4, 8}, {74, "VR7732-1042", 8, 8}, {75, "VR7733-1042", 16, 3},
                        {76, "ЛС 260-1042", 1, 4},  {89, "GRV 300-1042", 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    HandArchive archive(c.type, 1);
    archive.PutValue(0, 0, kCreation);
    const CliRun run = ConvertInto(archive);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const fs::path folder = out_ / "ARHrep" / U8(c.device) / "StandartConfig" / "DB" / kDateFolder;
    EXPECT_EQ(run.Out, Printed(folder));
    std::set<std::string> expected{"Pen.txt", "All_Chan.txt"};
    for (std::size_t g = 1; g <= c.channels; ++g) expected.insert("Chan" + std::to_string(g) + ".pen");
    for (std::size_t r = 1; r <= c.relays; ++r) expected.insert("Rele" + std::to_string(r) + ".rel");
    EXPECT_EQ(Names(folder), expected);
    EXPECT_EQ(ReadAll(folder / "Chan1.pen").size(), 15u);
  }
}

TEST_F(ConvertCommandTest, ViewerDataPutsTheDeviceFolderStraightIn) {
  const fs::path data = Dir() / "data";
  fs::create_directories(data);
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  const fs::path expected = data / "VR7731-1042" / "StandartConfig" / "DB" / kDateFolder;
  for (const std::string& given : {Text(data), Text(data) + "/"}) {
    SCOPED_TRACE(given);
    const CliRun run = Convert(Quoted(file) + " --viewer-data " + Quoted(U8(given)));
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    // One separator whether or not the folder ends with one.
    EXPECT_EQ(OutWithNativeSeparators(run.Out), Printed(expected));
    EXPECT_TRUE(fs::is_regular_file(expected / "All_Chan.txt"));
  }
  EXPECT_EQ(Names(data), std::set<std::string>{"VR7731-1042"});  // no "ARHrep" level
}

#ifndef _WIN32
TEST_F(ConvertCommandTest, WithoutTargetAndWithoutViewerItIsAUsageError) {
  const fs::path empty_prefix = Dir() / "prefix";
  fs::create_directories(empty_prefix);
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  const CliRun run = Convert(Quoted(file), {"LC_ALL=C", "WINEPREFIX=" + empty_prefix.string()});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_TRUE(run.Out.empty());
  EXPECT_FALSE(run.Err.empty());
  EXPECT_TRUE(NothingUnder(empty_prefix));
}

TEST_F(ConvertCommandTest, WithoutTargetTheInstalledViewersDataFolderIsUsed) {
  ar4::testing::FakeWinePrefix prefix;
  const fs::path viewer = prefix.MakeFolder("Program Files/TrendoraStudio");
  ar4::testing::FakeWinePrefix::WriteFile(viewer / "TrendoraStudio.exe", "MZ");
  ar4::testing::FakeWinePrefix::WriteFile(viewer / "Settings.ini", "C:\\TrendoraData\\\r\nsecond line\r\n");
  prefix.MakeFolder("TrendoraData");
  prefix.WriteInstallerFolders({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});

  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  const CliRun run = Convert(Quoted(file), {"LC_ALL=C", "WINEPREFIX=" + prefix.Root().string()});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const fs::path expected = prefix.Mapped("TrendoraData/VR7731-1042/StandartConfig/DB") / kDateFolder;
  EXPECT_EQ(run.Out, Printed(expected));
  EXPECT_TRUE(fs::is_regular_file(prefix.DriveC() / "TrendoraData" / "VR7731-1042" / "StandartConfig" / "DB" /
                                  kDateFolder / "Chan4.pen"));
}

TEST_F(ConvertCommandTest, WithoutTargetSpecialFilesAsTheViewersFilesNeitherBlockNorAbort) {
  // The viewer installed, but its Settings.ini a FIFO or endless zeros, or its system.reg a FIFO:
  // no data folder is found, which without a target is a usage error.
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  for (const char* kind : {"settings-fifo", "settings-zero", "registry-fifo"}) {
    SCOPED_TRACE(kind);
    ar4::testing::FakeWinePrefix prefix;
    const fs::path viewer = prefix.MakeFolder("Program Files/TrendoraStudio");
    ar4::testing::FakeWinePrefix::WriteFile(viewer / "TrendoraStudio.exe", "MZ");
    prefix.MakeFolder("TrendoraData");
    prefix.WriteInstallerFolders({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
    const std::string_view which = kind;
    if (which == "settings-fifo") {
      ASSERT_EQ(mkfifo((viewer / "Settings.ini").c_str(), 0600), 0);
    } else if (which == "settings-zero") {
      if (!fs::exists("/dev/zero")) continue;
      fs::create_symlink("/dev/zero", viewer / "Settings.ini");
    } else {
      ar4::testing::FakeWinePrefix::WriteFile(viewer / "Settings.ini", "C:\\TrendoraData\r\n");
      fs::remove(prefix.Root() / "system.reg");
      ASSERT_EQ(mkfifo((prefix.Root() / "system.reg").c_str(), 0600), 0);
    }
    const CliRun run = ar4::clitest::RunCli("convert " + Quoted(file), Dir(),
                                            {"LC_ALL=C", "WINEPREFIX=" + prefix.Root().string()},
                                            ar4::clitest::kNoBlockingSeconds);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 2) << run.Err;
    EXPECT_TRUE(run.Out.empty());
  }
}
#endif

// --- Usage errors: exit 2, nothing written ---

TEST_F(ConvertCommandTest, RunOutOfRangeIsAUsageError) {
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  for (const char* k : {"3", "0", "-1", "x"}) {
    SCOPED_TRACE(k);
    const CliRun run = Convert(Quoted(file) + " --out " + Quoted(out_) + " --run " + k);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Out.empty());
    EXPECT_TRUE(NothingUnder(out_));
  }
  const CliRun second = Convert(Quoted(file) + " --out " + Quoted(out_) + " --run 2");
  ASSERT_EQ(second.ExitCode, 0) << second.Err;
  const auto lines = Lines(ReadAll(Type73Folder() / "All_Chan.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(13, 22), "01.02.2014    10:03:00");
  EXPECT_EQ(lines[1].substr(13, 22), "01.02.2014    10:07:00");
}

TEST_F(ConvertCommandTest, BadDatesAreUsageErrorsAndTheCalendarIsNotChecked) {
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  const std::string bad[] = {"--from 2063-13-01", "--to 1999-12-31",  "--from 2064-01-01", "--to 2014-1-1",
                             "--from 2014-00-10", "--to 2014-01-32",    "--from 2014-01-00", "--to 14-01-01",
                             "--from 2014/01/01", "--to 2014-01-01x"};
  for (const std::string& option : bad) {
    SCOPED_TRACE(option);
    const CliRun run = Convert(Quoted(file) + " --out " + Quoted(out_) + " " + option);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Out.empty());
  }
  EXPECT_TRUE(NothingUnder(out_));

  // 31 February lies after every day of February: the whole of 1 February is inside.
  const CliRun run = Convert(Quoted(file) + " --out " + Quoted(out_) + " --from 2014-02-01 --to 2014-02-31");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Lines(ReadAll(Type73Folder() / "All_Chan.txt")).size(), 5u);
  // A range that ends the day before keeps every cell out.
  const CliRun before = Convert(Quoted(file) + " --out " + Quoted(out_) + " --to 2014-01-31");
  ASSERT_EQ(before.ExitCode, 0) << before.Err;
  EXPECT_TRUE(ReadAll(Type73Folder() / "All_Chan.txt").empty());
  EXPECT_TRUE(ReadAll(Type73Folder() / "Chan1.pen").empty());
}

TEST_F(ConvertCommandTest, ConflictingAndUnknownOptionsAreUsageErrors) {
  const fs::path file = Write("a.ar4", TwoRuns().Bytes);
  const std::string base = Quoted(file) + " --out " + Quoted(out_);
  for (const std::string& args :
       {base + " --run 1 --from 2014-01-01", base + " --run 1 --to 2014-01-01", base + " --run 1 --sort",
        base + " --no-such-option", base + " --viewer-data " + Quoted(Dir()), base + " --decimal-separator ab",
        std::string("--out ") + Quoted(out_),
        // An empty value is a bad value, not a missing option.
        base + " --from \"\"", base + " --to \"\"", base + " --decimal-separator \"\"",
        Quoted(file) + " --out \"\"", Quoted(file) + " --viewer-data \"\""}) {
    SCOPED_TRACE(args);
    const CliRun run = Convert(args);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Out.empty());
  }
  EXPECT_TRUE(NothingUnder(out_));
}

// --- Failures: the fixed message on stderr, exit 1 ---

TEST_F(ConvertCommandTest, RejectedArchivesGiveTheirFixedMessage) {
  std::vector<std::uint8_t> short_file = TwoRuns().Bytes;
  short_file.resize(511);
  std::vector<std::uint8_t> foreign = TwoRuns().Bytes;
  foreign[1] = 'R';
  fs::create_directory(Dir() / "folder.ar4");
  struct Case {
    fs::path path;
    const char* message;
  };
  const Case cases[] = {{Write("short.ar4", short_file), "Ошибочный размер файла\n"},
                        {Write("foreign.ar4", foreign), "Ошибочный формат файла\n"},
                        {Dir() / "missing.ar4", "Ошибки\n"},
                        {Dir() / "folder.ar4", "Ошибки\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.filename().string());
    const CliRun run = Convert(Quoted(c.path) + " --out " + Quoted(out_));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, c.message);
    EXPECT_TRUE(run.Out.empty());
    EXPECT_TRUE(NothingUnder(out_));
  }
}

TEST_F(ConvertCommandTest, SpecialFilesAreReadErrorsWithoutBlocking) {
  for (const std::string& special : ar4::clitest::SpecialFileArguments(Dir())) {
    SCOPED_TRACE(special);
    const CliRun run = ar4::clitest::RunCli("convert " + special + " --out " + Quoted(out_), Dir(), {},
                                            ar4::clitest::kNoBlockingSeconds);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, "Ошибки\n");
    EXPECT_TRUE(run.Out.empty());
    EXPECT_TRUE(NothingUnder(out_));
  }
}

TEST_F(ConvertCommandTest, UnrecognisedTypeAndArchiveWithoutUsableCellPrintTheReport) {
  HandArchive unknown(73, 1);
  unknown.Bytes[ar4::header::kDeviceType] = 80;
  CliRun run = ConvertInto(unknown);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err, "Тип прибора: 80\nЗаводской номер: 1042\nДата создания архива: 07.03.2015    14:05:33\n");
  EXPECT_TRUE(run.Out.empty());

  // Valid cells, but none with a time stamp: no run to convert.
  HandArchive no_time(73, 1);
  no_time.PutValue(0, 0, 0);
  no_time.PutValue(0, 1, 0xFFFFFFFFu);
  run = ConvertInto(no_time);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err,
            "Тип прибора: VR7731\nЗаводской номер: 1042\nДата создания архива: 07.03.2015    14:05:33\n"
            "Минимальная дата в архиве: ----  ----\n\nЗаполнение архива: 2 из  1179648 (0.0%)\n");
  EXPECT_TRUE(run.Out.empty());
  EXPECT_TRUE(NothingUnder(out_));
}

TEST_F(ConvertCommandTest, FolderLevelThatCannotBeCreatedGivesItsMessage) {
  const fs::path levels[] = {out_ / "ARHrep", out_ / "ARHrep" / "VR7731-1042",
                             out_ / "ARHrep" / "VR7731-1042" / "StandartConfig",
                             out_ / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB", Type73Folder()};
  const char* messages[] = {"Ошибка создания директории ARHrep\n", "Ошибка создания директории \"Имя прибора\"\n",
                            "Ошибка создания директории \"Имя конфигурации\"\n", "Ошибка создания директории DB\n",
                            "Ошибка создания директории \"Год\"\n"};
  const HandArchive archive = TwoRuns();
  for (std::size_t level = 0; level < std::size(levels); ++level) {
    SCOPED_TRACE(level);
    fs::remove_all(out_);
    fs::create_directories(out_);
    if (level > 0) fs::create_directories(levels[level - 1]);
    ar4::clitest::WriteAll(levels[level], {'x'});  // a plain file in place of the folder
    const CliRun run = ConvertInto(archive);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, messages[level]);
    EXPECT_TRUE(run.Out.empty());
    EXPECT_TRUE(fs::is_regular_file(levels[level]));
    EXPECT_EQ(fs::file_size(levels[level]), 1u);
  }
}

TEST_F(ConvertCommandTest, OutputFileThatCannotBeCreatedGivesErrors) {
  fs::create_directories(Type73Folder() / "Chan2.pen");  // a folder in place of a channel file
  const CliRun run = ConvertInto(TwoRuns());
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err, "Ошибки\n");
  EXPECT_TRUE(run.Out.empty());
  // Nothing of the failed conversion stays, not even its temporary files.
  EXPECT_EQ(Names(Type73Folder()), std::set<std::string>{"Chan2.pen"});
}

// --- Overlaps and re-ordering ---

TEST_F(ConvertCommandTest, OverlapsMetByTheExportAreWarnedOnStderr) {
  const HandArchive archive = TwoRuns();
  // Run 1 alone has no overlap: no warning.
  CliRun run = ConvertInto(archive);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(run.Err.empty());
  EXPECT_EQ(Lines(ReadAll(Type73Folder() / "All_Chan.txt")).size(), 3u);

  // A date range walks the whole ring: the step back from 10:10 to 10:03 is an overlap.
  run = ConvertInto(archive, "--from 2014-02-01");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, Printed(Type73Folder()));
  EXPECT_EQ(run.Err,
            "Количество перекрытий по времени : 1\n\n"
            "01.02.2014    10:10:00    -_?_-    01.02.2014    10:03:00\n");
  const auto lines = Lines(ReadAll(Type73Folder() / "All_Chan.txt"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].substr(0, 35), "A            01.02.2014    10:03:00");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == 'A'; }), 1);
}

TEST_F(ConvertCommandTest, SortMergesTheRunsByDate) {
  const CliRun run = ConvertInto(TwoRuns(), "--from 2014-01-01 --sort");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(run.Err.empty()) << run.Err;  // no overlap after merging
  const auto lines = Lines(ReadAll(Type73Folder() / "All_Chan.txt"));
  ASSERT_EQ(lines.size(), 5u);
  const char* times[] = {"10:00:00", "10:03:00", "10:05:00", "10:07:00", "10:10:00"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, 35), std::string(13, ' ') + "01.02.2014    " + times[i]) << i;
  }
  // The records follow the listing: minutes 0, 3, 5, 7, 10 in the TimeRecords.
  const std::string records = ReadAll(Type73Folder() / "Rele8.rel");
  ASSERT_EQ(records.size(), 5u * 7u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(records[i * 7 + 4], std::string("\x00\x03\x05\x07\x0A", 5)[i]);
}

// --- The listing's numbers and the detailed mode ---

TEST_F(ConvertCommandTest, DecimalSeparatorOption) {
  HandArchive archive(76, 1);
  archive.PutValue(0, 0, kCreation);
  const CliRun run = ConvertInto(archive, "--decimal-separator ,");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const fs::path listing = out_ / "ARHrep" / U8("ЛС 260-1042") / "StandartConfig" / "DB" / kDateFolder / "All_Chan.txt";
  EXPECT_EQ(ReadAll(listing).substr(35, 20), std::string(11, ' ') + "23,500000");
}

#ifndef _WIN32
bool LocaleInstalled(const char* name) {
  locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return false;
  freelocale(locale);
  return true;
}

TEST_F(ConvertCommandTest, DecimalSeparatorFollowsTheRegionalSettings) {
  HandArchive archive(76, 1);
  archive.PutValue(0, 0, kCreation);
  const fs::path listing = out_ / "ARHrep" / U8("ЛС 260-1042") / "StandartConfig" / "DB" / kDateFolder / "All_Chan.txt";
  const auto value_field = [&] { return ReadAll(listing).substr(46, 9); };

  // A locale that is named but not installed: the point, and no crash.
  CliRun run = ConvertInto(archive, "", {"LC_ALL=xx_YY.UTF-8"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(value_field(), "23.500000");

  // Nothing set at all: the point.
  run = ConvertInto(archive, "", {"-u", "LC_ALL", "-u", "LC_NUMERIC", "-u", "LANG"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(value_field(), "23.500000");

  if (!LocaleInstalled("ru_RU.UTF-8")) GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
  run = ConvertInto(archive, "", {"LC_ALL=ru_RU.UTF-8"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(value_field(), "23,500000");
  // The option wins over the regional settings.
  run = ConvertInto(archive, "--decimal-separator .", {"LC_ALL=ru_RU.UTF-8"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(value_field(), "23.500000");
}
#endif

TEST_F(ConvertCommandTest, DetailedAddsOffsetsAndInvalidCellLines) {
  HandArchive archive(73, 1);
  archive.PutValue(0, 0, At10(0));
  ar4gen::CellContent damaged;
  damaged.Stamp = At10(1);
  archive.Put(0, 1, damaged, ar4gen::Damage::kChecksum);
  archive.PutValue(0, 2, At10(2));

  CliRun run = ConvertInto(archive);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  auto lines = Lines(ReadAll(Type73Folder() / "All_Chan.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 35), std::string(13, ' ') + "01.02.2014    10:00:00");

  run = ConvertInto(archive, "--detailed");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(run.Err.empty());  // the report is not printed on success
  lines = Lines(ReadAll(Type73Folder() / "All_Chan.txt"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 35), "$00000000    01.02.2014    10:00:00");
  EXPECT_EQ(lines[1], "$0000001A    \xCE\xF8\xE8\xE1\xEE\xF7\xED\xE0\xFF \xFF\xF7\xE5\xE9\xEA\xE0\r\n");
  EXPECT_EQ(lines[2].substr(0, 35), "$00000034    01.02.2014    10:02:00");
  EXPECT_EQ(lines[2].size(), 148u);
}

// --- Converting again ---

TEST_F(ConvertCommandTest, ConvertingAgainIntoTheSameFolderLeavesOneSetOfFiles) {
  // A larger archive first, then a smaller one of the same instrument and creation date.
  HandArchive larger(73, 3);
  for (std::uint32_t p = 0; p < 3; ++p) {
    for (std::uint32_t c = 0; c < 9; ++c) larger.PutValue(p, c, At10(p * 9 + c), 0xFF);
  }
  const HandArchive smaller = TwoRuns();

  ASSERT_EQ(ConvertInto(larger, "--detailed").ExitCode, 0);
  ASSERT_EQ(ConvertInto(smaller).ExitCode, 0);
  const fs::path fresh_out = Dir() / "fresh";
  fs::create_directories(fresh_out);
  const CliRun fresh = Convert(Quoted(Dir() / "a.ar4") + " --out " + Quoted(fresh_out));
  ASSERT_EQ(fresh.ExitCode, 0) << fresh.Err;

  const fs::path fresh_folder = fresh_out / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB" / kDateFolder;
  ASSERT_EQ(Names(Type73Folder()), Names(fresh_folder));
  for (const std::string& name : Names(fresh_folder)) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadAll(Type73Folder() / name), ReadAll(fresh_folder / name));
  }
  EXPECT_EQ(ReadAll(fresh_folder / "Chan1.pen").size(), 3u * 15u);
  EXPECT_EQ(Names(out_ / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB"), std::set<std::string>{kDateFolder});
}

}  // namespace
