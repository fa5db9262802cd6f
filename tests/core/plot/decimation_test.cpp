// The decimation against a brute force over random series with gaps and steps back in time.

#include "core/plot/decimation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

#include "core/plot/plot_series.hpp"

namespace ar4 {
namespace {

struct RandomSeries {
  std::vector<double> Times;
  std::vector<float> Values;
  std::vector<std::uint32_t> Starts;
};

/// Rising times with equal neighbours, set-backs of random depth, flagged values in bursts.
RandomSeries MakeSeries(std::mt19937& random, std::size_t rows) {
  RandomSeries s;
  std::uniform_real_distribution<double> unit(0, 1);
  double t = 1000;
  float v = 0;
  bool flagged = false;
  for (std::size_t row = 0; row < rows; ++row) {
    const double u = unit(random);
    if (u < 0.01) t -= unit(random) * 500;                      // the clock set back
    else if (u < 0.1) t += 0;                                   // an equal stamp
    else t += unit(random) < 0.9 ? 1 : unit(random) * 50;      // a step or a pause
    if (unit(random) < 0.03) flagged = !flagged;
    v += static_cast<float>(unit(random) - 0.5);
    s.Times.push_back(t);
    s.Values.push_back(flagged ? kGapValue : v);
  }
  PlotSeries series;
  series.Times = s.Times;
  FindStretches(series);
  s.Starts = series.StretchStarts;
  return s;
}

/// Every row in order, the stretch cut where the time falls, grouped by the rules of a plot.
Decimated BruteForce(const RandomSeries& s, const DecimationWindow& w) {
  Decimated out;
  std::size_t row = 0;
  while (row < s.Times.size()) {
    std::size_t end = row + 1;
    while (end < s.Times.size() && s.Times[end] >= s.Times[end - 1]) ++end;
    // Rows inside the window, and the one before and the one after.
    std::vector<std::size_t> shown;
    std::size_t last_before = SIZE_MAX, first_after = SIZE_MAX;
    for (std::size_t r = row; r < end; ++r) {
      if (s.Times[r] < w.From) last_before = r;
      else if (s.Times[r] >= w.To) { if (first_after == SIZE_MAX) first_after = r; }
      else shown.push_back(r);
    }
    if (last_before != SIZE_MAX) shown.insert(shown.begin(), last_before);
    if (first_after != SIZE_MAX) shown.push_back(first_after);
    bool previous_valid = false;
    std::int32_t gap_column = -2;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const std::size_t r = shown[i];
      const std::int32_t column = ColumnOf(s.Times[r], w);
      const float v = s.Values[r];
      if (std::isnan(v)) {
        if (gap_column != column) out.Gaps.push_back({column, static_cast<std::uint32_t>(r)});
        gap_column = column;
        previous_valid = false;
        continue;
      }
      const bool continues = previous_valid && !out.Spans.empty() && out.Spans.back().Column == column &&
                             out.Spans.back().LastRow + 1 == r;
      if (continues) {
        ColumnSpan& span = out.Spans.back();
        span.Min = std::min(span.Min, v);
        span.Max = std::max(span.Max, v);
        span.Last = v;
        span.LastRow = static_cast<std::uint32_t>(r);
      } else {
        out.Spans.push_back({column, previous_valid, v, v, v, v, static_cast<std::uint32_t>(r),
                             static_cast<std::uint32_t>(r)});
      }
      previous_valid = true;
      gap_column = -2;
    }
    row = end;
  }
  return out;
}

TEST(Decimation, EqualsTheBruteForceOverRandomSeriesAndWindows) {
  std::mt19937 random(12);
  for (int trial = 0; trial < 200; ++trial) {
    const RandomSeries s = MakeSeries(random, 1 + random() % 3000);
    const double lo = s.Times.front() - 100, hi = s.Times.back() + 100;
    std::uniform_real_distribution<double> at(lo, hi);
    double a = at(random), b = at(random);
    if (a > b) std::swap(a, b);
    if (trial % 5 == 0) { a = lo; b = hi; }  // the whole series
    if (b - a < 1e-3) b = a + 1;
    const DecimationWindow w{a, b, 1 + static_cast<std::uint32_t>(random() % 700)};
    Decimated fast;
    Decimate(TimeAxis{s.Times, s.Starts}, w, [&](std::uint32_t r) { return s.Values[r]; }, fast);
    const Decimated slow = BruteForce(s, w);
    // Whole blocks where they fall into one column give the same spans.
    const BlockSummary blocks = SummariseBlocks(TimeAxis{s.Times, s.Starts}, [&](std::uint32_t r) { return s.Values[r]; },
                                                2 + static_cast<std::uint32_t>(random() % 40));
    Decimated blocked;
    Decimate(TimeAxis{s.Times, s.Starts}, w, [&](std::uint32_t r) { return s.Values[r]; }, blocked, &blocks);
    ASSERT_EQ(blocked.Spans.size(), fast.Spans.size()) << "trial " << trial;
    for (std::size_t i = 0; i < fast.Spans.size(); ++i) {
      const ColumnSpan &f = fast.Spans[i], &g = blocked.Spans[i];
      ASSERT_EQ(std::tie(f.Column, f.Joined, f.First, f.Min, f.Max, f.Last, f.FirstRow, f.LastRow),
                std::tie(g.Column, g.Joined, g.First, g.Min, g.Max, g.Last, g.FirstRow, g.LastRow))
          << "trial " << trial << " span " << i;
    }
    ASSERT_EQ(blocked.Gaps.size(), fast.Gaps.size());
    ASSERT_EQ(fast.Spans.size(), slow.Spans.size()) << "trial " << trial;
    for (std::size_t i = 0; i < fast.Spans.size(); ++i) {
      const ColumnSpan &f = fast.Spans[i], &g = slow.Spans[i];
      ASSERT_EQ(std::tie(f.Column, f.Joined, f.First, f.Min, f.Max, f.Last, f.FirstRow, f.LastRow),
                std::tie(g.Column, g.Joined, g.First, g.Min, g.Max, g.Last, g.FirstRow, g.LastRow))
          << "trial " << trial << " span " << i;
    }
    ASSERT_EQ(fast.Gaps.size(), slow.Gaps.size()) << "trial " << trial;
    for (std::size_t i = 0; i < fast.Gaps.size(); ++i) {
      ASSERT_EQ(fast.Gaps[i].Column, slow.Gaps[i].Column);
      ASSERT_EQ(fast.Gaps[i].Row, slow.Gaps[i].Row);
    }
    // Independently: each column's extremes are those of all valid rows of the window in that column.
    std::map<std::int32_t, std::pair<float, float>> extremes;
    for (std::size_t r = 0; r < s.Times.size(); ++r) {
      if (s.Times[r] < w.From || s.Times[r] >= w.To || std::isnan(s.Values[r])) continue;
      auto [it, fresh] = extremes.try_emplace(ColumnOf(s.Times[r], w), s.Values[r], s.Values[r]);
      it->second.first = std::min(it->second.first, s.Values[r]);
      it->second.second = std::max(it->second.second, s.Values[r]);
    }
    std::map<std::int32_t, std::pair<float, float>> decimated;
    for (const ColumnSpan& span : fast.Spans) {
      if (span.Column < 0 || span.Column >= static_cast<std::int32_t>(w.Width)) continue;
      auto [it, fresh] = decimated.try_emplace(span.Column, span.Min, span.Max);
      it->second.first = std::min(it->second.first, span.Min);
      it->second.second = std::max(it->second.second, span.Max);
    }
    ASSERT_EQ(extremes, decimated) << "trial " << trial;
    // The envelope has the same extremes, one span per column.
    Decimated envelope;
    DecimateEnvelope(s.Times, w, [&](std::uint32_t r) { return s.Values[r]; }, envelope);
    std::map<std::int32_t, std::pair<float, float>> enveloped;
    for (const ColumnSpan& span : envelope.Spans) {
      ASSERT_TRUE(enveloped.try_emplace(span.Column, span.Min, span.Max).second);
    }
    ASSERT_EQ(extremes, enveloped) << "trial " << trial;
  }
}

TEST(Decimation, AStepBackStartsAStretchThatIsNotJoined) {
  const std::vector<double> times{0, 1, 2, 1, 2};
  const std::vector<std::uint32_t> starts{0, 3};
  const std::vector<float> values{1, 2, 3, 4, 5};
  Decimated out;
  Decimate(TimeAxis{times, starts}, {0, 3, 3}, [&](std::uint32_t r) { return values[r]; }, out);
  ASSERT_EQ(out.Spans.size(), 5u);
  EXPECT_FALSE(out.Spans[0].Joined);
  EXPECT_TRUE(out.Spans[2].Joined);
  EXPECT_FALSE(out.Spans[3].Joined);  // row 3, the set-back
  EXPECT_EQ(out.Spans[3].Column, 1);
}

}  // namespace
}  // namespace ar4
