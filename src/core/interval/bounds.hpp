#pragma once
/// The bounds of the export walk, from the interval dialog's choice.

#include <cstdint>

#include "core/archive/format.hpp"
#include "core/interval/overlap.hpp"

namespace ar4 {

struct ExportBounds {
  CellPosition StartPosition;
  CellPosition EndPosition;  // the walk stops when it comes back here (a full ring when equal to the start)
  std::uint32_t StartStamp = 0;
  std::uint32_t EndStamp = 0;
};

/// A day of the dialog's spin edits; no calendar check (31 February is allowed).
struct DialogDate {
  int Day = 1;
  int Month = 1;
  int Year = 2014;
};

/// ListMode: run k of the list, ending right after its last cell with a time stamp.
ExportBounds ListModeBounds(const IntervalList& list, std::uint32_t item, const RingGeometry& ring);

/// DateRangeMode: 00:00:00 of `from` to 23:59:59 of `to`, the whole ring from the MinDate cell (entry 0).
ExportBounds DateRangeBounds(const IntervalList& list, DialogDate from, DialogDate to);

}  // namespace ar4
