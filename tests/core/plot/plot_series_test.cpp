// The series gathered for a plot are the records the export writes for the same bounds; a converted
// folder read back gives them again; damaged folders are reported, never trusted.

#include "core/plot/plot_series.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>

#include "ar4gen/generator.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/export/export_files.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/file_system.hpp"
#include "core/export/memory_file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/plot/converted_folder.hpp"
#include "../export/temp_folder.hpp"

namespace ar4 {
namespace {

TEST(PlotTime, SecondsOnTheCalendarAndBack) {
  EXPECT_EQ(PackedToSeconds(PackDate(1, 1, 2000)), 0.0);
  EXPECT_EQ(PackedToSeconds(PackDate(1, 3, 2000)), (31 + 29) * 86400.0);  // 2000 is a leap year
  EXPECT_EQ(PackedToSeconds(PackDate(1, 1, 2014) | (13u << 12) | (5u << 6) | 9u),
            (14 * 365 + 4) * 86400.0 + 13 * 3600 + 5 * 60 + 9);
  // Month 13 of 2014 is January 2015.
  EXPECT_EQ(PackedToSeconds(PackDate(1, 13 & 15, 2014) | (12u << 22)), PackedToSeconds(PackDate(1, 1, 2015)));
  std::mt19937 random(3);
  std::uint32_t previous = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::uint32_t stamp = PackDate(1 + random() % 28, 1 + random() % 12, 2000 + random() % 64) |
                                (random() % 24) << 12 | (random() % 60) << 6 | random() % 60;
    ASSERT_EQ(SecondsToPacked(PackedToSeconds(stamp)), stamp);
    // Valid stamps keep their order on the axis.
    ASSERT_EQ(stamp < previous, PackedToSeconds(stamp) < PackedToSeconds(previous));
    previous = stamp;
  }
  EXPECT_EQ(SecondsToPacked(-1), 0xFFFFFFFFu);
}

struct LoadedRing {
  ArchiveBuffers Buffers;
  LoadedArchive Archive;
  ScanResult Scan;
  IntervalList List;
  RingGeometry Ring;
};

std::unique_ptr<LoadedRing> Load(std::uint16_t type, std::uint32_t pages, std::uint64_t seed) {
  ar4gen::GeneratorOptions options;
  options.Seed = seed;
  options.Header.DeviceType = type;
  options.Header.PageCount = pages;
  options.SetBacks = 4;
  options.WrapSlot = 37;
  options.ChecksumDamage = 0.02;
  options.ZeroStamps = 0.01;
  options.EqualStamps = 0.05;
  options.FlaggedChannels = 0.05;
  options.SpecialValues = 0.02;
  const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
  auto loaded = std::make_unique<LoadedRing>();
  EXPECT_EQ(LoadArchiveBytes(file, loaded->Buffers, loaded->Archive), LoadStatus::kLoaded);
  loaded->Scan = ValidationScan(loaded->Buffers.MainBlock.get(), pages, *loaded->Archive.Profile);
  loaded->Ring = RingGeometry::Of(*loaded->Archive.Profile, pages);
  Pacer pacer;
  AnalizInterval(loaded->Buffers.MainBlock.get(), loaded->Ring, loaded->Scan.StartPosition, loaded->List, pacer);
  return loaded;
}

/// The status of a row's channel, 0 when it holds a value.
std::uint8_t StatusAt(const PlotSeries& s, std::uint32_t row, std::size_t g) {
  for (const FlaggedValue& f : s.Flagged) {
    if (f.Row == row && f.Channel == g) return f.Status;
  }
  return 0;
}

double RecordSeconds(const std::uint8_t* r) { return FieldsToSeconds(r[0], r[1], r[2], r[3], r[4], r[5]); }

void ExpectRecordsEqualSeries(const PlotSeries& s, const MemoryFileSystem& fs, const DeviceProfile& profile) {
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    const std::vector<std::uint8_t>& pen = fs.Contents("/out/" + ChannelFileName(g));
    ASSERT_EQ(pen.size(), std::size_t{s.Rows()} * 15);
    std::size_t cell = 0;
    for (std::uint32_t row = 0; row < s.Rows(); ++row) {
      const std::uint8_t* r = pen.data() + std::size_t{row} * 15;
      if (s.Samples) {
        while (cell + 1 < s.Aux.size() && s.Aux[cell + 1].FirstRow <= row) ++cell;
        ASSERT_EQ(RecordSeconds(r), s.AuxTimes[cell]) << row;  // every sample record has its cell's time
      } else {
        ASSERT_EQ(RecordSeconds(r), s.Times[row]) << row;
      }
      ASSERT_EQ(r[14], StatusAt(s, row, g)) << row;
      if (r[14] == 0) {
        const std::uint8_t msb_first[4] = {r[9], r[8], r[7], r[6]};
        const double value = s.Samples ? SingleToDouble(r + 6) : DeviceFloatToDouble(msb_first);
        ASSERT_EQ(static_cast<float>(value), s.Values[g][row]) << row;
      } else {
        ASSERT_TRUE(std::isnan(s.Values[g][row]));
      }
    }
  }
  for (std::size_t k = 0; k < profile.Relays; ++k) {
    const std::vector<std::uint8_t>& rel = fs.Contents("/out/" + RelayFileName(k));
    ASSERT_EQ(rel.size(), std::size_t{s.Rows()} * 7);
    for (std::uint32_t row = 0; row < s.Rows(); ++row) {
      ASSERT_EQ(rel[row * 7 + 6], (s.RelayBits[row] >> k) & 1u) << row;
    }
  }
}

TEST(GatherPlotSeries, RowsAreTheExportedRecordsForEveryTypeAndBounds) {
  for (const std::uint16_t type : {73, 75, 76, 89}) {
    const auto loaded = Load(type, 40, type);
    ASSERT_GE(loaded->List.ItemCount, 3u);
    std::vector<ExportBounds> choices{DateRangeBounds(loaded->List, {1, 1, 2000}, {31, 12, 2063}),
                                      DateRangeBounds(loaded->List, {2, 1, 2014}, {31, 12, 2063})};
    for (std::uint32_t k = 0; k < loaded->List.ItemCount; ++k) {
      choices.push_back(ListModeBounds(loaded->List, k, loaded->Ring));
    }
    for (const ExportBounds& bounds : choices) {
      SCOPED_TRACE(testing::Message() << "type " << type << " start stamp " << bounds.StartStamp);
      PlotSeries series;
      GatherPlotSeries(loaded->Buffers.MainBlock.get(), loaded->Ring, *loaded->Archive.Profile, bounds, series);
      MemoryFileSystem fs;
      fs.AddDirectory("/out");
      ExportFiles files;
      Pacer pacer;
      RunExport(loaded->Buffers.MainBlock.get(), loaded->Ring, *loaded->Archive.Profile, bounds, {}, "/out/", files,
                fs, {}, pacer);
      ASSERT_TRUE(files.Commit());
      ExpectRecordsEqualSeries(series, fs, *loaded->Archive.Profile);
      // Stretches begin exactly where the time steps back.
      for (std::uint32_t row = 1; row < series.Rows(); ++row) {
        const bool starts = std::find(series.StretchStarts.begin(), series.StretchStarts.end(), row) !=
                            series.StretchStarts.end();
        ASSERT_EQ(starts, series.Times[row] < series.Times[row - 1]);
      }
    }
  }
}

TEST(ConvertedFolder, ReadsBackWhatTheExportWrote) {
  const auto loaded = Load(73, 30, 5);
  const ExportBounds bounds = DateRangeBounds(loaded->List, {1, 1, 2000}, {31, 12, 2063});
  test::TempFolder temp;
  DiskFileSystem disk;
  ExportFiles files;
  Pacer pacer;
  RunExport(loaded->Buffers.MainBlock.get(), loaded->Ring, *loaded->Archive.Profile, bounds, {}, temp.Path(), files,
            disk, {}, pacer);
  ASSERT_TRUE(files.Commit());
  PlotSeries gathered, read;
  GatherPlotSeries(loaded->Buffers.MainBlock.get(), loaded->Ring, *loaded->Archive.Profile, bounds, gathered);
  ConvertedFolderSummary summary;
  ASSERT_TRUE(IsConvertedFolder(temp.Path()));
  ASSERT_TRUE(ReadConvertedFolder(temp.Path(), read, summary));
  EXPECT_TRUE(summary.Problems.empty());
  EXPECT_EQ(summary.ChannelFiles.size(), 4u);
  EXPECT_EQ(summary.RelayFiles.size(), 8u);
  EXPECT_EQ(read.Times, gathered.Times);
  EXPECT_EQ(read.RelayBits, gathered.RelayBits);
  EXPECT_EQ(read.StretchStarts, gathered.StretchStarts);
  ASSERT_EQ(read.Flagged.size(), gathered.Flagged.size());
  for (std::size_t g = 0; g < 4; ++g) {
    for (std::uint32_t row = 0; row < read.Rows(); ++row) {
      const float a = read.Values[g][row], b = gathered.Values[g][row];
      ASSERT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << g << " " << row;
    }
  }

  // Damage: a channel file cut in the middle of a record, a relay file gone, Pen.txt naming files outside.
  std::filesystem::resize_file(temp.Path() / "Chan2.pen", 15 * 10 + 7);
  std::filesystem::remove(temp.Path() / "Rele3.rel");
  {
    std::ofstream pen(temp.Path() / "Pen.txt", std::ios::binary);
    pen << "../Chan1.pen\r\nChan1.pen\r\n\xB0" "C\r\nChan01.pen\r\nChan2.pen\r\nChan99.pen\r\n";
  }
  ASSERT_TRUE(ReadConvertedFolder(temp.Path(), read, summary));
  EXPECT_EQ(summary.ChannelFiles, (std::vector<std::string>{"Chan1.pen", "Chan2.pen"}));
  EXPECT_EQ(summary.RelayFiles.size(), 2u);  // Rele1, Rele2: the numbering stops at the gap
  EXPECT_EQ(read.Rows(), 10u);
  EXPECT_EQ(summary.Problems.size(), 2u);  // the cut record, the different lengths
  EXPECT_EQ(std::vector<double>(gathered.Times.begin(), gathered.Times.begin() + 10), read.Times);

  // Empty channel files, then none at all.
  for (int g = 1; g <= 4; ++g) std::filesystem::resize_file(temp.Path() / ("Chan" + std::to_string(g) + ".pen"), 0);
  ASSERT_TRUE(ReadConvertedFolder(temp.Path(), read, summary));
  EXPECT_EQ(read.Rows(), 0u);
  for (int g = 1; g <= 4; ++g) std::filesystem::remove(temp.Path() / ("Chan" + std::to_string(g) + ".pen"));
  EXPECT_FALSE(ReadConvertedFolder(temp.Path(), read, summary));
  EXPECT_FALSE(IsConvertedFolder(temp.Path() / "missing"));
}

TEST(ConvertedFolder, RandomFilesNeverCrashAndGiveTheShortestFileOfWholeRecords) {
  std::mt19937 random(9);
  test::TempFolder temp;
  for (int trial = 0; trial < 60; ++trial) {
    for (const auto& entry : std::filesystem::directory_iterator(temp.Path())) std::filesystem::remove(entry.path());
    const auto write = [&](const std::string& name, std::size_t size) {
      std::ofstream out(temp.Path() / name, std::ios::binary);
      for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(random()));
    };
    const int channels = 1 + static_cast<int>(random() % 4), relays = static_cast<int>(random() % 3);
    std::uint64_t rows = UINT64_MAX;
    if (random() % 2 == 0) {
      write("Pen.txt", random() % 300);  // random bytes: no channel file named, so ChanN.pen are looked for
    }
    for (int g = 1; g <= channels; ++g) {
      const std::size_t size = random() % 400;
      write("Chan" + std::to_string(g) + ".pen", size);
      rows = std::min<std::uint64_t>(rows, size / 15);
    }
    for (int k = 1; k <= relays; ++k) {
      const std::size_t size = random() % 200;
      write("Rele" + std::to_string(k) + ".rel", size);
      rows = std::min<std::uint64_t>(rows, size / 7);
    }
    PlotSeries read;
    ConvertedFolderSummary summary;
    ASSERT_TRUE(ReadConvertedFolder(temp.Path(), read, summary)) << trial;
    ASSERT_EQ(read.Rows(), rows) << trial;
    ASSERT_EQ(read.Channels, static_cast<std::uint32_t>(channels));
    ASSERT_EQ(read.Relays, static_cast<std::uint32_t>(relays));
    for (const FlaggedValue& f : read.Flagged) ASSERT_LT(f.Row, read.Rows());
    ASSERT_EQ(read.StretchStarts.empty(), read.Rows() == 0);
  }
}

}  // namespace
}  // namespace ar4
