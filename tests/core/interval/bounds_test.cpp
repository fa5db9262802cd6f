#include "core/interval/bounds.hpp"

#include <stdexcept>

#include <gtest/gtest.h>

#include "core/archive/codecs.hpp"

namespace ar4 {
namespace {

IntervalList ListWith(const IntervalEntry& entry) {
  IntervalList list;
  list.Entries[0] = entry;
  list.ItemCount = 1;
  return list;
}

TEST(ListModeBounds, RunStampsAndTheCellAfterItsLastOne) {
  const RingGeometry ring = RingGeometry::Of(*FindDeviceProfile(89), 4);  // 3 cells a page
  IntervalEntry entry;
  entry.FirstPage = 1;
  entry.FirstCell = 2;
  entry.FirstStamp = 0x38000000;
  entry.LastStamp = 0x38001000;
  struct Case {
    CellPosition Last, End;
  };
  for (const Case& c : {Case{{2, 0}, {2, 1}}, Case{{2, 2}, {3, 0}}, Case{{3, 2}, {0, 0}}}) {
    entry.LastPage = c.Last.Page;
    entry.LastCell = c.Last.Cell;
    const ExportBounds b = ListModeBounds(ListWith(entry), 0, ring);
    EXPECT_EQ(b.StartPosition, (CellPosition{1, 2}));
    EXPECT_EQ(b.EndPosition, c.End);
    EXPECT_EQ(b.StartStamp, 0x38000000u);
    EXPECT_EQ(b.EndStamp, 0x38001000u);
  }
  // A single-cell run ends right after its one cell.
  entry.LastPage = 1;
  entry.LastCell = 2;
  EXPECT_EQ(ListModeBounds(ListWith(entry), 0, ring).EndPosition, (CellPosition{2, 0}));
  EXPECT_THROW(ListModeBounds(ListWith(entry), kIntervalListCapacity, ring), std::out_of_range);
}

TEST(DateRangeBounds, WholeDaysFromTheEarliestCell) {
  IntervalEntry entry;
  entry.FirstPage = 7;
  entry.FirstCell = 3;
  entry.LastPage = 9;
  const IntervalList list = ListWith(entry);

  const ExportBounds defaults = DateRangeBounds(list, {1, 1, 2014}, {31, 12, 2063});
  EXPECT_EQ(defaults.StartStamp, 0x38000000u);
  EXPECT_EQ(defaults.EndStamp, 0xFEFD7EFBu);
  EXPECT_EQ(defaults.StartPosition, (CellPosition{7, 3}));
  EXPECT_EQ(defaults.EndPosition, (CellPosition{7, 3}));

  EXPECT_EQ(DateRangeBounds(list, {1, 1, 2000}, {1, 1, 2000}).StartStamp, 0u);

  // 31 February: after every February stamp, before 1 March.
  const std::uint32_t end = DateRangeBounds(list, {1, 1, 2016}, {31, 2, 2016}).EndStamp;
  EXPECT_GT(end, PackDate(29, 2, 2016) | 0x17EFBu);
  EXPECT_LT(end, PackDate(1, 3, 2016));

  // A start after the end is kept as it is; it lets no cell through.
  const ExportBounds reversed = DateRangeBounds(list, {2, 1, 2020}, {1, 1, 2020});
  EXPECT_GT(reversed.StartStamp, reversed.EndStamp);
}

}  // namespace
}  // namespace ar4
