#pragma once
/// Re-ordering by date: the runs of the overlap list merged by time stamp into the SortBuffer.

#include <cstdint>
#include <functional>

#include "core/archive/format.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"

namespace ar4 {

/// Called with the progress text's number (slots written x 100 div TotalCells) after each selection;
/// the front-end shows it followed by "%".
using SortProgress = std::function<void(std::uint32_t percent)>;

/// Merges the first list.ItemCount runs of `main_block` into `sort_buffer` (same layout), zero-fills the
/// slots after the last written one and returns the number of cells written. Does not change `main_block`;
/// uses the cursors and Active fields of the list's entries. `valid_masks`, when given, are the validation
/// scan's masks of this very `main_block` (see ValidationScan): they tell the intact cells, so no check
/// byte is computed again.
std::uint32_t SortirBufMinMaxDate(const std::uint8_t* main_block, std::uint8_t* sort_buffer,
                                  const RingGeometry& ring, IntervalList& list, const SortProgress& progress,
                                  Pacer& pacer, const std::uint32_t* valid_masks = nullptr);

}  // namespace ar4
