#include "core/plot/plot_series.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "core/archive/codecs.hpp"
#include "core/export/export_segments.hpp"
#include "core/export/walk_steps.hpp"

namespace ar4 {
namespace {

constexpr std::uint8_t kGrv300 = 89;

/// The status byte of a flagged record: the field's first byte, 254 for a code of 0.
std::uint8_t StatusOf(const std::uint8_t* field) { return field[0] != 0 ? field[0] : std::uint8_t{254}; }

/// DeviceFloatToDouble as a float (exact: the decoded value always fits), without the library's scaling:
/// the bytes reassembled, a zero exponent giving +0.0 and the exponents 254 and 255 taken as 2^126.
float DeviceFloatToFloat(const std::uint8_t* field) {
  std::uint32_t bits = (std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) |
                       (std::uint32_t{field[2]} << 8) | field[3];
  const std::uint32_t exponent = (bits >> 23) & 0xFFu;
  if (exponent == 0) return 0.0f;
  if (exponent >= 254) bits = (bits & 0x807FFFFFu) | (253u << 23);
  return std::bit_cast<float>(bits);
}

/// PackedToSeconds with the seconds of the last day kept: neighbouring cells nearly always share a day.
class SecondsOfStamps {
 public:
  double operator()(std::uint32_t stamp) {
    const std::uint32_t day = stamp >> 17;
    if (day != day_) {
      day_ = day;
      day_seconds_ = PackedToSeconds(stamp & ~0x1FFFFu);
    }
    return day_seconds_ + static_cast<double>(((stamp >> 12) & 31u) * 3600 + ((stamp >> 6) & 63u) * 60 + (stamp & 63u));
  }

 private:
  std::uint32_t day_ = 0xFFFFFFFFu;
  double day_seconds_ = 0;
};

std::uint32_t SamplesOf(const std::uint8_t* cell) { return (cell[cell::kSampleCount] & 15u) + 1u; }

bool OnRing(CellPosition position, const RingGeometry& ring) {
  return position.Page < ring.PageCount && position.Cell < ring.CellsPerPage;
}

/// Calls `visit(cell, stamp)` with every cell the export walk exports, in walk order: the export's own
/// steps (same bounds, same order, same validity test) for the profile's type.
template <class Visit, std::size_t... kIndex>
void ForEachExportedCellOf(std::size_t index, const std::uint8_t* main_block, const RingGeometry& ring,
                           const ExportBounds& bounds, Visit& visit, std::index_sequence<kIndex...>) {
  const std::uint64_t length = WalkLength(ring, bounds);
  const auto on_exported = [&visit](const std::uint8_t* cell) { visit(cell, CellStamp(cell)); };
  (void)((index == kIndex &&
          (WalkSteps<kIndex>(main_block, ring, bounds, 0, length, [](CellPosition) {}, on_exported, [] {}), true)) ||
         ...);
}

template <class Visit>
void ForEachExportedCell(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                         const ExportBounds& bounds, Visit&& visit) {
  const DeviceProfile* known = FindDeviceProfile(profile.DeviceType);
  if (known == nullptr) throw std::invalid_argument("no such instrument type");
  ForEachExportedCellOf(static_cast<std::size_t>(known - kDeviceProfiles.data()), main_block, ring, bounds, visit,
                        std::make_index_sequence<kDeviceProfiles.size()>());
}

void Stretches(const std::vector<double>& times, std::vector<std::uint32_t>& starts) {
  starts.clear();
  for (std::size_t row = 0; row < times.size(); ++row) {
    if (row == 0 || times[row] < times[row - 1]) starts.push_back(static_cast<std::uint32_t>(row));
  }
}

}  // namespace

void PlotSeries::Clear() { *this = PlotSeries{}; }

namespace {

// Howard Hinnant's days-from-civil and civil-from-days (proleptic Gregorian, days since 1 January 1970).
constexpr std::int64_t kDaysTo2000 = 10957;

std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

}  // namespace

double FieldsToSeconds(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                       std::int64_t minute, std::int64_t second) {
  // Months beyond December roll into the next year; days, hours and minutes beyond theirs count on.
  std::int64_t months = year * 12 + (month - 1);
  std::int64_t years = months >= 0 ? months / 12 : (months - 11) / 12;
  months -= years * 12;
  const std::int64_t days = DaysFromCivil(2000 + years, months + 1, 1) - kDaysTo2000 + (day - 1);
  return static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second);
}

double PackedToSeconds(std::uint32_t stamp) {
  return FieldsToSeconds(stamp >> 26, ((stamp >> 22) & 15u) + 1, ((stamp >> 17) & 31u) + 1, (stamp >> 12) & 31u,
                         (stamp >> 6) & 63u, stamp & 63u);
}

std::uint32_t SecondsToPacked(double seconds) {
  if (!(seconds >= 0) || seconds >= 64.0 * 366 * 86400) return 0xFFFFFFFFu;
  const auto whole = static_cast<std::int64_t>(seconds);
  std::int64_t year = 0, month = 0, day = 0;
  CivilFromDays(whole / 86400 + kDaysTo2000, year, month, day);
  if (year > 2063) return 0xFFFFFFFFu;
  const std::int64_t s = whole % 86400;
  return static_cast<std::uint32_t>(((year - 2000) << 26) | ((month - 1) << 22) | ((day - 1) << 17) |
                                    ((s / 3600) << 12) | ((s / 60 % 60) << 6) | (s % 60));
}

void FindStretches(PlotSeries& out) {
  Stretches(out.Times, out.StretchStarts);
  Stretches(out.AuxTimes, out.AuxStretches);
}

void SummariseSeries(PlotSeries& out) {
  out.ValueBlocks.clear();
  out.RelayBlocks.clear();
  out.AuxBlocks.clear();
  const TimeAxis axis{out.Times, out.StretchStarts};
  for (const std::vector<float>& values : out.Values) {
    out.ValueBlocks.push_back(SummariseBlocks(axis, [&values](std::uint32_t row) { return values[row]; }));
  }
  if (!out.RelayBits.empty()) {
    for (std::uint32_t r = 0; r < out.Relays; ++r) {
      const std::vector<std::uint8_t>& bits = out.RelayBits;
      out.RelayBlocks.push_back(
          SummariseBlocks(axis, [&bits, r](std::uint32_t row) { return static_cast<float>((bits[row] >> r) & 1u); }));
    }
  }
  if (out.Samples) {
    const TimeAxis aux_axis{out.AuxTimes, out.AuxStretches};
    const auto& aux = out.Aux;
    out.AuxBlocks.push_back(SummariseBlocks(aux_axis, [&aux](std::uint32_t k) { return aux[k].C; }));
    out.AuxBlocks.push_back(SummariseBlocks(aux_axis, [&aux](std::uint32_t k) { return aux[k].D; }));
  }
  out.EarliestTime = out.LatestTime = 0;
  if (!out.Times.empty()) {
    const auto [lo, hi] = std::minmax_element(out.Times.begin(), out.Times.end());
    out.EarliestTime = *lo;
    out.LatestTime = *hi;
  }
}

void GatherPlotSeries(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                      const ExportBounds& bounds, PlotSeries& out) {
  if (main_block == nullptr || ring.PageCount == 0 || ring.PageCount > kMaxPageCount ||
      ring.CellSize != profile.CellSize || ring.CellsPerPage != profile.CellsPerPage ||
      !OnRing(bounds.StartPosition, ring) || !OnRing(bounds.EndPosition, ring)) {
    throw std::invalid_argument("the bounds do not fit the archive");
  }
  out.Clear();
  const bool samples = profile.DeviceType == kGrv300;
  out.Samples = samples;
  out.Channels = profile.Channels;
  out.Relays = profile.Relays;

  // Room for every position the walk visits, allocated once: pages that no row reaches are never touched.
  const std::size_t cells = WalkLength(ring, bounds);
  const std::size_t rows = samples ? cells * cell::kMaxSamples : cells;
  out.Times.reserve(rows);
  out.Values.assign(profile.Channels, {});
  for (auto& values : out.Values) values.reserve(rows);
  if (!samples) out.RelayBits.reserve(rows);
  if (samples) {
    out.Aux.reserve(cells);
    out.AuxTimes.reserve(cells);
  }

  const FlagLayout layout = profile.Flags;
  SecondsOfStamps seconds_of;
  ForEachExportedCell(main_block, ring, profile, bounds, [&](const std::uint8_t* cell, std::uint32_t stamp) {
    const double time = seconds_of(stamp);
    if (samples) {
      const std::uint8_t interval_byte = cell[cell::kSampleInterval];
      const double interval = interval_byte == 0 ? 0.125 : static_cast<double>(interval_byte);
      out.Aux.push_back({static_cast<std::uint32_t>(out.Times.size()), cell[cell::kAuxByteA], cell[cell::kAuxByteB],
                         static_cast<float>(SingleToDouble(cell + cell::kAuxValueC)),
                         static_cast<float>(SingleToDouble(cell + cell::kAuxValueD))});
      out.AuxTimes.push_back(time);
      const std::uint32_t n = SamplesOf(cell);
      for (std::uint32_t q = 0; q < n; ++q) {
        const std::uint8_t* field = cell + cell::kFirstSample + 4 * q;
        const auto row = static_cast<std::uint32_t>(out.Times.size());
        out.Times.push_back(time + q * interval);
        if (ChannelFlagged(cell, layout, q)) {
          out.Values[0].push_back(kGapValue);
          out.Flagged.push_back({row, 0, StatusOf(field)});
        } else {
          out.Values[0].push_back(static_cast<float>(SingleToDouble(field)));
        }
      }
      return;
    }
    const auto row = static_cast<std::uint32_t>(out.Times.size());
    out.Times.push_back(time);
    for (std::size_t g = 0; g < profile.Channels; ++g) {
      const std::uint8_t* field = cell + profile.FirstFieldOffset + 4 * g;
      if (ChannelFlagged(cell, layout, g)) {
        out.Values[g].push_back(kGapValue);
        out.Flagged.push_back({row, static_cast<std::uint8_t>(g), StatusOf(field)});
      } else {
        out.Values[g].push_back(DeviceFloatToFloat(field));
      }
    }
    out.RelayBits.push_back(cell[cell::kRelays]);
  });
  FindStretches(out);
  SummariseSeries(out);
}

}  // namespace ar4
