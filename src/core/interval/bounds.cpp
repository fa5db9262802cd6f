#include "core/interval/bounds.hpp"

#include <stdexcept>

#include "core/archive/codecs.hpp"

namespace ar4 {

namespace {
// 23:59:59 in the hour, minute and second fields of a PackedDateTime.
constexpr std::uint32_t kEndOfDay = 0x17EFB;
}  // namespace

ExportBounds ListModeBounds(const IntervalList& list, std::uint32_t item, const RingGeometry& ring) {
  // The dialog only offers items of the list; anything past the fixed array is a caller's error.
  if (item >= kIntervalListCapacity) throw std::out_of_range("interval item beyond the list");
  const IntervalEntry& entry = list.Entries[item];
  ExportBounds bounds;
  bounds.StartStamp = entry.FirstStamp;
  bounds.EndStamp = entry.LastStamp;
  bounds.StartPosition = {entry.FirstPage, entry.FirstCell};
  // The walk stops right after the run's last cell with a time stamp.
  bounds.EndPosition = ring.Next({entry.LastPage, entry.LastCell});
  return bounds;
}

ExportBounds DateRangeBounds(const IntervalList& list, DialogDate from, DialogDate to) {
  ExportBounds bounds;
  bounds.StartStamp = PackDate(from.Day, from.Month, from.Year);
  bounds.EndStamp = PackDate(to.Day, to.Month, to.Year) | kEndOfDay;
  // The whole ring once, from the MinDate cell where entry 0 begins.
  const IntervalEntry& first = list.Entries[0];
  bounds.StartPosition = {first.FirstPage, first.FirstCell};
  bounds.EndPosition = bounds.StartPosition;
  return bounds;
}

}  // namespace ar4
