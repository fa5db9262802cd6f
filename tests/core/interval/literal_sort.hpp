#pragma once
/// The re-ordering by date exactly as its selection rule reads, one pass over all runs per selection.
/// Slow (cells x runs) but plain: the reference the fast merge is compared with.

#include <cstdint>
#include <functional>

#include "core/archive/format.hpp"
#include "core/interval/overlap.hpp"

namespace ar4::testing {

/// Same contract as SortirBufMinMaxDate; `progress` is called after every selection pass.
std::uint32_t LiteralSort(const std::uint8_t* main_block, std::uint8_t* sort_buffer, const RingGeometry& ring,
                          IntervalList& list, const std::function<void(std::uint32_t)>& progress);

}  // namespace ar4::testing
