#pragma once
/// A small in-memory main block for the interval tests, filled cell by cell with the generator's writer.

#include <cstdint>
#include <vector>

#include "ar4gen/generator.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/format.hpp"
#include "core/interval/overlap.hpp"

namespace ar4::testing {

/// hh:mm:ss on 1 February 2014.
inline std::uint32_t At(std::uint32_t hour, std::uint32_t minute, std::uint32_t second = 0) {
  return PackDate(1, 2, 2014) | (hour << 12) | (minute << 6) | second;
}

struct TestRing {
  TestRing(std::uint16_t device_type, std::uint32_t page_count)
      : Profile(*FindDeviceProfile(device_type)),
        Ring(RingGeometry::Of(Profile, page_count)),
        Block(std::size_t{page_count} * kPageSize, 0xFF) {}

  CellPosition PositionOf(std::uint32_t slot) const {
    slot %= Ring.TotalCells();
    return {slot / Ring.CellsPerPage, slot % Ring.CellsPerPage};
  }
  std::uint8_t* CellAt(CellPosition pos) { return Block.data() + Ring.Offset(pos); }

  /// Writes one cell; `tag` goes into byte 6 (relays or sample interval) so equal stamps stay apart.
  void Put(std::uint32_t slot, std::uint32_t stamp, ar4gen::Damage damage = ar4gen::Damage::kNone,
           std::uint8_t tag = 0) {
    ar4gen::CellContent content;
    content.Stamp = stamp;
    content.Relays = tag;
    content.SampleInterval = tag;
    ar4gen::WriteCell(CellAt(PositionOf(slot)), Profile, content, damage);
  }
  /// Consecutive slots from `first` (wrapping round the ring); returns the slot after the last one.
  std::uint32_t PutRun(std::uint32_t first, const std::vector<std::uint32_t>& stamps) {
    for (const std::uint32_t stamp : stamps) Put(first++, stamp);
    return first;
  }

  /// The cell the validation scan starts the analysis at: the smallest stamp other than 0 (0xFFFFFFFF
  /// never wins) of an intact cell, the first one in address order; (0, 0) when there is none.
  CellPosition MinDateCell() const {
    std::uint32_t min_date = 0xFFFFFFFFu;
    CellPosition start;
    for (std::uint32_t s = 0; s < Ring.TotalCells(); ++s) {
      const std::uint8_t* cell = Block.data() + Ring.Offset(PositionOf(s));
      const std::uint32_t t = CellStamp(cell);
      if (IsCellIntact(cell, Ring.CellSize) && t != 0 && t < min_date) {
        min_date = t;
        start = PositionOf(s);
      }
    }
    return start;
  }

  IntervalList Analyse() const { return AnalyseFrom(MinDateCell()); }
  IntervalList AnalyseFrom(CellPosition start) const {
    IntervalList list;
    Pacer pacer;
    AnalizInterval(Block.data(), Ring, start, list, pacer);
    return list;
  }

  const DeviceProfile& Profile;
  RingGeometry Ring;
  std::vector<std::uint8_t> Block;
};

}  // namespace ar4::testing
