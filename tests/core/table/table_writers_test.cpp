// The table writers on a generated archive in memory: the rows of the walk against a brute force over
// the ring, the workbook's sheets past the row limit, and a failed write that leaves nothing behind.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "core/interval/bounds.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"
#include "core/table/table_rows.hpp"
#include "core/table/table_writers.hpp"

namespace {

namespace fs = std::filesystem;

/// A generated archive loaded and scanned, with its overlap list: what the table command has in hand.
struct Loaded {
  explicit Loaded(const ar4gen::GeneratorOptions& options) {
    const std::vector<std::uint8_t> bytes = ar4gen::GenerateArchive(options);
    path = fs::temp_directory_path() / ("ar4_table_writers_" + std::to_string(options.Seed) + ".ar4");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(ar4::LoadArchive(path, *buffers, archive), ar4::LoadStatus::kLoaded);
    ring = ar4::RingGeometry::Of(*archive.Profile, archive.PageCount);
    const ar4::ScanResult scan = ar4::ValidationScan(buffers->MainBlock.get(), archive.PageCount, *archive.Profile);
    ar4::Pacer pacer;
    ar4::AnalizInterval(buffers->MainBlock.get(), ring, scan.StartPosition, *intervals, pacer);
  }
  ~Loaded() { fs::remove(path); }

  ar4::TableSelection Selection(const ar4::ExportBounds& bounds) const {
    return {buffers->MainBlock.get(), ring, archive.Profile, bounds};
  }

  fs::path path;
  std::unique_ptr<ar4::ArchiveBuffers> buffers = std::make_unique<ar4::ArchiveBuffers>();
  std::unique_ptr<ar4::IntervalList> intervals = std::make_unique<ar4::IntervalList>();
  ar4::LoadedArchive archive;
  ar4::RingGeometry ring;
};

class StampCollector final : public ar4::TableRowSink {
 public:
  void Row(const ar4::TableRow& row) override { stamps.push_back(row.Stamp); }
  std::vector<std::uint32_t> stamps;
};

TEST(TableRows, EveryRunIsTheIntactCellsOfItsStretchOfRingInOrder) {
  ar4gen::GeneratorOptions options;
  options.Seed = 11;
  options.Header.DeviceType = 74;
  options.Header.PageCount = 30;
  options.WrapSlot = 100;
  options.SetBacks = 4;
  options.ChecksumDamage = 0.1;
  options.ZeroStamps = 0.05;
  const Loaded loaded(options);
  ASSERT_GE(loaded.intervals->ItemCount, 2u);
  for (std::uint32_t k = 0; k < loaded.intervals->ItemCount; ++k) {
    const ar4::ExportBounds bounds = ar4::ListModeBounds(*loaded.intervals, k, loaded.ring);
    StampCollector rows;
    ar4::ForEachTableRow(loaded.Selection(bounds), rows, {});
    // Brute force: step around the ring cell by cell from the start to the end position.
    std::vector<std::uint32_t> expected;
    ar4::CellPosition at = bounds.StartPosition;
    do {
      const std::uint8_t* cell = loaded.buffers->MainBlock.get() + loaded.ring.Offset(at);
      const std::uint32_t stamp = ar4::CellStamp(cell);
      if (ar4::IsCellIntact(cell, loaded.ring.CellSize) && bounds.StartStamp <= stamp && stamp <= bounds.EndStamp) {
        expected.push_back(stamp);
      }
      at = loaded.ring.Next(at);
    } while (!(at.Page == bounds.EndPosition.Page && at.Cell == bounds.EndPosition.Cell));
    EXPECT_EQ(rows.stamps, expected) << "run " << k + 1;
  }
}

TEST(TableTimes, FieldsAsStoredAndRealDates) {
  char text[ar4::kMaxTimeTextLength];
  const auto time = [&](std::uint32_t stamp, std::uint32_t ms, bool with) {
    return std::string(text, ar4::WriteTimeText(text, stamp, ms, with));
  };
  EXPECT_EQ(time(0, 0, false), "2000-01-01T00:00:00");
  EXPECT_EQ(time(0xFEFD7EFB, 7, true), "2063-12-31T23:59:59.007");
  EXPECT_EQ(time(0xFFFFFFFF, 0, false), "2063-16-32T31:63:63");
  const std::uint32_t february_31 = ar4::PackDate(31, 2, 2015) | (25u << 12) | (61u << 6) | 7u;
  EXPECT_EQ(time(february_31, 0, false), "2015-02-31T25:61:07");
  EXPECT_FALSE(ar4::IsCalendarStamp(february_31));
  EXPECT_FALSE(ar4::IsCalendarStamp(ar4::PackDate(29, 2, 2015)));
  EXPECT_TRUE(ar4::IsCalendarStamp(ar4::PackDate(29, 2, 2016)));
  EXPECT_FALSE(ar4::IsCalendarStamp(0xFFFFFFFF));
  EXPECT_DOUBLE_EQ(ar4::SpreadsheetDateTime(ar4::PackDate(1, 1, 2013), 500), 41275.0 + 0.5 / 86400);
}

/// Runs python3 on `code` with the file as its argument; its output, or nothing when it cannot run.
std::string Python(const std::string& code, const fs::path& file) {
  const fs::path script = fs::temp_directory_path() / "ar4_table_writers.py";
  std::ofstream(script) << code;
  const std::string command = "python3 \"" + script.string() + "\" \"" + file.string() + "\" 2>&1";
  std::string out;
#ifndef _WIN32
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    if (pclose(pipe) != 0) out = "failed: " + out;
  }
#endif
  fs::remove(script);
  return out;
}

TEST(XlsxTable, DataGoesOnOnFurtherSheetsAndNothingIsCut) {
  if (!ar4::XlsxSupported()) GTEST_SKIP() << "this build writes no workbooks";
  ar4gen::GeneratorOptions options;
  options.Seed = 3;
  options.Header.DeviceType = 76;
  options.Header.PageCount = 13;  // 247 cells
  const Loaded loaded(options);
  const ar4::ExportBounds bounds = ar4::DateRangeBounds(*loaded.intervals, {1, 1, 2000}, {31, 12, 2063});
  ar4::TableOptions table;
  table.Format = ar4::TableFormat::kXlsx;
  table.RowsPerSheet = 100;
  const fs::path file = fs::temp_directory_path() / "ar4_table_writers.xlsx";
  const ar4::ExportResult result = ar4::WriteTableFile(loaded.Selection(bounds), table, {"report\r", {}}, file, {});
  EXPECT_EQ(result.ExportedCells, 247u);
  // The package read with the standard library's zip reader: sheet names and rows per sheet.
  const std::string listing = Python(
      "import re, sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "print(' '.join(re.findall(r'<sheet name=\"([^\"]+)\"', z.read('xl/workbook.xml').decode())))\n"
      "for i in range(1, 6):\n"
      "    print(z.read('xl/worksheets/sheet%d.xml' % i).decode().count('<row '))\n",
      file);
  fs::remove(file);
  if (listing.rfind("failed", 0) == 0 || listing.empty()) GTEST_SKIP() << "python3 cannot read it: " << listing;
  EXPECT_EQ(listing, "Data Data 2 Data 3 Report Runs\n101\n101\n48\n1\n1\n");
}

TEST(TableFile, AFailedWriteLeavesNoFileBehind) {
  ar4gen::GeneratorOptions options;
  options.Header.PageCount = 2;
  const Loaded loaded(options);
  const ar4::ExportBounds bounds = ar4::ListModeBounds(*loaded.intervals, 0, loaded.ring);
  const fs::path folder = fs::temp_directory_path() / "ar4_table_writers_missing";
  EXPECT_THROW(ar4::WriteTableFile(loaded.Selection(bounds), {}, {}, folder / "t.csv", {}), ar4::ExportError);
  EXPECT_FALSE(fs::exists(folder));
  // A selection that does not fit the ring is refused before anything is written.
  ar4::ExportBounds outside = bounds;
  outside.StartPosition.Page = loaded.ring.PageCount;
  const fs::path file = fs::temp_directory_path() / "ar4_table_writers_outside.csv";
  EXPECT_THROW(ar4::WriteTableFile(loaded.Selection(outside), {}, {}, file, {}), ar4::ExportError);
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
