#include "core/export/export_walk.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/archive/codecs.hpp"
#include "core/archive/cp1251.hpp"
#include "core/export/export_state.hpp"
#include "export_test_support.hpp"

namespace ar4 {
namespace {

using test::ChannelCell;
using test::ExportRun;
using test::Right;
using test::Ring;
using test::Stamp;
using test::WholeRing;

constexpr std::uint32_t kMarch7 = Stamp(2015, 3, 7, 14, 5, 33);
const std::string kMarch7Text = "07.03.2015    14:05:33";

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

TEST(PenText, NamesEveryChannelFileWithTheDegreeUnit) {
  const std::string type76 = PenText(*FindDeviceProfile(76));
  EXPECT_EQ(std::vector<std::uint8_t>(type76.begin(), type76.end()),
            Bytes({0x43, 0x68, 0x61, 0x6E, 0x31, 0x2E, 0x70, 0x65, 0x6E, 0x0D, 0x0A, 0xB0, 0x43, 0x0D, 0x0A}));
  EXPECT_EQ(PenText(*FindDeviceProfile(73)).size(), 60u);
  const std::string type75 = PenText(*FindDeviceProfile(75));
  EXPECT_EQ(type75.size(), 9u * 15u + 7u * 16u);  // Chan10.pen .. Chan16.pen are one byte longer
  EXPECT_NE(type75.find("Chan16.pen\r\n\xB0" "C\r\n"), std::string::npos);
  EXPECT_EQ(PenText(*FindDeviceProfile(89)), type76);
}

TEST(ExportFormat, Type76LineRecordsAndFiles) {
  Ring ring(76, 1);
  ring.Put({0, 0}, ChannelCell(kMarch7, 23.5f, 0x01));
  ExportRun run;
  run.Run(ring, WholeRing());

  EXPECT_EQ(run.Text("Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
  const std::string expected =
      std::string(13, ' ') + kMarch7Text + std::string(11, ' ') + "23.500000" + std::string(7, ' ') + "  1  0  0  0\r\n";
  ASSERT_EQ(expected.size(), 76u);
  EXPECT_EQ(run.Text("All_Chan.txt"), expected);

  // PenRecord: TimeRecord, the DeviceFloat bytes reversed, four zero bytes, status 0.
  const auto value = ar4gen::EncodeDeviceFloat(23.5f);
  EXPECT_EQ(run.Bytes("Chan1.pen"),
            Bytes({15, 3, 7, 14, 5, 33, value[3], value[2], value[1], value[0], 0, 0, 0, 0, 0}));
  EXPECT_EQ(run.Bytes("Rele1.rel"), Bytes({15, 3, 7, 14, 5, 33, 1}));
  for (const char* name : {"Rele2.rel", "Rele3.rel", "Rele4.rel"}) {
    EXPECT_EQ(run.Bytes(name), Bytes({15, 3, 7, 14, 5, 33, 0})) << name;
  }
  EXPECT_FALSE(run.Exists("Rele5.rel"));
  EXPECT_FALSE(run.Exists("Chan2.pen"));
  EXPECT_EQ(run.Result.ExportedCells, 1u);
  EXPECT_EQ(run.Result.OverlapCount, 0u);
}

TEST(ExportFormat, Type76OverlapLineStartsWithTheLetterA) {
  Ring ring(76, 1);
  ring.Put({0, 0}, ChannelCell(Stamp(2015, 3, 8), 1.0f));
  ring.Put({0, 1}, ChannelCell(kMarch7, 23.5f, 0x01));
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 2}, 0, 0xFFFFFFFFu});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "A" + std::string(12, ' ') + kMarch7Text + std::string(11, ' ') + "23.500000" +
                          std::string(7, ' ') + "  1  0  0  0\r\n");
  EXPECT_EQ(run.Result.OverlapCount, 1u);
  EXPECT_EQ(run.Result.OverlapText, "\n\r08.03.2015    00:00:00    -_?_-    " + kMarch7Text);
}

TEST(ExportFormat, LineLengthsOfEveryCellType) {
  const std::array<std::pair<std::uint16_t, std::size_t>, 4> lengths{{{73, 148}, {74, 228}, {75, 373}, {76, 76}}};
  for (const auto& [type, length] : lengths) {
    Ring ring(type, 1);
    ring.Put({0, 0}, ChannelCell(kMarch7, -250000.0f, 0xFF));
    ExportRun run;
    run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
    const auto lines = run.Lines();
    ASSERT_EQ(lines.size(), 1u) << type;
    EXPECT_EQ(lines[0].size(), length) << type;
    EXPECT_NE(lines[0].find(Right("-100001.000000", 20)), std::string::npos) << type;
  }
}

TEST(ExportFormat, DetailedModeOffsetAndOverlapLetter) {
  Ring ring(73, 259);
  ring.Put({258, 1}, ChannelCell(Stamp(2015, 3, 8)));
  ring.Put({258, 2}, ChannelCell(kMarch7));
  ExportRun run;
  run.Run(ring, {{258, 1}, {258, 3}, 0, 0xFFFFFFFFu}, {.DetailedMode = true});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 35), "$0001021A   " + std::string(1, ' ') + "08.03.2015    00:00:00");
  EXPECT_EQ(lines[1].substr(0, 35), "A$00010234   " + kMarch7Text);
  EXPECT_EQ(lines[1].size(), 148u);
}

TEST(ExportFormat, DetailedModeListsInvalidCells) {
  Ring ring(73, 2);
  ring.Put({0, 8}, ChannelCell(kMarch7));
  ring.Put({1, 1}, ChannelCell(kMarch7), ar4gen::Damage::kChecksum);
  ring.Put({1, 2}, ChannelCell(kMarch7), ar4gen::Damage::kLength);
  ExportRun run;
  run.Run(ring, {{0, 8}, {1, 3}, 0, 0xFFFFFFFFu}, {.DetailedMode = true});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 4u);
  const std::string invalid = Utf8ToCp1251(" Ошибочная ячейка") + "\r\n";
  EXPECT_EQ(lines[1], "$00000100   " + invalid);  // erased cell (0xFF bytes)
  EXPECT_EQ(lines[1].size(), 31u);
  EXPECT_EQ(lines[2], "$0000011A   " + invalid);
  EXPECT_EQ(lines[3], "$00000134   " + invalid);

  ExportRun plain;
  plain.Run(ring, {{0, 8}, {1, 3}, 0, 0xFFFFFFFFu});
  EXPECT_EQ(plain.Lines().size(), 1u);  // without detailed mode invalid cells leave no line
}

TEST(ExportFormat, FlaggedChannelsCarryTheirStatus) {
  Ring ring(73, 1);
  auto content = ChannelCell(kMarch7, 2.0f);
  content.Flags = 0b0110;  // channels 2 and 3
  content.Fields[1] = {0, 0x11, 0x22, 0x33};
  content.Fields[2] = {17, 0x11, 0x22, 0x33};
  ring.Put({0, 0}, content);
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
  const std::string line = run.Lines().at(0);
  EXPECT_EQ(line.substr(35, 80), Right("2.000000", 20) + Right("Err_254", 20) + Right("Err_17", 20) +
                                     Right("2.000000", 20));
  EXPECT_EQ(run.Bytes("Chan2.pen"), Bytes({15, 3, 7, 14, 5, 33, 0, 0, 0, 0, 0, 0, 0, 0, 254}));
  EXPECT_EQ(run.Bytes("Chan3.pen"), Bytes({15, 3, 7, 14, 5, 33, 0, 0, 0, 0, 0, 0, 0, 0, 17}));
}

TEST(ExportFormat, Type75SixteenBitFlagsAndThreeRelays) {
  Ring ring(75, 1);
  auto content = ChannelCell(kMarch7, 0.5f, 0b101);
  content.Flags = 0x8200;  // channels 10 and 16
  content.Fields[9] = {3, 0, 0, 0};
  content.Fields[15] = {200, 0, 0, 0};
  ring.Put({0, 0}, content);
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
  const std::string line = run.Lines().at(0);
  ASSERT_EQ(line.size(), 373u);
  EXPECT_EQ(line.substr(35 + 9 * 20, 20), Right("Err_3", 20));
  EXPECT_EQ(line.substr(35 + 15 * 20, 20), Right("Err_200", 20));
  EXPECT_EQ(line.substr(35 + 16 * 20), std::string(7, ' ') + "  1  0  1\r\n");
  EXPECT_EQ(run.Bytes("Chan16.pen").at(14), 200);
  EXPECT_EQ(run.Bytes("Rele3.rel").at(6), 1);
  EXPECT_FALSE(run.Exists("Rele4.rel"));
}

TEST(ExportFormat, OffScaleValuesAreClampedInTheListingOnly) {
  Ring ring(76, 1);
  ring.Put({0, 0}, ChannelCell(kMarch7, 250000.0f));
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu}, {.DecimalSeparator = ','});
  EXPECT_EQ(run.Lines().at(0).substr(35, 20), Right("100001,000000", 20));
  const auto field = ar4gen::EncodeDeviceFloat(250000.0f);
  const auto& record = run.Bytes("Chan1.pen");
  ASSERT_EQ(record.size(), 15u);
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin() + 6, record.end()),
            Bytes({field[3], field[2], field[1], field[0], 0, 0, 0, 0, 0}));
}

TEST(ExportFormat, SaturatedExponentIsListedAsClamp) {
  Ring ring(73, 1);
  auto content = ChannelCell(kMarch7, 1.0f);
  content.Fields[0] = {0x7F, 0x80, 0x00, 0x00};  // IEEE infinity: 2^126 for the instruments
  content.Fields[1] = {0xFF, 0x80, 0x00, 0x00};
  ring.Put({0, 0}, content);
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
  EXPECT_EQ(run.Lines().at(0).substr(35, 40), Right("100001.000000", 20) + Right("-100001.000000", 20));
  EXPECT_EQ(run.Bytes("Chan1.pen"), Bytes({15, 3, 7, 14, 5, 33, 0, 0, 0x80, 0x7F, 0, 0, 0, 0, 0}));
}

TEST(ExportFormat, TimeRecordIsThatOfTheCodec) {
  std::uint32_t stamp = 0x9E3779B9u;
  for (int i = 0; i < 100000; ++i) {
    stamp = stamp * 1664525u + 1013904223u;
    for (std::uint32_t s : {stamp, 0u, 0xFFFFFFFFu}) {
      const auto fields = PackedToFields(s);
      std::uint64_t expected = 0;
      for (std::size_t k = 0; k < 6; ++k) expected |= std::uint64_t{fields[k]} << (8 * k);
      ASSERT_EQ(TimeRecordBits(s), expected) << s;
    }
  }
}

// --- The walk ---

TEST(ExportWalk, EqualStartAndEndVisitsTheWholeRingOnce) {
  Ring ring(73, 3);
  ring.FillRising(Stamp(2014, 1, 1));
  const CellPosition start{1, 4};
  ExportRun run;
  run.Run(ring, WholeRing(start), {.DetailedMode = true});
  EXPECT_EQ(run.Result.ExportedCells, 27u);
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 27u);
  EXPECT_EQ(lines.front().substr(0, 9), "$00000168");  // page 1, cell 4 (offset 104)
  EXPECT_EQ(lines.back().substr(0, 9), "$0000014E");   // page 1, cell 3 (offset 78)
  // Every record file has one record per exported cell.
  EXPECT_EQ(run.Bytes("Chan4.pen").size(), 27u * 15u);
  EXPECT_EQ(run.Bytes("Rele8.rel").size(), 27u * 7u);
  // Walking from the middle of the ring meets the wrap-around once: one overlap.
  EXPECT_EQ(run.Result.OverlapCount, 1u);
  ASSERT_FALSE(run.Gauge.empty());
  EXPECT_EQ(run.Gauge.back(), 100);
  EXPECT_TRUE(std::is_sorted(run.Gauge.begin(), run.Gauge.end()));
  EXPECT_EQ(std::adjacent_find(run.Gauge.begin(), run.Gauge.end()), run.Gauge.end());  // only on change
}

TEST(ExportWalk, EndPositionCellIsNotExported) {
  Ring ring(73, 2);
  ring.FillRising(Stamp(2014, 1, 1));
  ExportRun run;
  run.Run(ring, {{0, 7}, {1, 3}, 0, 0xFFFFFFFFu}, {.DetailedMode = true});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 5u);  // (0,7) (0,8) (1,0) (1,1) (1,2)
  EXPECT_EQ(lines.back().substr(0, 9), "$00000134");
}

TEST(ExportWalk, WrapsFromTheLastPageToPageZero) {
  Ring ring(76, 4);
  ring.FillRising(Stamp(2014, 1, 1));
  ExportRun run;
  run.Run(ring, {{3, 17}, {0, 2}, 0, 0xFFFFFFFFu});
  EXPECT_EQ(run.Result.ExportedCells, 4u);  // (3,17) (3,18) (0,0) (0,1)
}

TEST(ExportWalk, NoCellInBoundsLeavesEmptyFiles) {
  Ring ring(74, 2);
  ring.FillRising(Stamp(2014, 1, 1));
  ring.Put({1, 0}, ChannelCell(Stamp(2014, 1, 1)), ar4gen::Damage::kMarker);
  const ExportBounds bounds{{0, 0}, {0, 0}, Stamp(2020, 1, 1), Stamp(2020, 12, 31, 23, 59, 59)};
  ExportRun run;
  run.Run(ring, bounds);
  EXPECT_EQ(run.Text("Pen.txt").size(), 8u * 15u);
  for (std::size_t g = 0; g < 8; ++g) {
    EXPECT_TRUE(run.Exists(ChannelFileName(g)));
    EXPECT_TRUE(run.Bytes(ChannelFileName(g)).empty());
    EXPECT_TRUE(run.Exists(RelayFileName(g)));
    EXPECT_TRUE(run.Bytes(RelayFileName(g)).empty());
  }
  EXPECT_TRUE(run.Exists("All_Chan.txt"));
  EXPECT_TRUE(run.Text("All_Chan.txt").empty());

  ExportRun detailed;
  detailed.Run(ring, bounds, {.DetailedMode = true});
  ASSERT_EQ(detailed.Lines().size(), 1u);
  EXPECT_EQ(detailed.Lines()[0].substr(0, 12), "$00000100   ");
}

TEST(ExportWalk, BoundsIncludeBothEndStamps) {
  Ring ring(73, 1);
  for (std::uint32_t c = 0; c < 9; ++c) ring.Put({0, c}, ChannelCell(Stamp(2014, 1, 1 + c)));
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 0}, Stamp(2014, 1, 3), Stamp(2014, 1, 5)});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(13, 10), "03.01.2014");
  EXPECT_EQ(lines[2].substr(13, 10), "05.01.2014");
}

TEST(ExportWalk, TwentyFiveOverlapsListTwenty) {
  Ring ring(76, 3);  // 57 cells
  // Alternately 1 February and 1 January (plus i seconds): 25 backward steps in 51 cells.
  CellPosition position{};
  for (std::uint32_t i = 0; i < 51; ++i) {
    const std::uint32_t stamp = (i % 2 == 0 ? Stamp(2014, 2, 1) : Stamp(2014, 1, 1)) + i;
    ring.Put(position, ChannelCell(stamp));
    position = ring.Geometry.Next(position);
  }
  ExportRun run;
  run.Run(ring, {{0, 0}, position, 0, 0xFFFFFFFFu});
  EXPECT_EQ(run.Result.OverlapCount, 25u);
  std::size_t entries = 0;
  for (std::size_t at = run.Result.OverlapText.find("\n\r"); at != std::string::npos;
       at = run.Result.OverlapText.find("\n\r", at + 2)) {
    ++entries;
  }
  EXPECT_EQ(entries, 20u);
  EXPECT_EQ(run.Result.OverlapText.size(), 20u * (2 + 22 + 13 + 22));
  EXPECT_EQ(run.Result.OverlapText.substr(0, 59), "\n\r01.02.2014    00:00:00    -_?_-    01.01.2014    00:00:01");
  // The 21st and later overlaps are still marked in the listing.
  const auto lines = run.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == 'A'; }), 25);
  EXPECT_EQ(lines[49][0], 'A');
}

TEST(ExportWalk, StampsWithoutTimeAreNeverOverlaps) {
  Ring ring(73, 1);
  ring.Put({0, 0}, ChannelCell(Stamp(2014, 5, 1)));
  ring.Put({0, 1}, ChannelCell(0));                     // exported (lower bound 1 January 2000), no overlap
  ring.Put({0, 2}, ChannelCell(Stamp(2014, 5, 1)));     // equal to the stamp before the 0: no overlap
  ring.Put({0, 3}, ChannelCell(Stamp(2014, 4, 30)));    // earlier: an overlap against 1 May
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 4}, 0, 0xFFFFFFFFu});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 35), std::string(13, ' ') + "01.01.2000    00:00:00");
  EXPECT_EQ(lines[1][0], ' ');
  EXPECT_EQ(lines[2][0], ' ');
  EXPECT_EQ(lines[3][0], 'A');
  EXPECT_EQ(run.Result.OverlapCount, 1u);
  EXPECT_EQ(run.Result.OverlapText, "\n\r01.05.2014    00:00:00    -_?_-    30.04.2014    00:00:00");
  // The TimeRecord of stamp 0 is the unpacked fields as they are.
  const auto& records = run.Bytes("Chan1.pen");
  EXPECT_EQ(std::vector<std::uint8_t>(records.begin() + 15, records.begin() + 21), Bytes({0, 1, 1, 0, 0, 0}));
}

TEST(ExportWalk, AllOnesStampIsExportedWithTheShortTimeText) {
  Ring ring(76, 1);
  ring.Put({0, 0}, ChannelCell(0xFFFFFFFFu, 1.0f));
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 35), std::string(25, ' ') + "----  ----");
  EXPECT_EQ(lines[0].size(), 76u);
  EXPECT_EQ(run.Bytes("Chan1.pen").at(0), 0xFF);
}

TEST(ExportWalk, RejectsBoundsOutsideTheRingOrAForeignProfileBeforeCreatingFiles) {
  Ring ring(73, 2);
  ExportRun run;
  EXPECT_THROW(run.Run(ring, {{0, 0}, {2, 0}, 0, 0xFFFFFFFFu}), ExportError);
  EXPECT_THROW(run.Run(ring, {{0, 9}, {0, 0}, 0, 0xFFFFFFFFu}), ExportError);
  // A profile that is not the table's own entry for its type.
  const DeviceProfile copy = ring.Profile;
  Pacer pacer;
  EXPECT_THROW(RunExport(ring.Block.data(), ring.Geometry, copy, WholeRing(), {}, "/out/", run.Files, run.FileSystem,
                         {}, pacer),
               ExportError);
  EXPECT_TRUE(run.FileSystem.CreationOrder.empty());
}

// --- Output files and their failures ---

TEST(ExportFiles, CreatedInTheirOrderPenFirstAndClosed) {
  Ring ring(73, 1);
  MemoryFileSystem fs;
  fs.AddDirectory("/out");
  ExportFiles files;
  Pacer pacer;
  RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, "/out/", files, fs, {}, pacer);
  std::vector<std::string> expected{"/out/Pen.txt", "/out/All_Chan.txt"};
  for (std::size_t g = 0; g < 4; ++g) expected.push_back("/out/" + ChannelFileName(g));
  for (std::size_t r = 0; r < 8; ++r) expected.push_back("/out/" + RelayFileName(r));
  EXPECT_EQ(fs.CreationOrder, expected);
  EXPECT_EQ(fs.CloseCount, 1u);  // Pen.txt only: the others wait for the caller
  EXPECT_EQ(files.OpenCount(), 13u);
  EXPECT_TRUE(files.CloseAll());
  EXPECT_EQ(fs.OpenFiles, 0u);
  EXPECT_EQ(fs.CloseCount, 14u);
  EXPECT_TRUE(files.CloseAll());  // a second call closes nothing twice
  EXPECT_EQ(fs.DoubleCloses, 0u);
}

TEST(ExportFiles, FailedCreationStopsTheExportAndLeavesFilesToClose) {
  Ring ring(73, 1);
  ring.FillRising(Stamp(2014, 1, 1));
  MemoryFileSystem fs;
  fs.AddDirectory("/out");
  fs.FailCreateNames = {"Chan3.pen"};
  ExportFiles files;
  Pacer pacer;
  EXPECT_THROW(RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, "/out/", files, fs, {},
                         pacer),
               ExportError);
  EXPECT_EQ(files.OpenCount(), 3u);  // All_Chan.txt, Chan1.pen, Chan2.pen
  EXPECT_FALSE(fs.Exists("/out/Rele1.rel"));
  EXPECT_TRUE(files.CloseAll());
  EXPECT_EQ(fs.OpenFiles, 0u);
  EXPECT_EQ(fs.DoubleCloses, 0u);
}

TEST(ExportFiles, FailedWriteIsAnErrorNotASuccess) {
  for (std::uint64_t failing : {1u, 2u, 5u, 14u}) {
    Ring ring(73, 1);
    ring.FillRising(Stamp(2014, 1, 1));
    MemoryFileSystem fs;
    fs.AddDirectory("/out");
    fs.FailWriteNumber = failing;
    ExportFiles files;
    Pacer pacer;
    bool threw = false;
    try {
      RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, "/out/", files, fs, {}, pacer);
    } catch (const ExportError&) {
      threw = true;
    }
    EXPECT_TRUE(threw) << "write " << failing;
    files.CloseAll();
    EXPECT_EQ(fs.OpenFiles, 0u);
    EXPECT_EQ(fs.DoubleCloses, 0u);
  }
}

TEST(ExportFiles, LargeExportsAreWrittenInLargeChunks) {
  Ring ring(76, 2048);  // 38912 cells, 2.9 MB of listing
  ring.FillRising(Stamp(2014, 1, 1));
  ExportRun run;
  run.Run(ring, WholeRing());
  EXPECT_EQ(run.Bytes("All_Chan.txt").size(), 38912u * 76u);
  EXPECT_EQ(run.Bytes("Chan1.pen").size(), 38912u * 15u);
  // Far fewer writes than records: the bytes go out in chunks of the output buffer.
  EXPECT_LT(run.FileSystem.WriteCount, 40u);
}

TEST(ExportFiles, FailedCloseMakesCloseAllReportFailure) {
  Ring ring(76, 1);
  MemoryFileSystem fs;
  fs.AddDirectory("/out");
  ExportFiles files;
  Pacer pacer;
  RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, "/out/", files, fs, {}, pacer);
  fs.FailClose = true;
  EXPECT_FALSE(files.CloseAll());
  EXPECT_EQ(files.OpenCount(), 0u);
  EXPECT_EQ(fs.OpenFiles, 0u);
}

}  // namespace
}  // namespace ar4
