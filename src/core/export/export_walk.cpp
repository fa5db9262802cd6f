#include "core/export/export_walk.hpp"

#include "core/archive/codecs.hpp"
#include "core/export/export_state.hpp"
#include "core/export/number_format.hpp"

namespace ar4 {
namespace {

constexpr std::string_view kOverlapSeparator = "    -_?_-    ";

/// Whether channel g of a cell is flagged (no value, a status code in the field's first byte).
bool ChannelFlagged(const std::uint8_t* cell, FlagLayout layout, std::size_t g) {
  switch (layout) {
    case FlagLayout::kByte8:
      return ((cell[8] >> g) & 1u) != 0;
    case FlagLayout::kWord8:
      return ((ReadU16(cell + 8) >> g) & 1u) != 0;
    case FlagLayout::kByte7Bit0:
      return (cell[7] & 1u) != 0;
    case FlagLayout::kWord18:
      return ((ReadU16(cell + cell::kSampleFlags) >> g) & 1u) != 0;
  }
  return false;
}

bool OnRing(CellPosition position, const RingGeometry& ring) {
  return position.Page < ring.PageCount && position.Cell < ring.CellsPerPage;
}

void CheckInputs(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                 const ExportBounds& bounds) {
  if (main_block == nullptr || ring.PageCount == 0 || ring.PageCount > kMaxPageCount ||
      ring.CellSize != profile.CellSize || ring.CellsPerPage != profile.CellsPerPage ||
      profile.Channels > kFileSlots || profile.Relays > kFileSlots) {
    throw ExportError("the archive does not fit the export");
  }
  if (!OnRing(bounds.StartPosition, ring) || !OnRing(bounds.EndPosition, ring)) {
    throw ExportError("the export bounds lie outside the ring");
  }
}

void OpenFiles(const DeviceProfile& profile, const std::filesystem::path& folder, ExportFiles& files,
               OutputFileSystem& file_system) {
  // "Pen.txt" is written whole and closed before anything else is created.
  const std::string pen = PenText(profile);
  BufferedFile& pen_file = files.Channel(0);
  pen_file.Open(file_system.CreateOutputFile(folder / PathFromUtf8(kPenFileName)));
  pen_file.Write(pen.data(), pen.size());
  pen_file.Close();

  files.Listing().Open(file_system.CreateOutputFile(folder / PathFromUtf8(kListingFileName)));
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    files.Channel(g).Open(file_system.CreateOutputFile(folder / ChannelFileName(g)));
  }
  for (std::size_t r = 0; r < profile.Relays; ++r) {
    files.Relay(r).Open(file_system.CreateOutputFile(folder / RelayFileName(r)));
  }
}

}  // namespace

void ExportState::NoteCellTime(std::uint32_t stamp) {
  if (HasTimeStamp(stamp)) {
    // Stamps order as unsigned integers; an equal stamp is no overlap, and the stamps 0 and 0xFFFFFFFF are
    // never compared and never become the previous stamp.
    if (stamp < PreviousStamp) {
      ++Result.OverlapCount;
      Line.PutInFront('A');
      if (Result.OverlapCount <= kMaxOverlapEntries) {
        Result.OverlapText += "\n\r";
        AppendPackedToText(Result.OverlapText, PreviousStamp);
        Result.OverlapText += kOverlapSeparator;
        AppendPackedToText(Result.OverlapText, stamp);
      }
    }
    PreviousStamp = stamp;
  }
  TimeBits = TimeRecordBits(stamp);
  Line.AppendAlignedTimeText(stamp);
}

void ExportState::WriteLine() {
  Line.Append(kLineEnd);
  Files.Listing().Write(Line.Data(), Line.Size());
}

void ExportChannelCell(ExportState& state, const std::uint8_t* cell) {
  const DeviceProfile& profile = state.Profile;
  const char separator = state.Settings.DecimalSeparator;
  state.NoteCellTime(CellStamp(cell));
  const std::uint64_t time = state.TimeBits;
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    const std::uint8_t* field = cell + profile.FirstFieldOffset + 4 * g;
    if (ChannelFlagged(cell, profile.Flags, g)) {
      const std::uint8_t status = FlaggedStatus(field);
      PutPenRecord(state.Files.Channel(g), time, 0, status);
      state.Line.AppendStatus(status, kValueFieldWidth);
    } else {
      // The DeviceFloat is stored most significant byte first; the record holds it least significant first.
      const std::uint64_t value = (std::uint64_t{field[0]} << 24) | (std::uint64_t{field[1]} << 16) |
                                  (std::uint64_t{field[2]} << 8) | field[3];
      PutPenRecord(state.Files.Channel(g), time, value, 0);
      state.Line.AppendValue(DeviceFloatListingValue(field), 6, separator, kValueFieldWidth);
    }
  }
  state.Line.AppendBlanks(7);
  const std::uint8_t relays = cell[cell::kRelays];
  for (std::size_t r = 0; r < profile.Relays; ++r) {
    const std::uint64_t on = (relays >> r) & 1u;
    BufferedFile& file = state.Files.Relay(r);
    PutLe64(file.Reserve(), time | (on << (8 * kTimeRecordSize)));  // the byte after the state is not kept
    file.Commit(kRelRecordSize);
    state.Line.AppendBlanks(2);
    state.Line.Append(static_cast<char>('0' + on));
  }
  state.WriteLine();
}

std::string PenText(const DeviceProfile& profile) {
  std::string text;
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    text += ChannelFileName(g);
    text += "\r\n\xB0" "C\r\n";  // the degree sign is the Windows-1251 byte 0xB0
  }
  return text;
}

ExportResult RunExport(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                       const ExportBounds& bounds, const ExportSettings& settings,
                       const std::filesystem::path& output_folder, ExportFiles& files,
                       OutputFileSystem& file_system, const GaugeCallback& gauge, Pacer& pacer) {
  CheckInputs(main_block, ring, profile, bounds);
  OpenFiles(profile, output_folder, files, file_system);

  const bool grv300 = profile.DeviceType == kGrv300DeviceType;
  ExportState state(profile, settings, files);
  std::uint32_t pages_done = 0;
  std::uint32_t percent = 0;
  CellPosition position = bounds.StartPosition;
  // The stop test follows the first cell: EndPosition == StartPosition walks the whole ring once.
  do {
    state.Line.Clear();
    if (settings.DetailedMode) state.Line.AppendCellOffset(position, ring.CellSize);
    const std::uint8_t* cell = main_block + ring.Offset(position);
    if (IsCellIntact(cell, ring.CellSize)) {
      const std::uint32_t stamp = CellStamp(cell);
      if (bounds.StartStamp <= stamp && stamp <= bounds.EndStamp) {
        ++state.Result.ExportedCells;
        if (grv300) {
          ExportGrv300Cell(state, cell);
        } else {
          ExportChannelCell(state, cell);
        }
      }
    } else if (settings.DetailedMode) {
      state.Line.Append(kInvalidCellText);
      state.WriteLine();
    }
    position = ring.Next(position);
    if (position.Cell == 0) {
      ++pages_done;
      const auto now = static_cast<std::uint32_t>(std::uint64_t{pages_done} * 100u / ring.PageCount);
      if (now != percent) {
        percent = now;
        if (gauge) gauge(static_cast<int>(percent));
      }
    }
    pacer.Step();
  } while (!(position == bounds.EndPosition));

  files.FlushAll();
  return std::move(state.Result);
}

}  // namespace ar4
