#pragma once
/// The rows of a table of measurements: one per cell that the export of the same bounds writes, in the
/// same order (the ExportWalk), and for the ГРВ-300 one per sample. The values are those of the record
/// files, not clamped; the times are those the listing shows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/archive/format.hpp"
#include "core/export/export_walk.hpp"
#include "core/interval/bounds.hpp"

namespace ar4 {

/// What a table shows: the walk of an export over a main block.
struct TableSelection {
  const std::uint8_t* MainBlock = nullptr;
  RingGeometry Ring;
  const DeviceProfile* Profile = nullptr;  // an entry of kDeviceProfiles
  ExportBounds Bounds;
  /// The validation scan's verdict on the block while it still describes it (as for the export); null:
  /// the walk checks every cell itself.
  const std::uint32_t* ValidCellMasks = nullptr;
};

/// One row: an exported cell of types 73..76, or one sample of a ГРВ-300 cell.
struct TableRow {
  std::uint32_t Stamp = 0;          // the row's time; for the ГРВ-300 the sample's own time
  std::uint32_t Milliseconds = 0;   // ГРВ-300 only
  std::uint8_t Relays = 0;          // relay r is on when bit r is set
  /// Channel g (ГРВ-300: entry 0 is the sample): the single-precision number of its record, or, when
  /// Status[g] is not 0, no value.
  std::array<float, kFileSlots> Values{};
  /// 0 for a value, else the status code of the record files (the field's first byte, 254 for 0).
  std::array<std::uint8_t, kFileSlots> Status{};
  // The ГРВ-300's auxiliary values: two bytes as the listing shows them, two singles.
  std::uint32_t AuxA = 0;
  std::uint32_t AuxB = 0;
  float AuxC = 0;
  float AuxD = 0;
};

/// The columns of a table.
struct TableLayout {
  std::size_t Channels = 0;    // value columns Chan1..ChanN (ГРВ-300: 1)
  std::size_t Relays = 0;      // Rele1..ReleM (ГРВ-300: none)
  bool Grv300 = false;         // AuxA..AuxD after the channel, times with milliseconds
  bool StatusColumns = false;  // ChanK_status after each ChanK
};

TableLayout TableLayoutOf(const DeviceProfile& profile, bool status_columns);

/// The header row: "time", "Chan1" ["Chan1_status"] .. , "Rele1" .. or "AuxA" .. "AuxD".
std::vector<std::string> TableHeader(const TableLayout& layout);

/// Receives the rows of a table in walk order.
class TableRowSink {
 public:
  virtual ~TableRowSink() = default;
  virtual void Row(const TableRow& row) = 0;
};

/// Walks the selection as the export does and hands every row to `sink`. The result counts the exported
/// cells and holds the overlaps as the export's overlap warning lists them. `gauge` (may be empty) gets the
/// percentage of the walk whenever it changes. Throws ExportError before the walk when the selection does
/// not fit together; whatever the sink throws ends the walk.
ExportResult ForEachTableRow(const TableSelection& selection, TableRowSink& sink, const GaugeCallback& gauge);

/// The number of positions the walk of the selection visits.
std::uint64_t TableWalkLength(const TableSelection& selection);

/// The exported cells and time stamps of a stretch of the walk, kept so that stretches walked apart (on
/// different threads) can be joined in walk order into the overlaps of the whole walk.
struct TableStretch {
  std::uint32_t Cells = 0;
  bool HasStamp = false;          // an exported cell with a time stamp (neither 0 nor 0xFFFFFFFF)
  std::uint32_t FirstStamp = 0;   // of the first such cell
  std::uint32_t LastStamp = 0;    // of the last such cell
  std::uint32_t OverlapCount = 0; // overlaps after the first such cell
  std::uint32_t Listed = 0;       // entries kept of them
  std::array<std::uint32_t, 2 * kMaxOverlapEntries> Entries{};  // earlier stamp, then the later cell's
};

/// Checks that the selection's profile, ring and bounds fit together; throws ExportError when not.
void CheckTableSelection(const TableSelection& selection);

/// Walks `count` positions from walk index `first` of a checked selection and hands their rows to `sink`.
TableStretch WalkTableStretch(const TableSelection& selection, std::uint64_t first, std::uint64_t count,
                              TableRowSink& sink);

/// Adds a stretch to the result of the stretches before it; `previous` holds the last stamp exported
/// before it (0 for none) and becomes the stretch's last stamp.
void JoinTableStretch(const TableStretch& stretch, std::uint32_t& previous, ExportResult& result);

/// Longest time text: "YYYY-MM-DDTHH:MM:SS.mmm".
inline constexpr std::size_t kMaxTimeTextLength = 23;

/// The ISO 8601 text of a row's time, "YYYY-MM-DDTHH:MM:SS", with ".mmm" when `with_milliseconds`. Every
/// field is written as stored, also when it is not a real date: year 2000 + field, month and day field + 1,
/// hour, minute and second as they are (a stamp of 0xFFFFFFFF gives 2063-16-32T31:63:63). Returns the
/// length; `out` needs kMaxTimeTextLength characters.
std::size_t WriteTimeText(char* out, std::uint32_t stamp, std::uint32_t milliseconds, bool with_milliseconds);

/// True when the stamp names a real moment: month 1..12, a day of that month, hour 0..23, minute and
/// second 0..59 (a leap year every fourth year from 2000).
bool IsCalendarStamp(std::uint32_t stamp);

/// A calendar stamp (with milliseconds) as a spreadsheet date-time: days since 30 December 1899.
double SpreadsheetDateTime(std::uint32_t stamp, std::uint32_t milliseconds);

}  // namespace ar4
