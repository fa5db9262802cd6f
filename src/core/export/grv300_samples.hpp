#pragma once
/// What the ГРВ-300 listing shows of a cell beyond its values: the own time of each sample after the
/// first, and the auxiliary bytes. Shared by the export and the table, so both show the same.

#include <cstddef>
#include <cstdint>

#include "core/archive/codecs.hpp"

namespace ar4 {

/// An interval byte of 0 means 1/8 second.
inline constexpr double kGrv300EighthSecond = 1.0 / 691200.0;

/// The time between two samples of a cell, in days, from the cell's interval byte.
inline double Grv300SampleInterval(std::uint8_t interval_byte) {
  return interval_byte == 0 ? kGrv300EighthSecond : interval_byte / 86400.0;
}

/// The own time of sample `q` (counted from 0) of a cell whose first sample lies at `first_time`
/// (PackedToDateTime of the cell's stamp): to the millisecond, 0xFFFFFFFF outside 2000..2063. A cell
/// without a stamp (first time 0.0) gives every sample that nothing.
inline PackedWithMilliseconds Grv300SampleTime(double first_time, double interval, std::size_t q) {
  double sample_time = first_time;
  if (sample_time > 0.0) sample_time += static_cast<double>(q) * interval;
  return DateTimeToPacked(sample_time);
}

/// An auxiliary byte as listed: plus 48 modulo 256, read as a signed byte, its magnitude.
inline std::uint32_t Grv300AuxByteMagnitude(std::uint8_t byte) {
  const auto shifted = static_cast<std::int8_t>(static_cast<std::uint8_t>(byte + 48u));
  return static_cast<std::uint32_t>(shifted < 0 ? -static_cast<int>(shifted) : shifted);
}

}  // namespace ar4
