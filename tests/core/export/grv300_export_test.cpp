// The GRV-300 export: one record and one listing line per sample, auxiliary field, sample times.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/archive/scan.hpp"
#include "core/export/export_walk.hpp"
#include "export_test_support.hpp"

namespace ar4 {
namespace {

using test::ExportRun;
using test::Right;
using test::Ring;
using test::Stamp;

constexpr std::uint32_t kMarch7 = Stamp(2015, 3, 7, 14, 5, 33);
const std::string kMarch7Text = "07.03.2015    14:05:33";

ar4gen::CellContent SampleCell(std::uint32_t stamp, std::uint8_t interval, std::uint8_t sample_byte) {
  ar4gen::CellContent content;
  content.Stamp = stamp;
  content.SampleInterval = interval;
  content.SampleByte = sample_byte;
  for (std::size_t q = 0; q < 16; ++q) content.Fields[q] = ar4gen::EncodeSingleLe(static_cast<float>(q) + 0.5f);
  return content;
}

ExportRun& RunOne(ExportRun& run, const ar4gen::CellContent& content, const ExportSettings& settings = {}) {
  Ring ring(89, 1);
  ring.Put({0, 0}, content);
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu}, settings);
  return run;
}

TEST(Grv300Export, LinesOfACellWithTheirOwnTimes) {
  auto content = SampleCell(kMarch7, 2, 0x01);
  content.AuxA = 0x00;
  content.AuxB = 0xD0;
  content.AuxC = ar4gen::EncodeSingleLe(1.5f);
  content.AuxD = ar4gen::EncodeSingleLe(-2.25f);
  content.Fields[0] = ar4gen::EncodeSingleLe(23.5f);
  content.Flags = 0x0002;
  content.Fields[1] = {17, 0, 0, 0};
  ExportRun run;
  RunOne(run, content);
  const std::string aux = Right("48", 10) + Right("0", 10) + Right("1.5000", 20) + Right("-2.2500", 20);
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(13, ' ') + kMarch7Text + ".0  " + aux + Right("23.500000", 20) + "\r\n");
  EXPECT_EQ(lines[1], std::string(13, ' ') + "07.03.2015    14:05:35" + ".0  " + aux + Right("Err_17", 20) + "\r\n");
  EXPECT_EQ(lines[0].size(), 121u);

  // Both records carry the cell's own TimeRecord; the sample bytes are copied as stored.
  const auto value = ar4gen::EncodeSingleLe(23.5f);
  const std::vector<std::uint8_t> expected{15, 3, 7, 14, 5, 33, value[0], value[1], value[2], value[3], 0, 0, 0, 0, 0,
                                           15, 3, 7, 14, 5, 33, 0, 0, 0, 0, 0, 0, 0, 0, 17};
  EXPECT_EQ(run.Bytes("Chan1.pen"), expected);
  EXPECT_EQ(run.Text("Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
  EXPECT_FALSE(run.Exists("Chan2.pen"));
  EXPECT_FALSE(run.Exists("Rele1.rel"));
  EXPECT_EQ(run.FileSystem.CreationOrder.size(), 3u);
}

TEST(Grv300Export, SampleCountFromTheLowFourBits) {
  for (const auto& [byte, samples] : std::vector<std::pair<std::uint8_t, std::size_t>>{
           {0x00, 1}, {0x0F, 16}, {0xFF, 16}, {0x2F, 16}, {0x13, 4}}) {
    ExportRun run;
    RunOne(run, SampleCell(kMarch7, 1, byte));
    EXPECT_EQ(run.Lines().size(), samples) << int{byte};
    EXPECT_EQ(run.Bytes("Chan1.pen").size(), samples * 15) << int{byte};
    for (const auto& line : run.Lines()) EXPECT_EQ(line.size(), 121u);
  }
}

TEST(Grv300Export, EighthSecondIntervalShowsMilliseconds) {
  ExportRun run;
  RunOne(run, SampleCell(kMarch7, 0, 0x07));
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 8u);
  const std::vector<std::string> fractions{".0  ", ".125", ".250", ".375", ".500", ".625", ".750", ".875"};
  for (std::size_t q = 0; q < 8; ++q) {
    EXPECT_EQ(lines[q].substr(13, 22), kMarch7Text) << q;
    EXPECT_EQ(lines[q].substr(35, 4), fractions[q]) << q;
  }
}

TEST(Grv300Export, WholeSecondIntervalAdvancesTheSeconds) {
  ExportRun run;
  RunOne(run, SampleCell(Stamp(2015, 3, 7, 23, 59, 56), 2, 0x03));
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 39), std::string(13, ' ') + "07.03.2015    23:59:58.0  ");
  EXPECT_EQ(lines[2].substr(0, 39), std::string(13, ' ') + "08.03.2015    00:00:00.0  ");
  EXPECT_EQ(lines[3].substr(13, 24), "08.03.2015    00:00:02.0");
}

TEST(Grv300Export, TimesAfter2063ShowNoDate) {
  ExportRun run;
  RunOne(run, SampleCell(Stamp(2063, 12, 31, 23, 59, 59), 2, 0x01));
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(0, 39), std::string(13, ' ') + "----  ----.0" + std::string(14, ' '));
  EXPECT_EQ(lines[1].size(), 121u);
}

TEST(Grv300Export, AuxiliaryBytesAreListedAsMagnitudes) {
  const std::vector<std::pair<std::uint8_t, std::string>> cases{
      {0xD0, "0"}, {0xCF, "1"}, {0xD1, "1"}, {0x4F, "127"}, {0x50, "128"}};
  for (const auto& [byte, text] : cases) {
    auto content = SampleCell(kMarch7, 1, 0);
    content.AuxA = byte;
    content.AuxB = byte;
    ExportRun run;
    RunOne(run, content);
    EXPECT_EQ(run.Lines().at(0).substr(39, 20), Right(text, 10) + Right(text, 10)) << int{byte};
  }
}

TEST(Grv300Export, AuxiliaryValuesClampAndNaN) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<std::pair<float, std::string>> cases{{std::numeric_limits<float>::quiet_NaN(), "-100001,0000"},
                                                         {-inf, "-100001,0000"},
                                                         {inf, "100001,0000"},
                                                         {123.45678f, "123,4568"},
                                                         {-0.0f, "0,0000"}};
  for (const auto& [value, text] : cases) {
    auto content = SampleCell(kMarch7, 1, 0);
    content.AuxC = ar4gen::EncodeSingleLe(value);
    content.AuxD = ar4gen::EncodeSingleLe(value);
    ExportRun run;
    RunOne(run, content, {.DecimalSeparator = ','});
    EXPECT_EQ(run.Lines().at(0).substr(59, 40), Right(text, 20) + Right(text, 20)) << text;
  }
}

TEST(Grv300Export, FlaggedSampleWithCodeZeroGets254) {
  auto content = SampleCell(kMarch7, 1, 0);
  content.Flags = 0x0001;
  content.Fields[0] = {0, 9, 9, 9};
  ExportRun run;
  RunOne(run, content);
  EXPECT_EQ(run.Lines().at(0).substr(99, 20), Right("Err_254", 20));
  EXPECT_EQ(run.Bytes("Chan1.pen"), (std::vector<std::uint8_t>{15, 3, 7, 14, 5, 33, 0, 0, 0, 0, 0, 0, 0, 0, 254}));
}

TEST(Grv300Export, InfiniteSampleRepairedByTheScanIsExported) {
  Ring ring(89, 1);
  auto content = SampleCell(kMarch7, 1, 0);
  content.Fields[0] = {0x00, 0x00, 0x80, 0x7F};  // +infinity
  ring.Put({0, 0}, content);
  ValidationScan(ring.Block.data(), 1, ring.Profile);
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 1}, 0, 0xFFFFFFFFu});
  ASSERT_EQ(run.Lines().size(), 1u);
  EXPECT_EQ(run.Lines()[0].substr(99, 20), Right("100001.000000", 20));
  EXPECT_EQ(run.Bytes("Chan1.pen"), (std::vector<std::uint8_t>{15, 3, 7, 14, 5, 33, 0, 0, 0x80, 0x7E, 0, 0, 0, 0, 0}));
}

TEST(Grv300Export, OverlapAndDetailedLeadOnTheFirstLineOnly) {
  Ring ring(89, 2);
  ring.Put({1, 1}, SampleCell(Stamp(2015, 3, 8), 1, 0));
  ring.Put({1, 2}, SampleCell(kMarch7, 1, 0x02));
  ExportRun run;
  run.Run(ring, {{1, 1}, {0, 0}, 0, 0xFFFFFFFFu}, {.DetailedMode = true});
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 39), "A$000001AA   " + kMarch7Text + ".0  ");
  EXPECT_EQ(lines[2].substr(0, 39), std::string(13, ' ') + "07.03.2015    14:05:34.0  ");
  EXPECT_EQ(lines[3].substr(0, 13), std::string(13, ' '));
  EXPECT_EQ(run.Result.OverlapCount, 1u);
  for (const auto& line : lines) EXPECT_EQ(line.size(), 121u);
}

}  // namespace
}  // namespace ar4
