// The conversion driver on every way through one press of the open button, with a scripted person.

#include "core/conversion/driver.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/codecs.hpp"
#include "core/conversion/scripted_ui.hpp"
#include "core/export/file_system.hpp"
#include "core/export/memory_file_system.hpp"

namespace ar4 {
namespace {

using testing::ScriptedUi;
using testing::ShownMessage;
namespace fs = std::filesystem;

constexpr std::string_view kWrongSize = "Ошибочный размер файла";
constexpr std::string_view kWrongFormat = "Ошибочный формат файла";
constexpr std::string_view kErrors = "Ошибки";

ShownMessage Error(std::string_view text) { return {std::string(text), MessageKind::kError, buttons::kCancelOnly}; }

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("ar4conv-driver-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(counter++) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Archive(std::uint16_t type = 73, std::uint32_t pages = 4, std::uint32_t set_backs = 0,
                                  std::uint32_t creation = 0x3C8CE000 /* 7 March 2015 14:00:00 */) {
  ar4gen::GeneratorOptions o;
  o.Header.DeviceType = type;
  o.Header.PageCount = pages;
  o.Header.CreationDate = creation;
  o.Header.SerialNumber = 1042;
  o.SetBacks = set_backs;
  o.Seed = 7;
  return ar4gen::GenerateArchive(o);
}

IntervalChoice ListChoice(std::uint32_t item = 0) {
  IntervalChoice c;
  c.SelectInterval = 0;
  c.BoxIntervalIndex = item;
  return c;
}

IntervalChoice RangeChoice() {
  IntervalChoice c;
  c.SelectInterval = 1;
  c.From = {1, 1, 2000};
  c.To = {31, 12, 2063};
  return c;
}

class DriverTest : public ::testing::Test {
 protected:
  static ArchiveBuffers& Buffers() {
    static ArchiveBuffers buffers;  // one per process, as in the programs
    return buffers;
  }

  fs::path Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path p = dir_.path() / name;
    WriteFile(p, bytes);
    return p;
  }

  /// Checks that the button was disabled at the start and enabled again as the last step.
  static void ExpectButtonRestored(const ScriptedUi& ui) {
    ASSERT_GE(ui.ConvertEnabled.size(), 2u);
    EXPECT_FALSE(ui.ConvertEnabled.front());
    EXPECT_TRUE(ui.ConvertEnabled.back());
  }

  TempDir dir_;
  DiskFileSystem disk_;
};

TEST(DetailedMode, OnlyExactSlashSAsFirstArgument) {
  EXPECT_TRUE(DetailedModeFromArguments({"/S"}));
  EXPECT_TRUE(DetailedModeFromArguments({"/S", "x"}));
  EXPECT_FALSE(DetailedModeFromArguments({}));
  EXPECT_FALSE(DetailedModeFromArguments({"/s"}));
  EXPECT_FALSE(DetailedModeFromArguments({"x", "/S"}));
}

TEST_F(DriverTest, CancellingTheFirstFileDialogShowsNothing) {
  ScriptedUi ui;
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);
  EXPECT_TRUE(ui.Messages.empty());
  EXPECT_EQ(ui.ConvertEnabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(ui.DialogFolders.size(), 1u);
  EXPECT_FALSE(driver.LastRunSucceeded());
}

TEST_F(DriverTest, RejectedFilesGiveTheirMessageAndANewFileDialog) {
  std::vector<std::uint8_t> foreign = Archive();
  foreign.resize(512);
  foreign[0] = 'M';
  std::vector<std::uint8_t> too_many_pages = Archive(73, 2);
  too_many_pages[5] = 0x01;
  too_many_pages[6] = 0x00;
  too_many_pages[7] = 0x02;  // 131073 pages

  ScriptedUi ui;
  ui.Files = {Put("short.ar4", std::vector<std::uint8_t>(511, 0x61)), Put("foreign.ar4", foreign),
              Put("pages.ar4", too_many_pages), dir_.path() / "missing.ar4", dir_.path()};
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);

  EXPECT_EQ(ui.Messages, (std::vector<ShownMessage>{Error(kWrongSize), Error(kWrongFormat), Error(kWrongSize),
                                                     Error(kErrors), Error(kErrors)}));
  EXPECT_EQ(ui.DialogFolders.size(), 6u);  // one more dialog after each rejection, the last one cancelled
  EXPECT_EQ(ui.DialogFolders[1], dir_.path());
  EXPECT_TRUE(ui.IntervalItems.empty());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, UnknownTypeShowsItsHeaderReportWithCancelOnly) {
  ScriptedUi ui;
  ui.Files = {Put("type80.ar4", Archive(80))};
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Kind, MessageKind::kInformation);
  EXPECT_EQ(ui.Messages[0].Buttons, buttons::kCancelOnly);
  EXPECT_EQ(ui.Messages[0].Text.rfind("Тип прибора: 80\r", 0), 0u) << ui.Messages[0].Text;
  EXPECT_EQ(ui.Messages[0].Text.find("Минимальная дата"), std::string::npos);
  EXPECT_TRUE(ui.IntervalItems.empty());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, ArchiveWithoutUsableCellOffersOnlyCancel) {
  ar4gen::GeneratorOptions o;
  o.Header.DeviceType = 76;
  o.Header.PageCount = 2;
  o.ChecksumDamage = 1.0;
  ScriptedUi ui;
  ui.Files = {Put("damaged.ar4", ar4gen::GenerateArchive(o))};
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Buttons, buttons::kCancelOnly);
  EXPECT_NE(ui.Messages[0].Text.find("Минимальная дата в архиве: ----  ----\r"), std::string::npos);
  EXPECT_TRUE(ui.IntervalItems.empty());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, CancelInReportOrIntervalDialogReopensTheFileDialogInTheSameFolder) {
  fs::create_directories(dir_.path() / "sub");
  const fs::path file = Put("sub/a.ar4", Archive());
  ScriptedUi ui;
  ui.Files = {file, file};
  ui.Answers = {DialogResult::kCancel};  // the first report box: Cancel; the second: OK
  ConversionDriver driver(Buffers(), disk_);
  driver.Settings().InitialFolder = dir_.path();
  driver.BtnConvertClick(ui);  // the interval dialog is cancelled (no scripted choice)

  ASSERT_EQ(ui.Messages.size(), 2u);
  EXPECT_EQ(ui.Messages[0].Buttons, buttons::kOkCancel);
  EXPECT_EQ(ui.Messages[1].Buttons, buttons::kOkCancel);
  EXPECT_EQ(ui.IntervalItems.size(), 1u);
  ASSERT_EQ(ui.DialogFolders.size(), 3u);
  EXPECT_EQ(ui.DialogFolders[0], dir_.path());
  EXPECT_EQ(ui.DialogFolders[1], dir_.path() / "sub");
  EXPECT_EQ(ui.DialogFolders[2], dir_.path() / "sub");
  EXPECT_TRUE(ui.BrowsePrompts.empty());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, CancelledFolderBrowserCreatesNothing) {
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive())};
  ui.Intervals = {ListChoice()};
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);
  EXPECT_EQ(ui.Messages.size(), 1u);  // the report only
  EXPECT_EQ(ui.BrowsePrompts, (std::vector<std::string>{"Выберете каталог TrendoraStudio"}));
  EXPECT_FALSE(ui.GaugeVisible);
  EXPECT_EQ(ui.DialogFolders.size(), 1u);  // the run ends the press: no new file dialog
  EXPECT_FALSE(fs::exists(dir_.path() / "ARHrep"));
  EXPECT_FALSE(driver.LastRunSucceeded());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, WithoutViewerDataFolderTheTargetIsForcedToAChosenFolder) {
  fs::create_directories(dir_.path() / "out");
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive())};
  IntervalChoice choice = ListChoice();
  choice.SelectDir = 1;  // chosen in an earlier conversion
  ui.Intervals = {choice};
  ui.Folders = {dir_.path() / "out"};
  ConversionDriver driver(Buffers(), disk_);
  driver.BtnConvertClick(ui);
  EXPECT_EQ(ui.ViewerKnown, (std::vector<bool>{false}));
  EXPECT_EQ(ui.BrowsePrompts.size(), 1u);
  EXPECT_TRUE(driver.LastRunSucceeded());
  EXPECT_TRUE(fs::is_regular_file(driver.OutputFolder() / "All_Chan.txt"));
}

TEST_F(DriverTest, SuccessfulConversionIntoTheViewerDataFolder) {
  fs::create_directories(dir_.path() / "data");
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive(76, 3))};
  IntervalChoice choice = ListChoice();
  choice.SelectDir = 1;
  ui.Intervals = {choice};
  ConversionDriver driver(Buffers(), disk_);
  driver.Settings().ViewerDataFolder = dir_.path() / "data";
  driver.BtnConvertClick(ui);
  EXPECT_EQ(ui.Messages.size(), 1u);  // the report; no overlaps
  EXPECT_TRUE(ui.BrowsePrompts.empty());
  EXPECT_TRUE(driver.LastRunSucceeded());
  const fs::path expected = dir_.path() / "data" / fs::path(u8"ЛС 260-1042") / "StandartConfig" / "DB" / "150307140000";
  EXPECT_TRUE(fs::is_regular_file(expected / "Pen.txt"));
  EXPECT_TRUE(fs::is_regular_file(expected / "Rele4.rel"));
  EXPECT_FALSE(ui.GaugeVisible);
  ASSERT_FALSE(ui.GaugePositions.empty());
  EXPECT_EQ(ui.GaugePositions.front(), 0);
  EXPECT_EQ(ui.GaugePositions.back(), 100);
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, EachFolderLevelThatCannotBeCreatedShowsItsMessage) {
  const std::vector<std::pair<fs::path, std::string_view>> levels = {
      {"ARHrep", "Ошибка создания директории ARHrep"},
      {"ARHrep/VR7731-1042", "Ошибка создания директории \"Имя прибора\""},
      {"ARHrep/VR7731-1042/StandartConfig", "Ошибка создания директории \"Имя конфигурации\""},
      {"ARHrep/VR7731-1042/StandartConfig/DB", "Ошибка создания директории DB"},
      {"ARHrep/VR7731-1042/StandartConfig/DB/150307140000", "Ошибка создания директории \"Год\""},
  };
  const fs::path archive = Put("a.ar4", Archive());
  for (const auto& [level, message] : levels) {
    SCOPED_TRACE(level.string());
    const fs::path out = dir_.path() / ("out-" + std::to_string(message.size()));
    fs::create_directories((out / level).parent_path());
    WriteFile(out / level, {1, 2, 3});  // a plain file where the folder should be
    ScriptedUi ui;
    ui.Files = {archive};
    ui.Intervals = {ListChoice()};
    ui.Folders = {out};
    ConversionDriver driver(Buffers(), disk_);
    driver.BtnConvertClick(ui);
    ASSERT_EQ(ui.Messages.size(), 2u);
    EXPECT_EQ(ui.Messages[1], Error(message));
    EXPECT_FALSE(ui.GaugeVisible);
    EXPECT_FALSE(driver.LastRunSucceeded());
    ExpectButtonRestored(ui);
  }
}

TEST_F(DriverTest, OutputFileThatCannotBeCreatedGivesErrorsAndClosesEverything) {
  MemoryFileSystem memory;
  memory.AddDirectory("/out");
  memory.FailCreateNames = {"Rele3.rel"};
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive(73, 4, 3))};
  ui.Intervals = {RangeChoice()};
  ui.Folders = {fs::path("/out")};
  ConversionDriver driver(Buffers(), memory);
  driver.BtnConvertClick(ui);
  ASSERT_GE(ui.Messages.size(), 2u);
  EXPECT_EQ(ui.Messages.back(), Error(kErrors));  // no overlap warning after a failure
  EXPECT_EQ(memory.OpenFiles, 0u);
  EXPECT_EQ(memory.DoubleCloses, 0u);
  EXPECT_FALSE(ui.GaugeVisible);
  EXPECT_FALSE(driver.LastRunSucceeded());
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, FailedWriteIsAFailureNotASuccess) {
  for (std::uint64_t n : {1u, 5u, 15u}) {
    SCOPED_TRACE(n);
    MemoryFileSystem memory;
    memory.AddDirectory("/out");
    memory.FailWriteNumber = n;
    ScriptedUi ui;
    ui.Files = {Put("a.ar4", Archive(74, 8))};
    ui.Intervals = {ListChoice()};
    ui.Folders = {fs::path("/out")};
    ConversionDriver driver(Buffers(), memory);
    driver.BtnConvertClick(ui);
    EXPECT_EQ(ui.Messages.back(), Error(kErrors));
    EXPECT_EQ(memory.OpenFiles, 0u);
    EXPECT_FALSE(driver.LastRunSucceeded());
  }
}

// --- A failed, stopped or concurrent run leaves the files of the run before it ---

/// A folder of a memory file system with the files of one successful conversion in it.
struct ConvertedBefore {
  ConvertedBefore(DriverTest& test, const fs::path& archive, ArchiveBuffers& buffers) {
    memory.AddDirectory("/out");
    ScriptedUi ui;
    ui.Files = {archive};
    ui.Intervals = {ListChoice()};
    ui.Folders = {fs::path("/out")};
    ConversionDriver driver(buffers, memory);
    driver.BtnConvertClick(ui);
    EXPECT_TRUE(driver.LastRunSucceeded());
    before = memory.Files;
    (void)test;
  }
  /// Another conversion of `archive` into the same folder.
  ConversionDriver Again(ScriptedUi& ui, const fs::path& archive, ArchiveBuffers& buffers) {
    ui.Files = {archive};
    ui.Intervals = {ListChoice()};
    ui.Folders = {fs::path("/out")};
    ConversionDriver driver(buffers, memory);
    driver.BtnConvertClick(ui);
    return driver;
  }
  void ExpectFilesAsBefore() const {
    EXPECT_EQ(memory.Files, before);
    EXPECT_TRUE(memory.Temporaries().empty());
    EXPECT_EQ(memory.LocksHeld, 0u);
    EXPECT_EQ(memory.OpenFiles, 0u);
  }

  MemoryFileSystem memory;
  std::map<std::string, std::vector<std::uint8_t>> before;
};

TEST_F(DriverTest, AFailedRunLeavesTheFilesOfTheRunBefore) {
  const fs::path small = Put("small.ar4", Archive(73, 2));
  const fs::path large = Put("large.ar4", Archive(73, 40, 3));
  for (int fault = 0; fault < 4; ++fault) {
    SCOPED_TRACE(fault);
    ConvertedBefore folder(*this, small, Buffers());
    if (fault == 0) folder.memory.FailCreateNames = {"Rele3.rel"};
    if (fault == 1) folder.memory.FailWriteNumber = folder.memory.WriteCount + 7;
    if (fault == 2) folder.memory.FailClose = true;
    if (fault == 3) folder.memory.AddDirectory("/out/ARHrep/VR7731-1042/StandartConfig/DB/150307140000/Chan3.pen");
    ScriptedUi ui;
    const ConversionDriver driver = folder.Again(ui, large, Buffers());
    EXPECT_FALSE(driver.LastRunSucceeded());
    EXPECT_EQ(ui.Messages.back(), Error(kErrors));
    folder.ExpectFilesAsBefore();
  }
}

#ifndef _WIN32
TEST_F(DriverTest, AnArchiveCutShortDuringTheRunIsAFailureAndPublishesNothing) {
  // The archive's pages are mapped, not copied: when another program cuts the file short after the report
  // was shown, the export reads zeros where its cells were. The run must not publish them.
  struct CuttingUi : ScriptedUi {
    fs::path Victim;
    std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                     bool viewer_data_known) override {
      fs::resize_file(Victim, 600);
      return ScriptedUi::ShowIntervalDialog(items, viewer_data_known);
    }
  };
  const fs::path small = Put("small.ar4", Archive(73, 2));
  const fs::path large = Put("large.ar4", Archive(73, 400, 3));
  ConvertedBefore folder(*this, small, Buffers());
  CuttingUi ui;
  ui.Victim = large;
  const ConversionDriver driver = folder.Again(ui, large, Buffers());
  EXPECT_FALSE(driver.LastRunSucceeded());
  EXPECT_EQ(ui.Messages.back(), Error(kErrors));
  folder.ExpectFilesAsBefore();
  ExpectButtonRestored(ui);
}
#endif

TEST_F(DriverTest, AStoppedRunShowsNothingAndLeavesTheFilesOfTheRunBefore) {
  const fs::path small = Put("small.ar4", Archive(73, 2));
  const fs::path large = Put("large.ar4", Archive(73, 40, 3));
  for (const int gauge : {0, 1}) {  // before the export, and after it but before the files are published
    SCOPED_TRACE(gauge);
    ConvertedBefore folder(*this, small, Buffers());
    ScriptedUi ui;
    ui.CancelAtGauge = gauge;
    const ConversionDriver driver = folder.Again(ui, large, Buffers());
    EXPECT_TRUE(driver.LastRunCancelled());
    EXPECT_FALSE(driver.LastRunSucceeded());
    ASSERT_EQ(ui.Messages.size(), 1u);  // the report only: no "Ошибки", no overlap warning
    EXPECT_FALSE(ui.GaugeVisible);
    ExpectButtonRestored(ui);
    folder.ExpectFilesAsBefore();
  }
}

TEST_F(DriverTest, ASecondConversionIntoAFolderWaitsForTheFirst) {
  const fs::path small = Put("small.ar4", Archive(73, 2));
  const fs::path large = Put("large.ar4", Archive(73, 40, 3));
  const std::string folder_key = "/out/ARHrep/VR7731-1042/StandartConfig/DB/150307140000";
  {
    // Stopped while waiting: nothing is created.
    ConvertedBefore folder(*this, small, Buffers());
    folder.memory.LockedElsewhere = {folder_key};
    const std::size_t created = folder.memory.CreationOrder.size();
    ScriptedUi ui;
    ui.OnProcessEvents = [&ui] { ui.CancelNow = ui.ProcessEventsCalls >= 5; };
    const ConversionDriver driver = folder.Again(ui, large, Buffers());
    EXPECT_TRUE(driver.LastRunCancelled());
    EXPECT_GE(ui.ProcessEventsCalls, 5);  // the window stays alive while it waits
    EXPECT_EQ(folder.memory.CreationOrder.size(), created);
    folder.ExpectFilesAsBefore();
  }
  {
    // The other conversion ends: this one goes on and writes its files.
    ConvertedBefore folder(*this, small, Buffers());
    folder.memory.LockedElsewhere = {folder_key};
    ScriptedUi ui;
    ui.OnProcessEvents = [&] {
      if (ui.ProcessEventsCalls == 3) folder.memory.LockedElsewhere.clear();
    };
    const ConversionDriver driver = folder.Again(ui, large, Buffers());
    EXPECT_TRUE(driver.LastRunSucceeded());
    EXPECT_NE(folder.memory.Files, folder.before);
    EXPECT_TRUE(folder.memory.Temporaries().empty());
    EXPECT_EQ(folder.memory.LocksHeld, 0u);
  }
}

TEST_F(DriverTest, TwentyFiveOverlapsAreCountedAndTwentyListed) {
  MemoryFileSystem memory;
  memory.AddDirectory("/out");
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive(76, 8, 26))};  // the walk starts in the last run: 25 backward steps
  ui.Intervals = {RangeChoice()};
  ui.Folders = {fs::path("/out")};
  ui.Answers = {DialogResult::kOk, DialogResult::kNo};  // report OK; no re-ordering
  ConversionDriver driver(Buffers(), memory);
  driver.BtnConvertClick(ui);

  ASSERT_EQ(ui.Messages.size(), 3u);
  EXPECT_EQ(ui.Messages[1], (ShownMessage{"Сортировать по дате?", MessageKind::kConfirmation, buttons::kYesNo}));
  const ShownMessage& warning = ui.Messages[2];
  EXPECT_EQ(warning.Kind, MessageKind::kWarning);
  EXPECT_EQ(warning.Buttons, buttons::kOkOnly);
  EXPECT_EQ(warning.Text.rfind("Количество перекрытий по времени : 25\n\r\n\r", 0), 0u) << warning.Text;
  std::size_t entries = 0;
  for (std::size_t pos = warning.Text.find("    -_?_-    "); pos != std::string::npos;
       pos = warning.Text.find("    -_?_-    ", pos + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, 20u);
  EXPECT_TRUE(driver.LastRunSucceeded());
  EXPECT_EQ(memory.OpenFiles, 0u);
  ExpectButtonRestored(ui);
}

TEST_F(DriverTest, ReorderingAnsweredYesMergesTheRunsAndShowsItsProgress) {
  MemoryFileSystem memory;
  memory.AddDirectory("/out");
  ScriptedUi ui;
  ui.Files = {Put("a.ar4", Archive(73, 6, 2))};
  ui.Intervals = {RangeChoice()};
  ui.Folders = {fs::path("/out")};
  ui.Answers = {DialogResult::kOk, DialogResult::kYes};
  ConversionDriver driver(Buffers(), memory);
  driver.BtnConvertClick(ui);

  ASSERT_EQ(ui.Messages.size(), 2u);  // report and question: after merging there is no overlap left
  ASSERT_FALSE(ui.LabelPrcTexts.empty());
  EXPECT_EQ(ui.LabelPrcTexts.front(), "");
  EXPECT_EQ(ui.LabelPrcTexts.back().back(), '%');
  EXPECT_FALSE(ui.LabelSortVisible);
  EXPECT_TRUE(driver.LastRunSucceeded());
}

TEST_F(DriverTest, ListModeAndSingleRunAskNoReorderingQuestion) {
  for (const IntervalChoice& choice : {ListChoice(1), RangeChoice()}) {
    MemoryFileSystem memory;
    memory.AddDirectory("/out");
    ScriptedUi ui;
    // Two runs for list mode; one run for the date range.
    ui.Files = {Put("a.ar4", Archive(73, 4, choice.SelectInterval == 0 ? 1 : 0))};
    ui.Intervals = {choice};
    ui.Folders = {fs::path("/out")};
    ConversionDriver driver(Buffers(), memory);
    driver.BtnConvertClick(ui);
    for (const ShownMessage& m : ui.Messages) EXPECT_NE(m.Text, "Сортировать по дате?");
    EXPECT_TRUE(driver.LastRunSucceeded());
  }
}

TEST_F(DriverTest, SmallerArchiveAfterALargerOneConvertsTheSameAsAlone) {
  MemoryFileSystem alone;
  alone.AddDirectory("/out");
  {
    ArchiveBuffers fresh;
    ScriptedUi ui;
    ui.Files = {Put("small.ar4", Archive(75, 2, 1))};
    ui.Intervals = {RangeChoice()};
    ui.Folders = {fs::path("/out")};
    ConversionDriver driver(fresh, alone);
    driver.BtnConvertClick(ui);
    ASSERT_TRUE(driver.LastRunSucceeded());
  }
  MemoryFileSystem after;
  after.AddDirectory("/out");
  {
    ScriptedUi ui;
    ui.Files = {Put("large.ar4", Archive(75, 40, 3))};
    ConversionDriver driver(Buffers(), after);
    driver.BtnConvertClick(ui);  // read, reported, interval dialog cancelled
    ui.Files = {dir_.path() / "small.ar4"};
    ui.Intervals = {RangeChoice()};
    ui.Folders = {fs::path("/out")};
    driver.BtnConvertClick(ui);
    ASSERT_TRUE(driver.LastRunSucceeded());
  }
  EXPECT_EQ(alone.Files, after.Files);
}

}  // namespace
}  // namespace ar4
