#include "core/interval/overlap.hpp"

#include <bit>

#include "core/archive/codecs.hpp"

namespace ar4 {

std::string IntervalItemText(const IntervalEntry& entry) {
  std::string text;
  text.reserve(kIntervalItemTextLength);
  text.append("   ");
  AppendPackedToText(text, entry.FirstStamp);
  text.append("    -    ");
  AppendPackedToText(text, entry.LastStamp);
  return text;
}

void AnalizInterval(const std::uint8_t* main_block, const RingGeometry& ring, CellPosition start_position,
                    IntervalList& list, Pacer& pacer, const std::uint32_t* valid_masks) {
  list.ItemCount = 0;
  // A start outside the ring would never be met again; nothing can be analysed from there.
  if (start_position.Page >= ring.PageCount || start_position.Cell >= ring.CellsPerPage) return;

  // prev starts as whatever stamp the start cell holds, counted or not; the scan puts the start on the
  // MinDate cell, so in practice it is the earliest stamp.
  std::uint32_t prev = CellStamp(main_block + ring.Offset(start_position));

  IntervalEntry& first = list.Entries[0];
  first.FirstPage = first.LastPage = start_position.Page;
  first.FirstCell = first.LastCell = start_position.Cell;
  first.FirstStamp = first.LastStamp = prev;

  std::uint32_t d = 0;  // backward steps so far, also the index of the run being built
  std::uint32_t c = 0;  // counted cells
  // One intact cell with time stamp t at pos, in walk order.
  const auto count = [&](CellPosition pos, std::uint32_t t) {
    ++c;
    if (t < prev) {
      // The clock went back: the run being built ends with prev, a new one starts here. At the
      // 1000th step the list freezes: no item for the open run, no further entry.
      ++d;
      if (d < kIntervalListCapacity) {
        ++list.ItemCount;  // item d - 1 describes entry d - 1, whose last stamp is prev
        IntervalEntry& entry = list.Entries[d];
        entry.FirstPage = entry.LastPage = pos.Page;
        entry.FirstCell = entry.LastCell = pos.Cell;
        entry.FirstStamp = entry.LastStamp = t;
      }
    } else if (d < kIntervalListCapacity) {
      IntervalEntry& entry = list.Entries[d];
      entry.LastPage = pos.Page;
      entry.LastCell = pos.Cell;
      entry.LastStamp = t;
    }
    prev = t;
  };

  if (valid_masks != nullptr && ring.CellsPerPage <= 32 && ring.CellsPerPage == kPageSize / ring.CellSize) {
    // The scan's masks tell the intact cells: the walk goes page by page over the set bits only, in the
    // order of the successor rule (the start page from the start cell, the pages after it, round the
    // wrap, and the start page's cells before the start cell last).
    const std::uint32_t all = ring.CellsPerPage == 32 ? ~0u : (1u << ring.CellsPerPage) - 1u;
    const auto visit = [&](std::uint32_t page, std::uint32_t cells) {
      const std::uint8_t* page_bytes = main_block + std::size_t{page} * kPageSize;
      for (; cells != 0; cells &= cells - 1) {
        const auto cell = static_cast<std::uint32_t>(std::countr_zero(cells));
        const std::uint32_t t = CellStamp(page_bytes + std::size_t{cell} * ring.CellSize);
        if (HasTimeStamp(t)) count({page, cell}, t);
      }
      pacer.Step();
    };
    const std::uint32_t start_page = start_position.Page;
    const std::uint32_t before_start = (1u << start_position.Cell) - 1u;
    visit(start_page, valid_masks[start_page] & all & ~before_start);
    for (std::uint32_t p = start_page + 1; p < ring.PageCount; ++p) visit(p, valid_masks[p] & all);
    for (std::uint32_t p = 0; p < start_page; ++p) visit(p, valid_masks[p] & all);
    visit(start_page, valid_masks[start_page] & before_start);
  } else {
    CellPosition pos = start_position;
    do {
      const std::uint8_t* cell_bytes = main_block + ring.Offset(pos);
      const std::uint32_t t = CellStamp(cell_bytes);
      if (HasTimeStamp(t) && IsCellIntact(cell_bytes, ring.CellSize)) count(pos, t);
      pos = ring.Next(pos);
      pacer.Step();
    } while (pos != start_position);
  }

  if (d < kIntervalListCapacity && c > 0) ++list.ItemCount;
}

}  // namespace ar4
