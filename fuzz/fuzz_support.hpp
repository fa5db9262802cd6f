#pragma once
// What the fuzz targets share: a check that aborts (so libFuzzer records the input) and the switch that
// lets mutated cells past their check byte, so that mutations reach the decoding.

#include <cstdint>
#include <cstdlib>

#include "core/archive/codecs.hpp"
#include "core/archive/format.hpp"

namespace ar4::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

/// Gives every cell with the right marker and length the check byte it should have.
inline void RecomputeCheckBytes(std::uint8_t* main_block, const RingGeometry& ring) {
  for (std::uint32_t p = 0; p < ring.PageCount; ++p) {
    for (std::uint32_t c = 0; c < ring.CellsPerPage; ++c) {
      std::uint8_t* cell = main_block + ring.Offset({p, c});
      if (cell[cell::kMarker] == cell::kMarkerValue && cell[cell::kLength] == ring.CellSize) {
        cell[ring.CellSize - 1] = CellChecksum(cell, ring.CellSize - 1u);
      }
    }
  }
}

}  // namespace ar4::fuzz
