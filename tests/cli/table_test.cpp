// ar4conv table, run as a program: the table against the record files that convert writes for the same
// selection, cell for cell, for every type and mode; the CSV options; the targets and the failures.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ar4gen/generator.hpp"
#include "cli_runner.hpp"
#include "core/export/file_system.hpp"

namespace {

namespace fs = std::filesystem;
using ar4::clitest::CliRun;
using ar4::clitest::Quoted;
using ar4::clitest::ReadAll;

std::vector<std::string> SplitLines(const std::string& text, std::string_view end = "\n") {
  std::vector<std::string> lines;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t at = text.find(end, begin);
    if (at == std::string::npos) at = text.size();
    lines.push_back(text.substr(begin, at - begin));
    begin = at + end.size();
  }
  return lines;
}

/// The fields of a CSV line (RFC 4180 quotes undone).
std::vector<std::string> Fields(const std::string& line, char delimiter) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == delimiter) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

/// The ISO text the table shows for a TimeRecord (six 0xFF bytes: a cell without a stamp).
std::string IsoOfTimeRecord(const std::uint8_t* record) {
  char text[32];
  if (record[0] == 0xFF) return "2063-16-32T31:63:63";
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", 2000u + record[0], record[1], record[2], record[3],
                record[4], record[5]);
  return text;
}

/// Whether a CSV value field stands for the number whose single-precision bits the record holds.
::testing::AssertionResult SameFloat(const std::string& field, std::uint32_t bits) {
  const float expected = std::bit_cast<float>(bits);
  if (std::isnan(expected)) {
    return field == "nan" ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << field << " for a NaN";
  }
  float read = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), read);
  if (error != std::errc() || end != field.data() + field.size()) {
    // from_chars takes "inf" and "-inf" as well.
    return ::testing::AssertionFailure() << "cannot read " << field;
  }
  if (std::bit_cast<std::uint32_t>(read) != bits) {
    return ::testing::AssertionFailure() << field << " reads back as " << std::bit_cast<std::uint32_t>(read)
                                         << ", the record holds " << bits;
  }
  return ::testing::AssertionSuccess();
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}

class TableCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first"; }

  const fs::path& Dir() const { return scratch_.Path(); }

  fs::path Generate(const std::string& name, const ar4gen::GeneratorOptions& options) {
    const fs::path path = Dir() / name;
    ar4::clitest::WriteAll(path, ar4gen::GenerateArchive(options));
    return path;
  }

  CliRun Run(const std::string& args) { return ar4::clitest::RunCli(args, Dir()); }

  /// Converts `archive` with `selection` and checks that `table --status` with the same selection has
  /// exactly the records of its channel and relay files, row by row, and the same overlap warning.
  void ExpectTableMatchesConversion(const fs::path& archive, std::uint16_t type, const std::string& selection) {
    SCOPED_TRACE(std::to_string(type) + " " + selection);
    const fs::path out = Dir() / ("out" + std::to_string(++conversions_));
    fs::create_directories(out);
    const CliRun converted = Run("convert " + Quoted(archive) + " --out " + Quoted(out) + " " + selection);
    ASSERT_EQ(converted.ExitCode, 0) << converted.Err;
    const fs::path folder = ar4::PathFromUtf8(converted.Out.substr(0, converted.Out.size() - 1));
    const CliRun table = Run("table " + Quoted(archive) + " --status " + selection);
    ASSERT_EQ(table.ExitCode, 0) << table.Err;
    EXPECT_EQ(table.Err, converted.Err);  // the overlap warning, if any

    const std::vector<std::string> lines = SplitLines(table.Out);
    ASSERT_FALSE(lines.empty());
    const std::vector<std::string> header = Fields(lines[0], ',');
    const bool grv300 = type == 89;
    std::size_t channels = 0, relays = 0;
    while (fs::exists(folder / ("Chan" + std::to_string(channels + 1) + ".pen"))) ++channels;
    while (fs::exists(folder / ("Rele" + std::to_string(relays + 1) + ".rel"))) ++relays;
    ASSERT_EQ(header.size(), 1 + 2 * channels + relays + (grv300 ? 4 : 0));

    std::vector<std::string> pens, rels;
    for (std::size_t g = 1; g <= channels; ++g) pens.push_back(ReadAll(folder / ("Chan" + std::to_string(g) + ".pen")));
    for (std::size_t r = 1; r <= relays; ++r) rels.push_back(ReadAll(folder / ("Rele" + std::to_string(r) + ".rel")));
    const std::size_t records = pens[0].size() / 15;
    ASSERT_EQ(lines.size() - 1, records);
    const std::vector<std::string> listing = SplitLines(ReadAll(folder / "All_Chan.txt"), "\r\n");

    for (std::size_t k = 0; k < records; ++k) {
      SCOPED_TRACE("row " + std::to_string(k + 1));
      const std::vector<std::string> fields = Fields(lines[k + 1], ',');
      ASSERT_EQ(fields.size(), header.size()) << lines[k + 1];
      const auto* record = reinterpret_cast<const std::uint8_t*>(pens[0].data() + 15 * k);
      if (!grv300) {
        EXPECT_EQ(fields[0], IsoOfTimeRecord(record));
      } else {
        // The sample's own time, as the listing line shows it ("DD.MM.YYYY    hh:mm:ss[.mmm]" from column 14).
        const std::string& time = fields[0];
        ASSERT_EQ(time.size(), 23u);
        const std::string listed = listing[k].substr(13, 22);
        if (listed.rfind("----", 0) == 0) {
          EXPECT_EQ(time.substr(0, 19), "2063-16-32T31:63:63");
        } else {
          std::string shown;
          shown.append(time, 8, 2).append(1, '.').append(time, 5, 2).append(1, '.').append(time, 0, 4);
          shown.append(4, ' ').append(time, 11, 8);
          EXPECT_EQ(shown, listed);
          // The listing's milliseconds follow the time text after a point, without leading zeros.
          ASSERT_EQ(listing[k][35], '.');
          EXPECT_EQ(std::stoi(time.substr(20)), std::stoi(listing[k].substr(36, 3)));
        }
      }
      for (std::size_t g = 0; g < channels; ++g) {
        const std::uint8_t status = static_cast<std::uint8_t>(pens[g][15 * k + 14]);
        EXPECT_EQ(fields[2 + 2 * g], std::to_string(status));
        if (status == 0) {
          EXPECT_TRUE(SameFloat(fields[1 + 2 * g], Le32(pens[g], 15 * k + 6)));
        } else {
          EXPECT_EQ(fields[1 + 2 * g], "");
        }
      }
      for (std::size_t r = 0; r < relays; ++r) {
        EXPECT_EQ(fields[1 + 2 * channels + r], std::string(1, static_cast<char>('0' + rels[r][7 * k + 6])));
        EXPECT_EQ(rels[r].substr(7 * k, 6), pens[0].substr(15 * k, 6));
      }
    }
  }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_table_test_"};
  int conversions_ = 0;
};

// --- The table and the conversion agree ---

TEST_F(TableCommandTest, EveryTypeAndModeHasTheRecordsOfTheConversion) {
  for (const std::uint16_t type : {73, 74, 75, 76, 89}) {
    ar4gen::GeneratorOptions options;
    options.Seed = type;
    options.Header.DeviceType = type;
    options.Header.PageCount = 24;
    options.WrapSlot = 37;
    options.FilledCells = type == 89 ? 60 : 120;  // the rest of the ring stays erased
    options.SetBacks = 3;
    options.ChecksumDamage = 0.05;
    options.MarkerDamage = 0.02;
    options.ZeroStamps = 0.03;
    options.AllOnesStamps = 0.03;
    options.EqualStamps = 0.05;
    options.FlaggedChannels = 0.15;
    options.SpecialValues = 0.2;
    const fs::path archive = Generate(std::to_string(type) + ".ar4", options);
    ExpectTableMatchesConversion(archive, type, "");
    ExpectTableMatchesConversion(archive, type, "--run 3");
    ExpectTableMatchesConversion(archive, type, "--from 2000-01-01");
    ExpectTableMatchesConversion(archive, type, "--from 2014-01-01 --to 2014-01-01 --sort");
    ExpectTableMatchesConversion(archive, type, "--from 2000-01-01 --sort");  // the runs merged by date
  }
}

TEST_F(TableCommandTest, ColumnsTimesAndValues) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 73;
  options.Header.PageCount = 1;
  options.FilledCells = 2;
  const fs::path archive = Generate("a.ar4", options);
  const CliRun run = Run("table " + Quoted(archive));
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::vector<std::string> lines = SplitLines(run.Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "time,Chan1,Chan2,Chan3,Chan4,Rele1,Rele2,Rele3,Rele4,Rele5,Rele6,Rele7,Rele8");
  EXPECT_EQ(lines[1].substr(0, 20), "2014-01-01T00:00:00,");
  EXPECT_EQ(lines[2].substr(0, 20), "2014-01-01T00:00:10,");
  EXPECT_EQ(run.Out.find('\r'), std::string::npos);

  ar4gen::GeneratorOptions grv = options;
  grv.Header.DeviceType = 89;
  grv.Samples = 2;
  grv.SampleInterval = 0;  // 1/8 second
  const CliRun samples = Run("table " + Quoted(Generate("g.ar4", grv)));
  ASSERT_EQ(samples.ExitCode, 0) << samples.Err;
  const std::vector<std::string> rows = SplitLines(samples.Out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "time,Chan1,AuxA,AuxB,AuxC,AuxD");
  EXPECT_EQ(rows[1].substr(0, 24), "2014-01-01T00:00:00.000,");
  EXPECT_EQ(rows[2].substr(0, 24), "2014-01-01T00:00:00.125,");
}

// --- CSV options ---

TEST_F(TableCommandTest, SeparatorsQuotingByteOrderMarkAndFileEqualToStandardOutput) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 76;
  options.Header.PageCount = 2;
  const fs::path archive = Generate("a.ar4", options);
  const CliRun plain = Run("table " + Quoted(archive));
  ASSERT_EQ(plain.ExitCode, 0) << plain.Err;

  // A decimal comma brings the semicolon; every number keeps its digits.
  const CliRun comma = Run("table " + Quoted(archive) + " --decimal-separator ,");
  ASSERT_EQ(comma.ExitCode, 0) << comma.Err;
  std::string expected = plain.Out;
  for (char& c : expected) c = c == ',' ? ';' : c == '.' ? ',' : c;
  EXPECT_EQ(comma.Out, expected);

  // A delimiter that the numbers contain puts those fields in quotes.
  const CliRun quoted = Run("table " + Quoted(archive) + " --delimiter .");
  ASSERT_EQ(quoted.ExitCode, 0) << quoted.Err;
  const std::vector<std::string> plain_lines = SplitLines(plain.Out), quoted_lines = SplitLines(quoted.Out);
  ASSERT_EQ(plain_lines.size(), quoted_lines.size());
  for (std::size_t i = 0; i < plain_lines.size(); ++i) EXPECT_EQ(Fields(quoted_lines[i], '.'), Fields(plain_lines[i], ','));
  EXPECT_NE(quoted.Out.find('"'), std::string::npos);

  const CliRun bom = Run("table " + Quoted(archive) + " --bom");
  EXPECT_EQ(bom.Out, "\xEF\xBB\xBF" + plain.Out);

  const fs::path file = Dir() / "t.csv";
  const CliRun to_file = Run("table " + Quoted(archive) + " -o " + Quoted(file));
  ASSERT_EQ(to_file.ExitCode, 0) << to_file.Err;
  EXPECT_EQ(to_file.Out, "");
  EXPECT_EQ(ReadAll(file), plain.Out);
  // Only the table is left in the folder (the temporary name is gone).
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(Dir())) entries += entry.path().extension() == ".ar4tmp";
  EXPECT_EQ(entries, 0u);

  for (const char* bad : {"--delimiter ab", "--delimiter x", "--decimal-separator 5", "--decimal-separator -"}) {
    EXPECT_EQ(Run("table " + Quoted(archive) + " " + bad).ExitCode, 2) << bad;
  }
#ifndef _WIN32
  for (const char* bad : {"--delimiter '\"'", "--decimal-separator ''"}) {
    EXPECT_EQ(Run("table " + Quoted(archive) + " " + bad).ExitCode, 2) << bad;
  }
#endif
}

// --- Targets, several archives, failures ---

TEST_F(TableCommandTest, SeveralArchivesToStandardOutputAndIntoAFolder) {
  ar4gen::GeneratorOptions options;
  options.Header.PageCount = 1;
  const fs::path first = Generate("first.ar4", options);
  options.Header.DeviceType = 76;
  const fs::path second = Generate("second.ar4", options);
  const fs::path bad = Dir() / "bad.ar4";
  ar4::clitest::WriteAll(bad, std::vector<std::uint8_t>(300, 0));

  const std::string one = Run("table " + Quoted(first)).Out;
  const std::string two = Run("table " + Quoted(second)).Out;
  const CliRun both = Run("table " + Quoted(first) + " " + Quoted(second));
  ASSERT_EQ(both.ExitCode, 0) << both.Err;
  EXPECT_EQ(both.Out, "== " + first.string() + "\n" + one + "== " + second.string() + "\n" + two);

  const fs::path folder = Dir() / "tables";
  fs::create_directories(folder);
  const CliRun with_bad = Run("table " + Quoted(first) + " " + Quoted(bad) + " " + Quoted(second) + " -o " +
                              Quoted(folder));
  EXPECT_EQ(with_bad.ExitCode, 1);
  EXPECT_NE(with_bad.Err.find(bad.string() + ": "), std::string::npos) << with_bad.Err;
  EXPECT_EQ(ReadAll(folder / "first.csv"), one);
  EXPECT_EQ(ReadAll(folder / "second.csv"), two);
  EXPECT_FALSE(fs::exists(folder / "bad.csv"));

  // Usage errors, before anything is written.
  EXPECT_EQ(Run("table " + Quoted(first) + " " + Quoted(second) + " -o " + Quoted(Dir() / "x.csv")).ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " --format xlsx").ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " -o " + Quoted(Dir() / "x.txt")).ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " --format ods -o " + Quoted(Dir() / "x.csv")).ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " --run 2").ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " --run 1 --from 2014-01-01").ExitCode, 2);
  EXPECT_EQ(Run("table " + Quoted(first) + " --from 2014-02-30x").ExitCode, 2);
  EXPECT_FALSE(fs::exists(Dir() / "x.csv"));
}

TEST_F(TableCommandTest, FailuresLeaveNothingUnderTheFinalName) {
  ar4gen::GeneratorOptions options;
  options.Header.PageCount = 4;
  const fs::path archive = Generate("a.ar4", options);

  const CliRun missing_folder = Run("table " + Quoted(archive) + " -o " + Quoted(Dir() / "no" / "t.csv"));
  EXPECT_EQ(missing_folder.ExitCode, 1);
  EXPECT_EQ(missing_folder.Err, "Ошибки\n");
  EXPECT_FALSE(fs::exists(Dir() / "no"));

  const CliRun rejected = Run("table " + Quoted(Dir() / "none.ar4") + " -o " + Quoted(Dir() / "t.csv"));
  EXPECT_EQ(rejected.ExitCode, 1);
  EXPECT_EQ(rejected.Err, "Ошибки\n");
  EXPECT_FALSE(fs::exists(Dir() / "t.csv"));

#ifndef _WIN32
  // A full disk: "Ошибки". A device named by -o is written into, never replaced by a renamed file.
  ASSERT_TRUE(fs::is_character_file("/dev/full"));
  const CliRun full = Run("table " + Quoted(archive) + " -o /dev/full --format csv");
  EXPECT_EQ(full.ExitCode, 1);
  EXPECT_EQ(full.Err, "Ошибки\n");
  ASSERT_TRUE(fs::is_character_file("/dev/full"));
  const CliRun to_null = Run("table " + Quoted(archive) + " -o /dev/null --format csv");
  EXPECT_EQ(to_null.ExitCode, 0) << to_null.Err;
  ASSERT_TRUE(fs::is_character_file("/dev/null"));
  // A folder that cannot be written into.
  const fs::path locked = Dir() / "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  const fs::path probe = locked / "probe";
  if (std::FILE* writable = std::fopen(probe.c_str(), "w")) {  // running as root: permissions do not hold
    std::fclose(writable);
    fs::remove(probe);
  } else {
    const CliRun unwritable = Run("table " + Quoted(archive) + " -o " + Quoted(locked / "t.csv"));
    EXPECT_EQ(unwritable.ExitCode, 1);
    EXPECT_TRUE(fs::is_empty(locked));
  }
  fs::permissions(locked, fs::perms::owner_all);
#endif
}

}  // namespace
