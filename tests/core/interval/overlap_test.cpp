#include "core/interval/overlap.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/archive/loader.hpp"
#include "core/archive/scan.hpp"
#include "test_ring.hpp"

namespace ar4 {
namespace {

using ar4gen::Damage;
using testing::At;
using testing::TestRing;

struct Run {
  CellPosition First, Last;
  std::uint32_t FirstStamp, LastStamp;
};

void ExpectRuns(const IntervalList& list, const std::vector<Run>& runs) {
  ASSERT_EQ(list.ItemCount, runs.size());
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const IntervalEntry& e = list.Entries[k];
    SCOPED_TRACE(k);
    EXPECT_EQ((CellPosition{e.FirstPage, e.FirstCell}), runs[k].First);
    EXPECT_EQ((CellPosition{e.LastPage, e.LastCell}), runs[k].Last);
    EXPECT_EQ(e.FirstStamp, runs[k].FirstStamp);
    EXPECT_EQ(e.LastStamp, runs[k].LastStamp);
  }
}

TEST(IntervalItemText, ShowsFirstAndLastStampIn56Characters) {
  IntervalEntry entry;
  entry.FirstStamp = PackDate(1, 2, 2014) | (10u << 12);
  entry.LastStamp = PackDate(5, 2, 2014) | (8u << 12) | (30u << 6);
  const std::string text = IntervalItemText(entry);
  EXPECT_EQ(text, "   01.02.2014    10:00:00    -    05.02.2014    08:30:00");
  EXPECT_EQ(text.size(), kIntervalItemTextLength);
}

TEST(AnalizInterval, RisingRingIsOneRunFromTheEarliestCellRoundTheWrap) {
  TestRing ring(73, 2);  // 18 cells; the oldest one in slot 5
  for (std::uint32_t i = 0; i < 18; ++i) ring.Put(5 + i, At(10, i));
  ExpectRuns(ring.Analyse(), {{{0, 5}, {0, 4}, At(10, 0), At(10, 17)}});
}

TEST(AnalizInterval, BackwardStepsCutRunsAndUncountedCellsChangeNothing) {
  // 07:00 10:00 10:01 | 09:00 | 08:00 08:30 08:30 08:40: three runs, the middle one a single cell,
  // equal stamps stay in their run.
  const std::vector<std::uint32_t> stamps = {At(7, 0), At(10, 0), At(10, 1), At(9, 0),
                                             At(8, 0), At(8, 30), At(8, 30), At(8, 40)};
  TestRing plain(76, 1);
  plain.PutRun(0, stamps);
  ExpectRuns(plain.Analyse(), {{{0, 0}, {0, 2}, At(7, 0), At(10, 1)},
                               {{0, 3}, {0, 3}, At(9, 0), At(9, 0)},
                               {{0, 4}, {0, 7}, At(8, 0), At(8, 40)}});

  // The same cells with an uncounted one after each: no stamp, or damaged with an earlier stamp.
  struct Filler {
    std::uint32_t Stamp;
    Damage Kind;
  };
  const Filler fillers[] = {{0, Damage::kNone},      {0xFFFFFFFFu, Damage::kNone},
                            {At(6, 0), Damage::kMarker}, {At(6, 0), Damage::kLength},
                            {At(6, 0), Damage::kChecksum}};
  for (const Filler& filler : fillers) {
    TestRing ring(73, 2);
    for (std::uint32_t i = 0; i < stamps.size(); ++i) {
      ring.Put(2 * i, stamps[i]);
      ring.Put(2 * i + 1, filler.Stamp, filler.Kind);
    }
    ExpectRuns(ring.Analyse(), {{{0, 0}, {0, 4}, At(7, 0), At(10, 1)},
                                {{0, 6}, {0, 6}, At(9, 0), At(9, 0)},
                                {{0, 8}, {1, 5}, At(8, 0), At(8, 40)}});
  }
}

TEST(AnalizInterval, NoCountedCellLeavesTheListEmptyWhereverItStarts) {
  TestRing ring(75, 3);
  ring.Put(0, 0);
  ring.Put(1, 0xFFFFFFFFu);
  ring.Put(4, At(9, 0), Damage::kChecksum);
  for (const CellPosition start : {CellPosition{0, 0}, CellPosition{0, 1}, CellPosition{1, 1},
                                   CellPosition{2, 2}, CellPosition{3, 0}, CellPosition{0, 3}}) {
    EXPECT_EQ(ring.AnalyseFrom(start).ItemCount, 0u);
  }
}

TEST(AnalizInterval, StartCellSetsTheFirstStampEvenWhenNotCounted) {
  TestRing ring(74, 1);
  ring.Put(0, At(12, 0), Damage::kChecksum);
  ring.PutRun(1, {At(10, 0), At(10, 1)});
  ExpectRuns(ring.AnalyseFrom({0, 0}), {{{0, 0}, {0, 0}, At(12, 0), At(12, 0)},
                                        {{0, 1}, {0, 2}, At(10, 0), At(10, 1)}});
}

TEST(AnalizInterval, ListFreezesAtTheThousandthBackwardStep) {
  // The earliest cell, then n cells each earlier than the one before: n - 1 backward steps.
  constexpr std::uint32_t kTop = 0x39000000;
  for (const std::uint32_t n : {999u, 1000u, 1001u, 1100u}) {
    SCOPED_TRACE(n);
    TestRing ring(76, 60);  // 1140 cells
    ring.Put(0, 0x38000000);
    for (std::uint32_t i = 1; i <= n; ++i) ring.Put(i, kTop - i);
    const IntervalList list = ring.Analyse();
    const std::uint32_t steps = n - 1;
    EXPECT_EQ(list.ItemCount, steps < 999 ? steps + 1 : steps == 999 ? 1000u : 999u);
    EXPECT_EQ(list.Entries[0].LastStamp, kTop - 1);
    EXPECT_EQ(list.Entries[998].FirstStamp, kTop - 999);
    EXPECT_EQ(list.Entries[998].LastStamp, kTop - 999);
    EXPECT_EQ(list.Entries[998].LastPage * 19 + list.Entries[998].LastCell, 999u);
  }
}

}  // namespace
}  // namespace ar4

namespace ar4 {
namespace {

// The scan's masks stand for the check of every cell: with them the analysis must give exactly the list
// it gives when it checks each cell itself, for every type, damage of every kind, missing stamps,
// set-backs (beyond the list's limit too) and any start.
TEST(AnalizInterval, ScanMasksGiveTheListOfTheCellByCellCheck) {
  auto buffers = std::make_unique<ArchiveBuffers>();
  auto with_masks = std::make_unique<IntervalList>();
  auto checked = std::make_unique<IntervalList>();
  Pacer pacer;
  std::uint64_t seed = 1;
  for (const std::uint16_t type : {73, 74, 75, 76, 89}) {
    for (const std::uint32_t set_backs : {0u, 7u, 1200u}) {
      ar4gen::GeneratorOptions options;
      options.Seed = seed++;
      options.Header.DeviceType = type;
      options.Header.PageCount = set_backs > 1000 ? 700 : 40;
      options.WrapSlot = static_cast<std::uint32_t>(seed * 37);
      options.SetBacks = set_backs;
      options.MarkerDamage = options.LengthDamage = options.ChecksumDamage = 0.03;
      options.ZeroStamps = options.AllOnesStamps = options.EqualStamps = 0.03;
      options.SpecialValues = 0.05;  // type 89: exponents the scan repairs
      const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
      LoadedArchive loaded;
      ASSERT_EQ(LoadArchiveBytes(file, *buffers, loaded), LoadStatus::kLoaded);
      const ScanResult scan =
          ValidationScan(buffers->MainBlock.get(), loaded.PageCount, *loaded.Profile, buffers->ValidCellMasks.get());
      const RingGeometry ring = RingGeometry::Of(*loaded.Profile, loaded.PageCount);
      for (const CellPosition start : {scan.StartPosition, CellPosition{loaded.PageCount - 1, 1}}) {
        SCOPED_TRACE(::testing::Message() << "type " << type << ", set-backs " << set_backs << ", start "
                                          << start.Page << "/" << start.Cell);
        AnalizInterval(buffers->MainBlock.get(), ring, start, *with_masks, pacer, buffers->ValidCellMasks.get());
        AnalizInterval(buffers->MainBlock.get(), ring, start, *checked, pacer);
        ASSERT_EQ(with_masks->ItemCount, checked->ItemCount);
        for (std::uint32_t k = 0; k < checked->ItemCount; ++k) {
          const IntervalEntry& a = with_masks->Entries[k];
          const IntervalEntry& b = checked->Entries[k];
          ASSERT_TRUE(a.FirstPage == b.FirstPage && a.FirstCell == b.FirstCell && a.LastPage == b.LastPage &&
                      a.LastCell == b.LastCell && a.FirstStamp == b.FirstStamp && a.LastStamp == b.LastStamp)
              << "entry " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ar4
