#pragma once
/// Decimation of a series for a plot: for a time window and a width in pixels, each pixel column's first,
/// smallest, largest and last value, in one pass over the rows in the window. Drawn as a line from the last
/// value of a column to the first of the next and a stroke from the smallest to the largest value within a
/// column, it looks the same as every point drawn, steps and gaps included. A flagged value (NaN) breaks the
/// line; a step back in time starts a stretch of its own, never joined to the one before.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace ar4 {

/// Rows' times (non-decreasing within each stretch) and the first row of every stretch.
struct TimeAxis {
  std::span<const double> Times;
  std::span<const std::uint32_t> StretchStarts;
};

struct DecimationWindow {
  double From = 0;  // the left edge of column 0
  double To = 1;    // the right edge of column Width - 1 (> From)
  std::uint32_t Width = 1;
};

/// Consecutive valid rows of one stretch that fall into one column.
struct ColumnSpan {
  std::int32_t Column = 0;  // -1: the last row before the window; Width: the first row after it
  bool Joined = false;      // the row before it is valid and of the same stretch: draw a line from there
  float First = 0, Min = 0, Max = 0, Last = 0;
  std::uint32_t FirstRow = 0, LastRow = 0;
};

/// The first of consecutive flagged rows of a stretch within one column.
struct GapMark {
  std::int32_t Column = 0;
  std::uint32_t Row = 0;
};

struct Decimated {
  std::vector<ColumnSpan> Spans;  // stretch by stretch, in row order
  std::vector<GapMark> Gaps;
  void Clear() {
    Spans.clear();
    Gaps.clear();
  }
};

/// A trace summarised in blocks of Rows consecutive rows (block b: rows b x Rows .. b x Rows + Rows - 1), so
/// that a wide window takes a whole block at a time where it falls into one column. A block that holds a
/// flagged value or the start of a stretch is marked and always taken row by row.
struct BlockSummary {
  struct Block {
    float First = 0, Min = 0, Max = 0, Last = 0;
    bool RowByRow = true;
  };
  std::uint32_t Rows = 64;
  std::vector<Block> Blocks;
};

/// The summary of a trace for `axis` (its stretch starts) and `value_at(row)` (NaN when flagged).
template <class ValueAt>
BlockSummary SummariseBlocks(const TimeAxis& axis, ValueAt&& value_at, std::uint32_t rows_per_block = 64) {
  BlockSummary summary;
  summary.Rows = std::max<std::uint32_t>(rows_per_block, 2);
  const std::size_t rows = axis.Times.size();
  summary.Blocks.resize(rows / summary.Rows);  // a last, partial block is always taken row by row
  std::size_t next_start = 1;  // stretch starts at row 0 never split a block
  for (std::size_t b = 0; b < summary.Blocks.size(); ++b) {
    const std::size_t first = b * summary.Rows, last = first + summary.Rows;
    BlockSummary::Block& block = summary.Blocks[b];
    while (next_start < axis.StretchStarts.size() && axis.StretchStarts[next_start] <= first) ++next_start;
    const bool split = next_start < axis.StretchStarts.size() && axis.StretchStarts[next_start] < last;
    bool gap = false;
    float lo = 0, hi = 0;
    for (std::size_t row = first; row < last; ++row) {
      const float v = value_at(static_cast<std::uint32_t>(row));
      if (std::isnan(v)) {
        gap = true;
        break;
      }
      if (row == first) lo = hi = v;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    block.RowByRow = split || gap;
    if (!block.RowByRow) {
      block.First = value_at(static_cast<std::uint32_t>(first));
      block.Last = value_at(static_cast<std::uint32_t>(last - 1));
      block.Min = lo;
      block.Max = hi;
    }
  }
  return summary;
}

/// The column of a time: -1 before the window, Width from its right edge on.
inline std::int32_t ColumnOf(double time, const DecimationWindow& window) {
  if (time < window.From) return -1;
  if (time >= window.To) return static_cast<std::int32_t>(window.Width);
  const double scale = window.Width / (window.To - window.From);
  return std::min(static_cast<std::int32_t>((time - window.From) * scale), static_cast<std::int32_t>(window.Width) - 1);
}

/// The rows of stretch `k` that the window shows: those inside it and one on either side.
inline void VisibleRows(const TimeAxis& axis, std::size_t k, const DecimationWindow& window, std::uint32_t& begin,
                        std::uint32_t& end) {
  const std::uint32_t first = axis.StretchStarts[k];
  const std::uint32_t last =
      k + 1 < axis.StretchStarts.size() ? axis.StretchStarts[k + 1] : static_cast<std::uint32_t>(axis.Times.size());
  const double* base = axis.Times.data();
  const auto lo = static_cast<std::uint32_t>(std::lower_bound(base + first, base + last, window.From) - base);
  const auto hi = static_cast<std::uint32_t>(std::lower_bound(base + lo, base + last, window.To) - base);
  begin = lo > first ? lo - 1 : first;
  end = hi < last ? hi + 1 : last;
}

/// Appends the window's spans and gap marks to `out`. `value_at(row)` gives a row's value, NaN when
/// flagged. With `blocks` (the trace's SummariseBlocks), a block whose rows all fall into one column is
/// taken whole; the result is the same as row by row.
template <class ValueAt>
void Decimate(const TimeAxis& axis, const DecimationWindow& window, ValueAt&& value_at, Decimated& out,
              const BlockSummary* blocks = nullptr) {
  if (window.Width == 0 || !(window.To > window.From)) return;
  const double scale = window.Width / (window.To - window.From);
  const auto width = static_cast<std::int32_t>(window.Width);
  for (std::size_t k = 0; k < axis.StretchStarts.size(); ++k) {
    std::uint32_t begin = 0, end = 0;
    VisibleRows(axis, k, window, begin, end);
    ColumnSpan* open = nullptr;   // the span being built
    bool previous_valid = false;  // the row before is valid (of this stretch)
    std::int32_t gap_column = -2; // column of the gap the row before belongs to, -2 when none
    const auto column_of = [&](double t) {
      if (t < window.From) return std::int32_t{-1};
      if (t >= window.To) return width;
      return std::min(static_cast<std::int32_t>((t - window.From) * scale), width - 1);
    };
    for (std::uint32_t row = begin; row < end; ++row) {
      const std::int32_t column = column_of(axis.Times[row]);
      if (blocks != nullptr && row % blocks->Rows == 0 && row / blocks->Rows < blocks->Blocks.size() &&
          row + blocks->Rows <= end) {
        const BlockSummary::Block& block = blocks->Blocks[row / blocks->Rows];
        const std::uint32_t last = row + blocks->Rows - 1;
        if (!block.RowByRow && column_of(axis.Times[last]) == column) {
          // Every row of the block is valid and in this column (the times do not decrease within it).
          if (open != nullptr && open->Column == column) {
            open->Min = std::min(open->Min, block.Min);
            open->Max = std::max(open->Max, block.Max);
            open->Last = block.Last;
            open->LastRow = last;
          } else {
            out.Spans.push_back({column, previous_valid, block.First, block.Min, block.Max, block.Last, row, last});
            open = &out.Spans.back();
          }
          previous_valid = true;
          gap_column = -2;
          row = last;
          continue;
        }
      }
      const float v = value_at(row);
      if (std::isnan(v)) {
        if (gap_column != column) out.Gaps.push_back({column, row});
        gap_column = column;
        open = nullptr;
        previous_valid = false;
        continue;
      }
      gap_column = -2;
      if (open != nullptr && open->Column == column) {
        open->Min = std::min(open->Min, v);
        open->Max = std::max(open->Max, v);
        open->Last = v;
        open->LastRow = row;
      } else {
        out.Spans.push_back({column, previous_valid, v, v, v, v, row, row});
        open = &out.Spans.back();
      }
      previous_valid = true;
    }
  }
}

/// The envelope of a trace whose stretches are too many to draw as lines (samples of neighbouring cells
/// that overlap in time, or a clock set back every few cells): each column's smallest and largest value
/// over every row inside the window, in one pass over all rows, as one span per column (never joined);
/// the first flagged row of each column as its gap mark.
template <class ValueAt>
void DecimateEnvelope(std::span<const double> times, const DecimationWindow& window, ValueAt&& value_at,
                      Decimated& out) {
  if (window.Width == 0 || !(window.To > window.From)) return;
  struct Column {
    bool Any = false;
    float Min = 0, Max = 0;
    std::uint32_t FirstRow = 0, LastRow = 0;
    bool Gap = false;
    std::uint32_t GapRow = 0;
  };
  std::vector<Column> columns(window.Width);
  const double scale = window.Width / (window.To - window.From);
  const auto width = static_cast<std::int32_t>(window.Width);
  for (std::uint32_t row = 0; row < times.size(); ++row) {
    const double t = times[row];
    if (!(t >= window.From) || t >= window.To) continue;
    Column& c = columns[static_cast<std::size_t>(std::min(static_cast<std::int32_t>((t - window.From) * scale), width - 1))];
    const float v = value_at(row);
    if (std::isnan(v)) {
      if (!c.Gap) c.GapRow = row;
      c.Gap = true;
      continue;
    }
    if (!c.Any) {
      c.Any = true;
      c.Min = c.Max = v;
      c.FirstRow = row;
    } else {
      c.Min = std::min(c.Min, v);
      c.Max = std::max(c.Max, v);
    }
    c.LastRow = row;
  }
  for (std::int32_t k = 0; k < width; ++k) {
    const Column& c = columns[static_cast<std::size_t>(k)];
    if (c.Any) out.Spans.push_back({k, false, c.Min, c.Min, c.Max, c.Max, c.FirstRow, c.LastRow});
    if (c.Gap) out.Gaps.push_back({k, c.GapRow});
  }
}

}  // namespace ar4
