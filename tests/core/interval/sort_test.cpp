#include "core/interval/sort.hpp"

#include <algorithm>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "literal_sort.hpp"
#include "test_ring.hpp"

namespace ar4 {
namespace {

using ar4gen::Damage;
using testing::At;
using testing::TestRing;

struct Outcome {
  std::vector<std::uint8_t> Buffer;
  std::uint32_t Written = 0;
  IntervalList List;
  std::vector<std::uint32_t> Progress;  // without repeats
};

void Record(std::vector<std::uint32_t>& progress, std::uint32_t percent) {
  if (progress.empty() || progress.back() != percent) progress.push_back(percent);
}

/// Both buffers start with the same bytes, so page padding (no slot) must come out unchanged.
Outcome Fast(const TestRing& ring, const IntervalList& list) {
  Outcome out{std::vector<std::uint8_t>(ring.Block.size(), 0x5C), 0, list, {}};
  Pacer pacer;
  out.Written = SortirBufMinMaxDate(ring.Block.data(), out.Buffer.data(), ring.Ring, out.List,
                                    [&](std::uint32_t p) { Record(out.Progress, p); }, pacer);
  return out;
}

/// The same with the masks the validation scan would leave for the block (bit c of word p: cell c of
/// page p intact).
Outcome FastWithMasks(const TestRing& ring, const IntervalList& list) {
  std::vector<std::uint32_t> masks(ring.Ring.PageCount, 0);
  for (std::uint32_t p = 0; p < ring.Ring.PageCount; ++p) {
    for (std::uint32_t c = 0; c < ring.Ring.CellsPerPage; ++c) {
      if (IsCellIntact(ring.Block.data() + ring.Ring.Offset({p, c}), ring.Ring.CellSize)) masks[p] |= 1u << c;
    }
  }
  Outcome out{std::vector<std::uint8_t>(ring.Block.size(), 0x5C), 0, list, {}};
  Pacer pacer;
  out.Written = SortirBufMinMaxDate(ring.Block.data(), out.Buffer.data(), ring.Ring, out.List,
                                    [&](std::uint32_t p) { Record(out.Progress, p); }, pacer, masks.data());
  return out;
}

Outcome Literal(const TestRing& ring, const IntervalList& list) {
  Outcome out{std::vector<std::uint8_t>(ring.Block.size(), 0x5C), 0, list, {}};
  out.Written = testing::LiteralSort(ring.Block.data(), out.Buffer.data(), ring.Ring, out.List,
                                     [&](std::uint32_t p) { Record(out.Progress, p); });
  return out;
}

/// The fast merge against the literal rule: every byte of the buffer, the count, the progress figures
/// and the merge state left in the list.
Outcome ExpectSameAsLiteral(const TestRing& ring, const IntervalList& list) {
  const std::vector<std::uint8_t> block_before = ring.Block;
  Outcome fast = Fast(ring, list);
  const Outcome literal = Literal(ring, list);
  const Outcome masked = FastWithMasks(ring, list);
  EXPECT_EQ(ring.Block, block_before);
  EXPECT_EQ(masked.Written, fast.Written);
  EXPECT_TRUE(masked.Buffer == fast.Buffer) << "sort buffers differ with the scan's masks";
  EXPECT_EQ(masked.Progress, fast.Progress);
  EXPECT_EQ(fast.Written, literal.Written);
  EXPECT_TRUE(fast.Buffer == literal.Buffer) << "sort buffers differ";
  EXPECT_EQ(fast.Progress, literal.Progress);
  for (std::uint32_t k = 0; k < list.ItemCount; ++k) {
    const IntervalEntry &f = fast.List.Entries[k], &l = literal.List.Entries[k];
    EXPECT_TRUE(f.CursorPage == l.CursorPage && f.CursorCell == l.CursorCell && f.Active == l.Active) << k;
    const IntervalEntry& m = masked.List.Entries[k];
    EXPECT_TRUE(f.CursorPage == m.CursorPage && f.CursorCell == m.CursorCell && f.Active == m.Active) << k;
  }
  return fast;
}

std::vector<std::uint32_t> SlotStamps(const TestRing& ring, const Outcome& out) {
  std::vector<std::uint32_t> stamps;
  for (std::uint32_t s = 0; s < out.Written; ++s) {
    stamps.push_back(CellStamp(out.Buffer.data() + ring.Ring.Offset(ring.PositionOf(s))));
  }
  return stamps;
}

std::uint8_t TagOfSlot(const TestRing& ring, const Outcome& out, std::uint32_t slot) {
  return out.Buffer[ring.Ring.Offset(ring.PositionOf(slot)) + cell::kRelays];
}

TEST(SortirBufMinMaxDate, MergesTwoRunsByStampThenZeroSlots) {
  TestRing ring(73, 2);  // 18 slots
  ring.PutRun(0, {At(10, 0), At(10, 5), At(10, 10), At(10, 3), At(10, 7)});
  const IntervalList list = ring.Analyse();
  ASSERT_EQ(list.ItemCount, 2u);
  const Outcome out = ExpectSameAsLiteral(ring, list);
  EXPECT_EQ(SlotStamps(ring, out), (std::vector<std::uint32_t>{At(10, 0), At(10, 3), At(10, 5), At(10, 7), At(10, 10)}));
  for (std::uint32_t s = 5; s < 18; ++s) {
    const std::uint8_t* slot = out.Buffer.data() + ring.Ring.Offset(ring.PositionOf(s));
    EXPECT_TRUE(std::all_of(slot, slot + 26, [](std::uint8_t b) { return b == 0; })) << s;
  }
  EXPECT_EQ(out.Progress.back(), 5u * 100 / 18);  // 27: some slots stayed empty
}

TEST(SortirBufMinMaxDate, EqualStampsGoToTheRunListedFirst) {
  TestRing ring(74, 1);
  ring.Put(0, At(10, 0));
  ring.Put(1, At(10, 5), Damage::kNone, 1);
  ring.Put(2, At(10, 6));
  ring.Put(3, At(10, 5), Damage::kNone, 2);  // run B
  ring.Put(4, At(10, 7));
  const Outcome out = ExpectSameAsLiteral(ring, ring.Analyse());
  EXPECT_EQ(SlotStamps(ring, out),
            (std::vector<std::uint32_t>{At(10, 0), At(10, 5), At(10, 5), At(10, 6), At(10, 7)}));
  EXPECT_EQ(TagOfSlot(ring, out, 1), 1);
  EXPECT_EQ(TagOfSlot(ring, out, 2), 2);
}

TEST(SortirBufMinMaxDate, CellWithoutStampFollowsTheCellOfItsRun) {
  TestRing ring(76, 1);
  ring.PutRun(0, {At(10, 0), At(10, 5), At(10, 10), At(10, 3)});
  ring.Put(4, 0, Damage::kNone, 9);
  ring.Put(5, At(9, 0), Damage::kChecksum);
  ring.Put(6, 0xFFFFFFFFu, Damage::kNone, 8);
  ring.Put(7, At(10, 7));
  const Outcome out = ExpectSameAsLiteral(ring, ring.Analyse());
  EXPECT_EQ(SlotStamps(ring, out), (std::vector<std::uint32_t>{At(10, 0), At(10, 3), 0, 0xFFFFFFFFu, At(10, 5),
                                                               At(10, 7), At(10, 10)}));
  EXPECT_EQ(TagOfSlot(ring, out, 2), 9);
}

TEST(SortirBufMinMaxDate, RunFromTheLastCellOfTheLastPageWrapsToTheFirstPage) {
  TestRing ring(89, 2);  // 6 slots; run B starts in slot 5 and goes on in slots 0 and 1
  ring.PutRun(2, {At(10, 0), At(10, 2), At(10, 4), At(10, 1), At(10, 3), At(10, 5)});
  const IntervalList list = ring.Analyse();
  ASSERT_EQ(list.ItemCount, 2u);
  EXPECT_EQ((CellPosition{list.Entries[1].FirstPage, list.Entries[1].FirstCell}), (CellPosition{1, 2}));
  const Outcome out = ExpectSameAsLiteral(ring, list);
  EXPECT_EQ(SlotStamps(ring, out),
            (std::vector<std::uint32_t>{At(10, 0), At(10, 1), At(10, 2), At(10, 3), At(10, 4), At(10, 5)}));
  EXPECT_EQ(out.Progress.back(), 100u);
}

TEST(SortirBufMinMaxDate, EmptyListWritesOnlyZeroSlots) {
  TestRing ring(75, 2);
  ring.PutRun(0, {At(10, 0), At(10, 1)});
  IntervalList list;
  const Outcome out = ExpectSameAsLiteral(ring, list);
  EXPECT_EQ(out.Written, 0u);
  EXPECT_EQ(out.Progress, (std::vector<std::uint32_t>{0}));
}

/// A ring of random cells: stamps from a small clock (many equal stamps across runs) that jumps back
/// now and then, with damaged cells, erased cells and cells without a stamp in between.
TestRing RandomRing(std::uint16_t type, std::uint32_t pages, double back_chance, std::mt19937& rng) {
  TestRing ring(type, pages);
  std::uniform_real_distribution<double> unit(0, 1);
  std::uint32_t clock = 100000;
  for (std::uint32_t s = 0; s < ring.Ring.TotalCells(); ++s) {
    const double r = unit(rng);
    const auto tag = static_cast<std::uint8_t>(rng());
    if (r < 0.04) continue;  // erased
    if (r < 0.12) {
      ring.Put(s, 0x38000000 + static_cast<std::uint32_t>(rng() % 1000), static_cast<Damage>(1 + rng() % 3), tag);
    } else if (r < 0.18) {
      ring.Put(s, 0, Damage::kNone, tag);
    } else if (r < 0.22) {
      ring.Put(s, 0xFFFFFFFFu, Damage::kNone, tag);
    } else {
      if (unit(rng) < back_chance) {
        clock -= std::min<std::uint32_t>(clock - 1, 1 + rng() % 60);
      } else {
        clock += rng() % 3;
      }
      ring.Put(s, 0x38000000 + clock, Damage::kNone, tag);
    }
  }
  return ring;
}

TEST(SortirBufMinMaxDate, SameAsTheSelectionRuleOnRandomRings) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 150; ++round) {
    const DeviceProfile& profile = kDeviceProfiles[static_cast<std::size_t>(round) % kDeviceProfiles.size()];
    const auto pages = static_cast<std::uint32_t>(1 + rng() % 12);
    const double back_chance = round % 3 == 0 ? 0.5 : 0.08;
    TestRing ring = RandomRing(profile.DeviceType, pages, back_chance, rng);
    // Mostly from the earliest cell, as the scan starts it; sometimes from anywhere, so that a run may
    // begin with a cell without a stamp.
    const CellPosition start =
        round % 4 == 3 ? ring.PositionOf(static_cast<std::uint32_t>(rng())) : ring.MinDateCell();
    const IntervalList list = ring.AnalyseFrom(start);
    SCOPED_TRACE(::testing::Message() << "round " << round << ", type " << profile.DeviceType << ", runs "
                                      << list.ItemCount);
    ExpectSameAsLiteral(ring, list);

    // Damaged cells at the ends of runs (the block changed after the analysis).
    if (list.ItemCount == 0) continue;
    for (int i = 0; i < 3; ++i) {
      const IntervalEntry& e = list.Entries[rng() % list.ItemCount];
      const CellPosition end = rng() % 2 ? CellPosition{e.LastPage, e.LastCell} : CellPosition{e.FirstPage, e.FirstCell};
      ring.CellAt(end)[ring.Ring.CellSize - 1] ^= 0x40;
    }
    ExpectSameAsLiteral(ring, list);
  }
}

TEST(SortirBufMinMaxDate, SameAsTheSelectionRuleWithTheListFrozen) {
  std::mt19937 rng(7);
  TestRing ring = RandomRing(76, 90, 0.9, rng);  // 1710 cells, well over 1000 backward steps
  const IntervalList list = ring.Analyse();
  ASSERT_EQ(list.ItemCount, 999u);
  const Outcome out = ExpectSameAsLiteral(ring, list);
  EXPECT_LT(out.Written, ring.Ring.TotalCells());
}

TEST(SortirBufMinMaxDate, SameAsTheSelectionRuleOnGeneratedArchives) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    ar4gen::GeneratorOptions options;
    options.Seed = seed;
    options.Header.DeviceType = kDeviceProfiles[seed % kDeviceProfiles.size()].DeviceType;
    options.Header.PageCount = static_cast<std::uint32_t>(2 + seed * 3);
    options.WrapSlot = static_cast<std::uint32_t>(seed * 7);
    if (seed % 2 == 0) options.FilledCells = static_cast<std::uint32_t>(seed * 5);
    options.StepSeconds = 1;
    options.SetBacks = static_cast<std::uint32_t>(seed * 2);
    options.MarkerDamage = options.LengthDamage = options.ChecksumDamage = 0.03;
    options.ZeroStamps = options.AllOnesStamps = 0.05;
    options.EqualStamps = 0.2;
    const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
    TestRing ring(options.Header.DeviceType, options.Header.PageCount);
    std::copy(file.begin() + kHeaderSize, file.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + ring.Block.size()),
              ring.Block.begin());
    const IntervalList list = ring.Analyse();
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", runs " << list.ItemCount);
    ExpectSameAsLiteral(ring, list);
  }
}

}  // namespace
}  // namespace ar4
