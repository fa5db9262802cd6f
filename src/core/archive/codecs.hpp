#pragma once
/// Time and value codecs of the archive: PackedDateTime, DeviceFloat, IEEE singles of the GRV-300,
/// the cell check byte and the ChainTracker. Free functions without state.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/archive/format.hpp"

namespace ar4 {

/// Two upper-case hexadecimal digits, high nibble first.
std::string ByteToHex(std::uint8_t byte);
/// Appends the two digits to `out` (no allocation when `out` has room).
void AppendByteToHex(std::string& out, std::uint8_t byte);

/// The instruments' 4-byte value: IEEE single bits stored most significant byte first, exponent saturated:
/// e = 0 gives +0.0, e = 254 and 255 are taken as 2^126. Never infinity or NaN.
double DeviceFloatToDouble(const std::uint8_t* bytes);

/// A GRV-300 value: a plain IEEE single stored least significant byte first, widened exactly.
double SingleToDouble(const std::uint8_t* bytes);

/// year - 2000, month, day, hour, minute, second; six 0xFF bytes for 0xFFFFFFFF. Not range-tested.
std::array<std::uint8_t, 6> PackedToFields(std::uint32_t stamp);

/// "DD.MM.YYYY    hh:mm:ss" (22 characters), or "----  ----" for 0xFFFFFFFF.
std::string PackedToText(std::uint32_t stamp);
/// Appends the same text to `out`.
void AppendPackedToText(std::string& out, std::uint32_t stamp);
inline constexpr std::size_t kPackedTextLength = 22;

/// OLE Automation date (days since 30 December 1899); 0.0 for 0xFFFFFFFF.
double PackedToDateTime(std::uint32_t stamp);

/// The packed stamp of an OLE Automation date (0xFFFFFFFF outside 2000..2063 or for 0.0) and its milliseconds.
struct PackedWithMilliseconds {
  std::uint32_t Stamp;
  std::uint32_t Milliseconds;
};
PackedWithMilliseconds DateTimeToPacked(double date_time);

/// 00:00:00 of the given day; each field is taken modulo its bit width, no calendar test.
std::uint32_t PackDate(int day, int month, int year);

/// The cell check byte: start at 1; add each byte modulo 256, then rotate left by one bit.
/// Inline: the validation scan runs it over every cell of a 32 MiB main block.
inline std::uint8_t CellChecksum(const std::uint8_t* bytes, std::size_t length) {
  std::uint8_t c = 1;
  for (std::size_t i = 0; i < length; ++i) c = std::rotl(static_cast<std::uint8_t>(c + bytes[i]), 1);
  return c;
}

/// The check bytes of `cells` cells of `cell_size` bytes lying one after the other (a page), computed side
/// by side: each check byte is a chain of dependent steps, and running the cells' chains together keeps the
/// processor busy. sums[c] is CellChecksum of the first cell_size - 1 bytes of cell c.
inline void CellChecksums(const std::uint8_t* first_cell, std::size_t cell_size, std::size_t cells,
                          std::uint8_t* sums) {
  for (std::size_t c = 0; c < cells; ++c) sums[c] = 1;
  for (std::size_t i = 0; i + 1 < cell_size; ++i) {
    for (std::size_t c = 0; c < cells; ++c) {
      sums[c] = std::rotl(static_cast<std::uint8_t>(sums[c] + first_cell[c * cell_size + i]), 1);
    }
  }
}

/// A cell is intact when marker, length and check byte all match.
inline bool IsCellIntact(const std::uint8_t* cell_bytes, std::uint8_t cell_size) {
  return cell_bytes[cell::kMarker] == cell::kMarkerValue && cell_bytes[cell::kLength] == cell_size &&
         CellChecksum(cell_bytes, cell_size - 1u) == cell_bytes[cell_size - 1u];
}

/// One step of the ChainTracker that counts gaps of invalid cells with valid cells on both sides.
/// States: 0 no valid cell yet, 1 in the first run of valid cells, 2 in a gap after valid cells,
/// 3 in a later run of valid cells; a valid cell in state 2 is a break.
inline void ChainStep(std::uint8_t& chain_state, bool cell_is_valid, std::uint32_t& chain_breaks) {
  if (cell_is_valid) {
    if (chain_state == 2) ++chain_breaks;
    chain_state = chain_state >= 2 ? 3 : 1;
  } else if (chain_state != 0) {
    chain_state = 2;
  }
}

}  // namespace ar4
