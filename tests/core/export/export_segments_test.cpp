// The walk in segments: whatever the segment size, the thread count and the number of buffers, the files,
// the overlap count and text and the gauge are those of one walk in one piece; failures stop every thread.

#include "core/export/export_segments.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/scan.hpp"
#include "core/export/export_state.hpp"
#include "core/export/memory_file_system.hpp"
#include "export_test_support.hpp"

namespace ar4 {
namespace {

using test::Stamp;

/// A generated archive's main block.
struct Archive {
  Archive(const ar4gen::GeneratorOptions& options)
      : Profile(*FindDeviceProfile(options.Header.DeviceType)),
        Ring(RingGeometry::Of(Profile, options.Header.PageCount)) {
    const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
    Block.assign(file.begin() + kHeaderSize, file.begin() + kHeaderSize + std::size_t{Ring.PageCount} * kPageSize);
  }
  const DeviceProfile& Profile;
  RingGeometry Ring;
  std::vector<std::uint8_t> Block;
};

/// Everything an export leaves behind.
struct Outcome {
  std::map<std::string, std::vector<std::uint8_t>> Files;
  std::vector<std::string> CreationOrder;
  ExportResult Result;
  std::vector<int> Gauge;
};

Outcome Export(const Archive& archive, const ExportBounds& bounds, const ExportSettings& settings,
               const WalkOptions& options, std::size_t write_unit = 0,
               const std::uint32_t* valid_masks = nullptr) {
  MemoryFileSystem fs;
  fs.AddDirectory("/out");
  fs.FileWriteUnit = write_unit;
  ExportFiles files;
  Outcome outcome;
  const std::thread::id caller = std::this_thread::get_id();
  // Breathes at every chance; the front-end is only ever called on the calling thread.
  Pacer pacer([caller] { EXPECT_EQ(std::this_thread::get_id(), caller); }, std::chrono::milliseconds(0));
  outcome.Result = RunExportWith(archive.Block.data(), archive.Ring, archive.Profile, bounds, settings, "/out/",
                                 files, fs,
                                 [&](int percent) {
                                   EXPECT_EQ(std::this_thread::get_id(), caller);
                                   outcome.Gauge.push_back(percent);
                                 },
                                 pacer, options, valid_masks);
  EXPECT_TRUE(files.Commit());
  EXPECT_EQ(fs.DoubleCloses, 0u);
  EXPECT_EQ(fs.MisalignedWrites, 0u);  // with a write unit, whole units at multiples of it but the last
  outcome.Files = fs.Files;
  outcome.CreationOrder = fs.CreationOrder;
  return outcome;
}

/// One walk in one piece on the calling thread: the reference.
WalkOptions InOnePiece(const Archive& archive, const ExportBounds& bounds) {
  return {static_cast<std::uint32_t>(WalkLength(archive.Ring, bounds)), 0, 1};
}

void ExpectSameOutcome(const Outcome& expected, const Outcome& actual, const std::string& what) {
  EXPECT_EQ(actual.CreationOrder, expected.CreationOrder) << what;
  for (const auto& [name, bytes] : expected.Files) {
    const auto it = actual.Files.find(name);
    ASSERT_NE(it, actual.Files.end()) << what << " " << name;
    ASSERT_EQ(it->second.size(), bytes.size()) << what << " " << name;
    ASSERT_TRUE(it->second == bytes) << what << " " << name;
  }
  EXPECT_EQ(actual.Result.OverlapCount, expected.Result.OverlapCount) << what;
  EXPECT_EQ(actual.Result.OverlapText, expected.Result.OverlapText) << what;
  EXPECT_EQ(actual.Result.ExportedCells, expected.Result.ExportedCells) << what;
  EXPECT_EQ(actual.Gauge, expected.Gauge) << what;
}

/// An archive of everything the overlap test and the listing distinguish: clock set-backs (more than 20),
/// damaged cells, stamps 0 and 0xFFFFFFFF, equal stamps, flagged channels and special values.
ar4gen::GeneratorOptions Troubled(std::uint16_t type, std::uint32_t pages, std::uint64_t seed) {
  ar4gen::GeneratorOptions options;
  options.Seed = seed;
  options.Header.DeviceType = type;
  options.Header.PageCount = pages;
  options.WrapSlot = pages * FindDeviceProfile(type)->CellsPerPage / 3;
  options.SetBacks = 40;
  options.MarkerDamage = 0.03;
  options.ChecksumDamage = 0.05;
  options.ZeroStamps = 0.04;
  options.AllOnesStamps = 0.04;
  options.EqualStamps = 0.1;
  options.FlaggedChannels = 0.1;
  options.SpecialValues = 0.05;
  return options;
}

/// Bounds of several kinds: the whole ring from a middle cell, a stretch that wraps, a date range (the
/// middle half of the stamps) that cuts through the set-backs, and one cell.
std::vector<std::pair<std::string, ExportBounds>> BoundsOf(const Archive& archive) {
  std::vector<std::uint32_t> stamps;
  for (std::uint32_t page = 0; page < archive.Ring.PageCount; ++page) {
    for (std::uint32_t c = 0; c < archive.Ring.CellsPerPage; ++c) {
      const std::uint8_t* cell = archive.Block.data() + archive.Ring.Offset({page, c});
      if (HasTimeStamp(CellStamp(cell))) stamps.push_back(CellStamp(cell));
    }
  }
  std::sort(stamps.begin(), stamps.end());
  const std::uint32_t pages = archive.Ring.PageCount;
  const std::uint32_t last_cell = archive.Ring.CellsPerPage - 1u;
  return {
      {"whole ring", {{pages / 2, 1}, {pages / 2, 1}, 0, 0xFFFFFFFFu}},
      {"wrapping stretch", {{pages - 2, last_cell}, {3, 0}, 0, 0xFFFFFFFFu}},
      {"date range", {{0, 0}, {0, 0}, stamps[stamps.size() / 4], stamps[stamps.size() * 3 / 4]}},
      {"one cell", {{1, last_cell}, {2, 0}, 0, 0xFFFFFFFFu}},
  };
}

TEST(ExportSegments, EveryCutGivesTheOutputOfOneWalk) {
  for (const std::uint16_t type : {73, 74, 75, 76, 89}) {
    const Archive archive(Troubled(type, type == 89 ? 24 : 12, type));
    for (const auto& [bounds_name, bounds] : BoundsOf(archive)) {
      for (const bool detailed : {false, true}) {
        const ExportSettings settings{detailed, ','};
        const Outcome expected = Export(archive, bounds, settings, InOnePiece(archive, bounds));
        EXPECT_GT(expected.Result.ExportedCells, 0u) << type << " " << bounds_name;
        if (bounds_name == "whole ring") {
          EXPECT_GT(expected.Result.OverlapCount, kMaxOverlapEntries);
        }
        // Segments of one cell put every overlap test on a boundary.
        for (const WalkOptions options : {WalkOptions{1, 2, 3}, WalkOptions{2, 0, 1}, WalkOptions{3, 2, 1},
                                          WalkOptions{7, 1, 2}, WalkOptions{17, 2, 4}, WalkOptions{64, 2, 6},
                                          WalkOptions{5, 2, 0}, WalkOptions{9, 3, 0}}) {
          const std::string what = "type " + std::to_string(type) + ", " + bounds_name +
                                   (detailed ? ", detailed" : "") + ", segments of " +
                                   std::to_string(options.SegmentPositions) + ", " +
                                   std::to_string(options.Workers) + " workers, " +
                                   std::to_string(options.Contexts) + " contexts";
          ExpectSameOutcome(expected, Export(archive, bounds, settings, options), what);
        }
      }
    }
  }
}

TEST(ExportSegments, OverlapsAtTheStartOfSegmentsAreMarkedAndListedInWalkOrder) {
  // Type 76: 19 cells a page. Every cell is a second later than the one before, except the cells at the
  // starts of the segments of 5, which go back a day: 30 overlaps, all on segment boundaries.
  test::Ring ring(76, 8);
  CellPosition position{};
  std::uint32_t stamp = Stamp(2015, 1, 1);
  for (std::uint32_t i = 0; i < ring.Geometry.TotalCells(); ++i) {
    stamp = ar4gen::StampAfterSeconds(stamp, i % 5 == 0 ? -86400 : 1);
    ring.Put(position, test::ChannelCell(i == 12 ? 0u : stamp));  // and a stamp 0 inside a segment
    position = ring.Geometry.Next(position);
  }
  const ExportBounds bounds = test::WholeRing();
  for (const bool detailed : {false, true}) {
    const ExportSettings settings{detailed, '.'};
    MemoryFileSystem fs;
    fs.AddDirectory("/out");
    ExportFiles files;
    Pacer pacer;
    const ExportResult result = RunExportWith(ring.Block.data(), ring.Geometry, ring.Profile, bounds, settings,
                                              "/out/", files, fs, {}, pacer, {5, 2, 3});
    ASSERT_TRUE(files.Commit());
    EXPECT_EQ(result.OverlapCount, 152u / 5u);  // every fifth cell but the first
    EXPECT_EQ(result.OverlapText.size(), 20u * 59u);
    EXPECT_EQ(result.OverlapText.substr(0, 59), "\n\r31.12.2014    00:00:04    -_?_-    30.12.2014    00:00:04");
    const auto& listing = fs.Contents("/out/All_Chan.txt");
    for (std::size_t i = 0; i < 152; ++i) {
      const char* line = reinterpret_cast<const char*>(listing.data()) + 76 * i;
      const bool overlap = i % 5 == 0 && i != 0;
      EXPECT_EQ(line[0], overlap ? 'A' : (detailed ? '$' : ' ')) << i;
      if (detailed) {
        EXPECT_EQ(line[overlap ? 1 : 0], '$') << i;
      }
      EXPECT_EQ(line[12], ' ') << i;
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[13]))) << i;  // the time text starts in column 14
    }
  }
}

TEST(ExportSegments, DefaultCutOfALargerArchiveGivesTheOutputOfOneWalk) {
  for (const std::uint16_t type : {73, 89}) {
    // Two segments of the default size.
    auto options = Troubled(type, type == 89 ? 400 : 1000, 7);
    options.SetBacks = 300;
    options.Samples = type == 89 ? 16 : 0;
    const Archive archive(options);
    const ExportBounds bounds{{5, 0}, {5, 0}, 0, 0xFFFFFFFFu};
    for (const bool detailed : {false, true}) {
      const ExportSettings settings{detailed, '.'};
      const Outcome expected = Export(archive, bounds, settings, InOnePiece(archive, bounds));
      EXPECT_GE(expected.Result.OverlapCount, 250u);
      const std::string what = "type " + std::to_string(type) + (detailed ? ", detailed" : "");
      ExpectSameOutcome(expected, Export(archive, bounds, settings, {0, 1, 2}), what + ", one worker");
      ExpectSameOutcome(expected, Export(archive, bounds, settings, {}), what + ", defaults");
    }
  }
}

TEST(ExportSegments, FilesWithAWriteUnitGetTheSameBytesInWholeUnits) {
  // Units smaller than a segment's part, about as large, and larger than a whole small file.
  for (const std::uint16_t type : {74, 76, 89}) {
    const Archive archive(Troubled(type, type == 89 ? 24 : 40, type + 1u));
    for (const auto& [bounds_name, bounds] : BoundsOf(archive)) {
      const ExportSettings settings{true, '.'};
      const Outcome expected = Export(archive, bounds, settings, InOnePiece(archive, bounds));
      for (const std::size_t unit : {16u, 512u, 4096u, 65536u}) {
        for (const WalkOptions options : {WalkOptions{3, 2, 3}, WalkOptions{40, 0, 1}, WalkOptions{}}) {
          const std::string what = "type " + std::to_string(type) + ", " + bounds_name + ", unit " +
                                   std::to_string(unit) + ", segments of " +
                                   std::to_string(options.SegmentPositions);
          ExpectSameOutcome(expected, Export(archive, bounds, settings, options, unit), what);
        }
      }
    }
  }
}

TEST(ExportSegments, TheScansVerdictOnTheCellsGivesTheSameFiles) {
  // With the validation scan's masks the walk computes no check bytes; it must take the same cells.
  for (const std::uint16_t type : {73, 74, 75, 76, 89}) {
    auto options = Troubled(type, type == 89 ? 24 : 12, type + 5u);
    options.LengthDamage = 0.03;
    options.SpecialValues = 0.3;  // type 89: repairs that change check bytes
    Archive archive(options);
    std::vector<std::uint32_t> masks(archive.Ring.PageCount);
    ValidationScan(archive.Block.data(), archive.Ring.PageCount, archive.Profile, masks.data());
    for (const auto& [bounds_name, bounds] : BoundsOf(archive)) {
      for (const bool detailed : {false, true}) {
        const ExportSettings settings{detailed, '.'};
        const Outcome expected = Export(archive, bounds, settings, InOnePiece(archive, bounds));
        for (const WalkOptions walk : {InOnePiece(archive, bounds), WalkOptions{4, 2, 3}}) {
          ExpectSameOutcome(expected, Export(archive, bounds, settings, walk, 0, masks.data()),
                            "type " + std::to_string(type) + ", " + bounds_name + (detailed ? ", detailed" : ""));
        }
      }
    }
  }
}

// --- Failures: every thread stopped, every file closed once ---

struct FailureRun {
  MemoryFileSystem FileSystem;
  ExportFiles Files;
  bool Threw = false;

  FailureRun() { FileSystem.AddDirectory("/out"); }
  void Run(const Archive& archive, const WalkOptions& options, const GaugeCallback& gauge = {}) {
    Pacer pacer;
    try {
      RunExportWith(archive.Block.data(), archive.Ring, archive.Profile, test::WholeRing(), {}, "/out/", Files,
                    FileSystem, gauge, pacer, options);
    } catch (const ExportError&) {
      Threw = true;
    }
  }
  void ExpectEveryFileClosedOnce() {
    const std::size_t open = Files.OpenCount();
    const std::uint32_t closed_before = FileSystem.CloseCount;
    Files.CloseAll();
    EXPECT_EQ(FileSystem.CloseCount, closed_before + open);
    EXPECT_EQ(FileSystem.CloseCount, FileSystem.CreationOrder.size());
    EXPECT_EQ(FileSystem.OpenFiles, 0u);
    EXPECT_EQ(FileSystem.DoubleCloses, 0u);
  }
};

TEST(ExportSegments, FailedWriteAnywhereStopsTheWalk) {
  // Type 89 with 16 samples a cell: the listing of a segment of 20 cells is large enough to be written
  // straight from the segment, so writes happen all along the walk.
  auto options = Troubled(89, 150, 3);
  options.Samples = 16;
  const Archive archive(options);
  // Count the writes of a whole export first, then fail each of them in turn.
  FailureRun whole;
  whole.Run(archive, {20, 2, 2});
  ASSERT_FALSE(whole.Threw);
  const std::uint64_t writes = whole.FileSystem.WriteCount;
  ASSERT_GT(writes, 20u);
  for (std::uint64_t failing = 1; failing <= writes; ++failing) {
    for (const WalkOptions walk : {WalkOptions{20, 2, 2}, WalkOptions{20, 1, 6}, WalkOptions{20, 0, 1}}) {
      FailureRun run;
      run.FileSystem.FailWriteNumber = failing;
      run.Run(archive, walk);
      EXPECT_TRUE(run.Threw) << "write " << failing;
      run.ExpectEveryFileClosedOnce();
    }
  }
}

TEST(ExportSegments, FailedCreationStartsNoWalk) {
  const Archive archive(Troubled(74, 20, 5));
  for (const std::string name : {"Pen.txt", "All_Chan.txt", "Chan1.pen", "Chan8.pen", "Rele1.rel", "Rele8.rel"}) {
    FailureRun run;
    run.FileSystem.FailCreateNames = {name};
    run.Run(archive, {8, 2, 2});
    EXPECT_TRUE(run.Threw) << name;
    EXPECT_EQ(run.FileSystem.WriteCount, name == "Pen.txt" ? 0u : 1u) << name;  // "Pen.txt" only
    run.ExpectEveryFileClosedOnce();
  }
}

TEST(ExportSegments, FailedWholeUnitWriteStopsTheWalk) {
  // Files that take writes in units of 64 bytes: writes happen all along the walk, each of the gathered
  // bytes and the front of a segment's part together.
  const Archive archive(Troubled(74, 30, 5));
  FailureRun whole;
  whole.FileSystem.FileWriteUnit = 64;
  whole.Run(archive, {6, 2, 2});
  ASSERT_FALSE(whole.Threw);
  const std::uint64_t writes = whole.FileSystem.WriteCount;
  ASSERT_GT(writes, 100u);
  for (std::uint64_t failing = 1; failing <= writes; failing += 7) {
    for (const WalkOptions walk : {WalkOptions{6, 2, 2}, WalkOptions{6, 0, 1}}) {
      FailureRun run;
      run.FileSystem.FileWriteUnit = 64;
      run.FileSystem.FailWriteNumber = failing;
      run.Run(archive, walk);
      EXPECT_TRUE(run.Threw) << "write " << failing;
      run.ExpectEveryFileClosedOnce();
    }
  }
}

TEST(ExportSegments, ThrowingGaugeStopsTheWorkers) {
  const Archive archive(Troubled(76, 60, 11));
  for (const int stop_at : {1, 50, 99}) {
    FailureRun run;
    EXPECT_THROW(run.Run(archive, {8, 2, 4},
                         [stop_at](int percent) {
                           if (percent >= stop_at) throw std::runtime_error("the window went away");
                         }),
                 std::runtime_error);
    run.ExpectEveryFileClosedOnce();
  }
}

}  // namespace
}  // namespace ar4
