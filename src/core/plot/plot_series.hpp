#pragma once
/// The measurements of a selection as series over a linear time axis, for plotting. Gathered by the same
/// walk as the export (from StartPosition to EndPosition, the same validity test and time bounds), so the
/// rows are exactly the records a conversion of the same bounds writes, in the same order. Also filled
/// from a converted folder (plot/converted_folder).

#include <cstdint>
#include <limits>
#include <vector>

#include "core/archive/format.hpp"
#include "core/plot/decimation.hpp"
#include "core/interval/bounds.hpp"

namespace ar4 {

/// A flagged value: the record carries a status code in place of a value.
struct FlaggedValue {
  std::uint32_t Row = 0;
  std::uint8_t Channel = 0;
  std::uint8_t Status = 0;  // the status byte of the record (never 0)
};

/// The auxiliary values of one type-89 cell, for the rows of its samples.
struct CellAux {
  std::uint32_t FirstRow = 0;
  std::uint8_t A = 0;
  std::uint8_t B = 0;
  float C = 0;
  float D = 0;
};

inline constexpr float kGapValue = std::numeric_limits<float>::quiet_NaN();

struct PlotSeries {
  std::uint32_t Channels = 0;
  std::uint32_t Relays = 0;
  bool Samples = false;  // type 89: the rows are the samples of the cells, at their own times

  /// Seconds since 1 January 2000 00:00:00, one per row (a record of every channel file).
  std::vector<double> Times;
  /// Values[g][row]; kGapValue (a NaN) where the record is flagged.
  std::vector<std::vector<float>> Values;
  /// Bit r: relay r + 1 on, one byte per row (types 73..76).
  std::vector<std::uint8_t> RelayBits;
  /// The flagged records in row order.
  std::vector<FlaggedValue> Flagged;
  /// First row of every stretch of non-decreasing time; a new stretch begins where the time steps back.
  std::vector<std::uint32_t> StretchStarts;
  /// Type 89: one entry per exported cell, in row order; AuxTimes/AuxStretches are its time axis.
  std::vector<CellAux> Aux;
  std::vector<double> AuxTimes;
  std::vector<std::uint32_t> AuxStretches;
  /// Block summaries of every trace (SummariseSeries): Values[g], relay r, aux C and D.
  std::vector<BlockSummary> ValueBlocks, RelayBlocks, AuxBlocks;
  /// The earliest and the latest time of any row (0 when there is none).
  double EarliestTime = 0, LatestTime = 0;

  std::uint32_t Rows() const { return static_cast<std::uint32_t>(Times.size()); }
  void Clear();
};

/// Seconds since 1 January 2000 of a PackedDateTime. The fields are taken as they stand, also beyond the
/// calendar (month 13 counts as January of the next year), so every stamp has a place on the axis.
double PackedToSeconds(std::uint32_t stamp);
/// The same for the unpacked fields of a TimeRecord (year - 2000, month, day, hour, minute, second).
double FieldsToSeconds(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                       std::int64_t minute, std::int64_t second);
/// The stamp of a time on the axis (whole seconds, the fraction dropped); 0xFFFFFFFF outside 2000..2063.
std::uint32_t SecondsToPacked(double seconds);

/// The rows of the export walk over `bounds`: every intact cell whose stamp lies within the bounds, each
/// type-89 sample at the cell's time plus its index times the sample interval (1/8 second for byte 6 = 0).
/// Throws std::invalid_argument when the profile, ring and bounds do not fit together.
void GatherPlotSeries(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                      const ExportBounds& bounds, PlotSeries& out);

/// Cuts the rows into stretches of non-decreasing time (out.StretchStarts from out.Times; the same for Aux).
void FindStretches(PlotSeries& out);
/// The block summaries of every trace and the time range, after FindStretches (the gathering and the
/// folder reader do both, so a viewer can do this work away from its window).
void SummariseSeries(PlotSeries& out);

}  // namespace ar4
