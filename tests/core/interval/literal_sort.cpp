#include "literal_sort.hpp"

#include <cstring>

#include "core/archive/codecs.hpp"

namespace ar4::testing {

std::uint32_t LiteralSort(const std::uint8_t* main_block, std::uint8_t* sort_buffer, const RingGeometry& ring,
                          IntervalList& list, const std::function<void(std::uint32_t)>& progress) {
  const std::uint32_t n = list.ItemCount;
  const std::uint32_t total = ring.TotalCells();
  const auto cell = [&](const IntervalEntry& e) { return main_block + ring.Offset({e.CursorPage, e.CursorCell}); };
  const auto intact = [&](const IntervalEntry& e) { return IsCellIntact(cell(e), ring.CellSize); };
  const auto stamp = [&](const IntervalEntry& e) { return CellStamp(cell(e)); };
  const auto at_last = [](const IntervalEntry& e) { return e.CursorPage == e.LastPage && e.CursorCell == e.LastCell; };
  const auto advance = [&](IntervalEntry& e) {
    if (++e.CursorCell == ring.CellsPerPage) {
      e.CursorCell = 0;
      if (++e.CursorPage == ring.PageCount) e.CursorPage = 0;
    }
  };
  std::uint32_t w = 0;
  const auto copy = [&](const IntervalEntry& e) {
    std::memcpy(sort_buffer + (w / ring.CellsPerPage) * kPageSize + (w % ring.CellsPerPage) * ring.CellSize, cell(e),
                ring.CellSize);
    ++w;
  };

  for (std::uint32_t k = 0; k < n; ++k) {
    IntervalEntry& e = list.Entries[k];
    e.CursorPage = e.FirstPage;
    e.CursorCell = e.FirstCell;
    e.Active = 1;
  }
  bool any_active = false;
  do {
    int chosen = -1;
    std::uint32_t chosen_stamp = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
      IntervalEntry& e = list.Entries[k];
      while (e.Active != 0 && !intact(e)) {
        if (at_last(e)) {
          e.Active = 0;
        } else {
          advance(e);
        }
      }
      if (e.Active == 0) continue;
      const std::uint32_t t = stamp(e);
      if (t == 0 || t == 0xFFFFFFFFu) {
        chosen = static_cast<int>(k);
        break;
      }
      if (chosen < 0 || t < chosen_stamp) {
        chosen = static_cast<int>(k);
        chosen_stamp = t;
      }
    }
    if (chosen >= 0) {
      IntervalEntry& e = list.Entries[static_cast<std::uint32_t>(chosen)];
      copy(e);
      if (at_last(e)) e.Active = 0;
      advance(e);
      while (e.Active != 0 && intact(e) && (stamp(e) == 0 || stamp(e) == 0xFFFFFFFFu)) {
        copy(e);
        if (at_last(e)) {
          e.Active = 0;
        } else {
          advance(e);
        }
      }
    }
    progress(static_cast<std::uint32_t>(std::uint64_t{w} * 100 / total));
    any_active = false;
    for (std::uint32_t k = 0; k < n; ++k) any_active = any_active || list.Entries[k].Active != 0;
  } while (any_active);
  for (std::uint32_t s = w; s < total; ++s) {
    std::memset(sort_buffer + (s / ring.CellsPerPage) * kPageSize + (s % ring.CellsPerPage) * ring.CellSize, 0,
                ring.CellSize);
  }
  return w;
}

}  // namespace ar4::testing
