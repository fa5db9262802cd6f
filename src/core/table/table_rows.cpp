#include "core/table/table_rows.hpp"

#include <bit>
#include <cstring>
#include <utility>

#include "core/archive/codecs.hpp"
#include "core/export/export_segments.hpp"
#include "core/export/export_state.hpp"
#include "core/export/file_system.hpp"
#include "core/export/grv300_samples.hpp"
#include "core/export/number_format.hpp"
#include "core/export/walk_steps.hpp"

namespace ar4 {
namespace {

/// Positions walked between two looks at the gauge.
constexpr std::uint64_t kGaugeStep = 1u << 14;

/// The walk's state beyond the row being built: the overlap test as the export makes it.
struct RowWalk {
  TableRowSink& Sink;
  TableStretch Stretch;
  TableRow Row;

  void NoteStamp(std::uint32_t stamp) {
    // Stamps order as unsigned integers; an equal stamp is no overlap, and the stamps 0 and 0xFFFFFFFF are
    // never compared and never become the previous stamp.
    if (!HasTimeStamp(stamp)) return;
    if (!Stretch.HasStamp) {
      Stretch.HasStamp = true;
      Stretch.FirstStamp = stamp;
    } else if (stamp < Stretch.LastStamp) {
      ++Stretch.OverlapCount;
      if (Stretch.Listed < kMaxOverlapEntries) {
        Stretch.Entries[2 * Stretch.Listed] = Stretch.LastStamp;
        Stretch.Entries[2 * Stretch.Listed + 1] = stamp;
        ++Stretch.Listed;
      }
    }
    Stretch.LastStamp = stamp;
  }
};

/// The number the record file holds for a field: the single-precision value of its four bytes, most
/// significant first for types 73..76, least significant first for the ГРВ-300.
inline float DeviceFieldValue(const std::uint8_t* field) {
  return std::bit_cast<float>((std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) |
                              (std::uint32_t{field[2]} << 8) | field[3]);
}
inline float SingleFieldValue(const std::uint8_t* field) { return std::bit_cast<float>(ReadU32(field)); }

template <std::size_t kIndex>
void ChannelCellRow(RowWalk& walk, const std::uint8_t* cell) {
  constexpr DeviceProfile kProfile = kDeviceProfiles[kIndex];
  TableRow& row = walk.Row;
  row.Stamp = CellStamp(cell);
  walk.NoteStamp(row.Stamp);
  row.Relays = cell[cell::kRelays];
  for (std::size_t g = 0; g < kProfile.Channels; ++g) {
    const std::uint8_t* field = cell + kProfile.FirstFieldOffset + 4 * g;
    if (ChannelFlagged(cell, kProfile.Flags, g)) {
      row.Status[g] = FlaggedStatus(field);
      row.Values[g] = 0;
    } else {
      row.Status[g] = 0;
      row.Values[g] = DeviceFieldValue(field);
    }
  }
  walk.Sink.Row(row);
}

void Grv300CellRows(RowWalk& walk, const std::uint8_t* cell) {
  TableRow& row = walk.Row;
  const std::uint32_t stamp = CellStamp(cell);
  walk.NoteStamp(stamp);
  row.AuxA = Grv300AuxByteMagnitude(cell[cell::kAuxByteA]);
  row.AuxB = Grv300AuxByteMagnitude(cell[cell::kAuxByteB]);
  row.AuxC = SingleFieldValue(cell + cell::kAuxValueC);
  row.AuxD = SingleFieldValue(cell + cell::kAuxValueD);
  const std::size_t samples = (cell[cell::kSampleCount] & 0x0Fu) + 1u;
  const std::uint16_t flags = ReadU16(cell + cell::kSampleFlags);
  const double first_time = PackedToDateTime(stamp);
  const double interval = Grv300SampleInterval(cell[cell::kSampleInterval]);
  for (std::size_t q = 0; q < samples; ++q) {
    // The first sample is at the cell's own stamp; the others at the times the listing shows.
    if (q == 0) {
      row.Stamp = stamp;
      row.Milliseconds = 0;
    } else {
      const PackedWithMilliseconds packed = Grv300SampleTime(first_time, interval, q);
      row.Stamp = packed.Stamp;
      row.Milliseconds = packed.Milliseconds;
    }
    const std::uint8_t* field = cell + cell::kFirstSample + 4 * q;
    if (((flags >> q) & 1u) != 0) {
      row.Status[0] = FlaggedStatus(field);
      row.Values[0] = 0;
    } else {
      row.Status[0] = 0;
      row.Values[0] = SingleFieldValue(field);
    }
    walk.Sink.Row(row);
  }
}

template <std::size_t kIndex>
void WalkRowsOf(const TableSelection& selection, std::uint64_t first, std::uint64_t count, RowWalk& walk) {
  WalkSteps<kIndex>(
      selection.MainBlock, selection.Ring, selection.Bounds, first, count, [](CellPosition) {},
      [&](const std::uint8_t* cell) {
        ++walk.Stretch.Cells;
        if constexpr (kDeviceProfiles[kIndex].DeviceType == kGrv300DeviceType) {
          Grv300CellRows(walk, cell);
        } else {
          ChannelCellRow<kIndex>(walk, cell);
        }
      },
      [] {}, selection.ValidCellMasks);
}

template <std::size_t... kIndex>
constexpr auto RowWalkers(std::index_sequence<kIndex...>) {
  return std::array<void (*)(const TableSelection&, std::uint64_t, std::uint64_t, RowWalk&), sizeof...(kIndex)>{
      &WalkRowsOf<kIndex>...};
}

constexpr auto kRowWalkers = RowWalkers(std::make_index_sequence<kDeviceProfiles.size()>());

bool OnRing(CellPosition position, const RingGeometry& ring) {
  return position.Page < ring.PageCount && position.Cell < ring.CellsPerPage;
}

/// Two digits of a value below 100 (every field of a stamp, plus one, is).
void AppendTwoDigits(char*& out, std::uint32_t value) {
  std::memcpy(out, kTwoDigitTable.data() + 2 * value, 2);
  out += 2;
}

constexpr std::uint32_t YearField(std::uint32_t stamp) { return stamp >> 26; }
constexpr std::uint32_t MonthField(std::uint32_t stamp) { return (stamp >> 22) & 0x0Fu; }
constexpr std::uint32_t DayField(std::uint32_t stamp) { return (stamp >> 17) & 0x1Fu; }
constexpr std::uint32_t HourField(std::uint32_t stamp) { return (stamp >> 12) & 0x1Fu; }
constexpr std::uint32_t MinuteField(std::uint32_t stamp) { return (stamp >> 6) & 0x3Fu; }
constexpr std::uint32_t SecondField(std::uint32_t stamp) { return stamp & 0x3Fu; }

}  // namespace

TableLayout TableLayoutOf(const DeviceProfile& profile, bool status_columns) {
  TableLayout layout;
  layout.Grv300 = profile.DeviceType == kGrv300DeviceType;
  layout.Channels = layout.Grv300 ? 1 : profile.Channels;
  layout.Relays = layout.Grv300 ? 0 : profile.Relays;
  layout.StatusColumns = status_columns;
  return layout;
}

std::vector<std::string> TableHeader(const TableLayout& layout) {
  std::vector<std::string> names{"time"};
  for (std::size_t g = 1; g <= layout.Channels; ++g) {
    names.push_back("Chan" + std::to_string(g));
    if (layout.StatusColumns) names.push_back("Chan" + std::to_string(g) + "_status");
  }
  for (std::size_t r = 1; r <= layout.Relays; ++r) names.push_back("Rele" + std::to_string(r));
  if (layout.Grv300) {
    for (const char* aux : {"AuxA", "AuxB", "AuxC", "AuxD"}) names.emplace_back(aux);
  }
  return names;
}

std::uint64_t TableWalkLength(const TableSelection& selection) {
  return WalkLength(selection.Ring, selection.Bounds);
}

void CheckTableSelection(const TableSelection& selection) {
  const DeviceProfile* profile = selection.Profile;
  const RingGeometry& ring = selection.Ring;
  if (selection.MainBlock == nullptr || profile == nullptr || FindDeviceProfile(profile->DeviceType) != profile ||
      ring.PageCount == 0 || ring.PageCount > kMaxPageCount || ring.CellSize != profile->CellSize ||
      ring.CellsPerPage != profile->CellsPerPage) {
    throw ExportError("the archive does not fit the table");
  }
  if (!OnRing(selection.Bounds.StartPosition, ring) || !OnRing(selection.Bounds.EndPosition, ring)) {
    throw ExportError("the bounds lie outside the ring");
  }
}

TableStretch WalkTableStretch(const TableSelection& selection, std::uint64_t first, std::uint64_t count,
                              TableRowSink& sink) {
  RowWalk walk{sink, {}, {}};
  kRowWalkers[static_cast<std::size_t>(selection.Profile - kDeviceProfiles.data())](selection, first, count, walk);
  return walk.Stretch;
}

void JoinTableStretch(const TableStretch& stretch, std::uint32_t& previous, ExportResult& result) {
  result.ExportedCells += stretch.Cells;
  if (!stretch.HasStamp) return;
  if (stretch.FirstStamp < previous) AddOverlap(result, previous, stretch.FirstStamp);
  for (std::uint32_t i = 0; i < stretch.Listed; ++i) {
    AddOverlap(result, stretch.Entries[2 * i], stretch.Entries[2 * i + 1]);
  }
  result.OverlapCount += stretch.OverlapCount - stretch.Listed;
  previous = stretch.LastStamp;
}

ExportResult ForEachTableRow(const TableSelection& selection, TableRowSink& sink, const GaugeCallback& gauge) {
  CheckTableSelection(selection);
  const std::uint64_t length = TableWalkLength(selection);
  ExportResult result;
  std::uint32_t previous = 0;
  int percent = -1;
  for (std::uint64_t first = 0; first < length; first += kGaugeStep) {
    if (gauge) {
      const int now = static_cast<int>(first * 100 / length);
      if (now != percent) gauge(percent = now);
    }
    JoinTableStretch(WalkTableStretch(selection, first, std::min(kGaugeStep, length - first), sink), previous,
                     result);
  }
  if (gauge && percent != 100) gauge(100);
  return result;
}

std::size_t WriteTimeText(char* out, std::uint32_t stamp, std::uint32_t milliseconds, bool with_milliseconds) {
  char* at = out;
  AppendTwoDigits(at, 20);
  AppendTwoDigits(at, YearField(stamp));
  *at++ = '-';
  AppendTwoDigits(at, MonthField(stamp) + 1);
  *at++ = '-';
  AppendTwoDigits(at, DayField(stamp) + 1);
  *at++ = 'T';
  AppendTwoDigits(at, HourField(stamp));
  *at++ = ':';
  AppendTwoDigits(at, MinuteField(stamp));
  *at++ = ':';
  AppendTwoDigits(at, SecondField(stamp));
  if (with_milliseconds) {
    const std::uint32_t ms = milliseconds % 1000;
    *at++ = '.';
    *at++ = static_cast<char>('0' + ms / 100);
    std::memcpy(at, kTwoDigitTable.data() + 2 * (ms % 100), 2);
    at += 2;
  }
  return static_cast<std::size_t>(at - out);
}

bool IsCalendarStamp(std::uint32_t stamp) {
  static constexpr std::uint8_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const std::uint32_t month = MonthField(stamp) + 1;
  const std::uint32_t day = DayField(stamp) + 1;
  if (month > 12 || HourField(stamp) > 23 || MinuteField(stamp) > 59 || SecondField(stamp) > 59) return false;
  if (day > kDays[month - 1]) return false;
  return !(month == 2 && day == 29 && YearField(stamp) % 4 != 0);
}

double SpreadsheetDateTime(std::uint32_t stamp, std::uint32_t milliseconds) {
  return PackedToDateTime(stamp) + milliseconds / 86400000.0;
}

}  // namespace ar4
