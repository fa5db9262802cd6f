#pragma once
/// The overlap analysis: one walk around the ring from the earliest cell, cut into runs at every
/// backward time step (the instrument's clock was set back).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/archive/format.hpp"
#include "core/pacer.hpp"

namespace ar4 {

inline constexpr std::size_t kIntervalListCapacity = 1000;
inline constexpr std::size_t kIntervalItemTextLength = 56;

/// One run of rising time stamps.
struct IntervalEntry {
  std::uint32_t FirstPage = 0;
  std::uint32_t FirstCell = 0;
  std::uint32_t LastPage = 0;   // the run's last cell with a time stamp
  std::uint32_t LastCell = 0;
  std::uint32_t CursorPage = 0;  // merge cursor of the re-ordering
  std::uint32_t CursorCell = 0;
  std::uint32_t Active = 0;
  std::uint32_t FirstStamp = 0;
  std::uint32_t LastStamp = 0;
};

/// The overlap list: a fixed array of 1000 entries, of which the first ItemCount are in use
/// (one item of the interval dialog's list per entry).
struct IntervalList {
  std::array<IntervalEntry, kIntervalListCapacity> Entries{};
  std::uint32_t ItemCount = 0;
};

/// Three blanks, the first stamp, "    -    ", the last stamp: 56 characters.
std::string IntervalItemText(const IntervalEntry& entry);

/// Walks the ring once from `start_position` and rewrites `list`. Damaged cells and cells without a
/// time stamp change nothing. At the 1000th backward step the list freezes with 999 items.
/// `valid_masks`, when given, are the masks of the validation scan of this very MainBlock (nothing
/// changed since): they tell the intact cells, so no check byte is computed again.
void AnalizInterval(const std::uint8_t* main_block, const RingGeometry& ring, CellPosition start_position,
                    IntervalList& list, Pacer& pacer, const std::uint32_t* valid_masks = nullptr);

}  // namespace ar4
