#include <cstring>

#include "core/archive/codecs.hpp"
#include "core/export/export_state.hpp"
#include "core/export/grv300_samples.hpp"
#include "core/export/number_format.hpp"

namespace ar4 {
namespace {

/// Width of the listing field of auxiliary byte A or B.
constexpr std::size_t kAuxByteWidth = 10;
/// The auxiliary field: two bytes of 10 characters and two values of 20.
constexpr std::size_t kAuxFieldLength = 2 * kAuxByteWidth + 2 * kValueFieldWidth;
/// Column after which the auxiliary field begins on every line of a GRV-300 cell.
constexpr std::size_t kAuxFieldStart = 39;

}  // namespace

void ExportGrv300Cell(ExportState& state, const std::uint8_t* cell) {
  ++state.ExportedCells;
  const char separator = state.Settings.DecimalSeparator;
  const std::uint32_t stamp = CellStamp(cell);
  state.NoteCellTime(stamp);

  const double interval = Grv300SampleInterval(cell[cell::kSampleInterval]);

  // The auxiliary field is built once and repeated on every line of the cell.
  ListingLine& line = state.Line;
  const std::size_t aux_start = line.Size() + 4;  // after ".0" and two blanks
  line.Append(".0  ");
  line.AppendUnsigned(Grv300AuxByteMagnitude(cell[cell::kAuxByteA]), kAuxByteWidth);
  line.AppendUnsigned(Grv300AuxByteMagnitude(cell[cell::kAuxByteB]), kAuxByteWidth);
  line.AppendValue(ClampListingValue(SingleToDouble(cell + cell::kAuxValueC)), 4, separator, kValueFieldWidth);
  line.AppendValue(ClampListingValue(SingleToDouble(cell + cell::kAuxValueD)), 4, separator, kValueFieldWidth);
  char aux_field[kAuxFieldLength];
  std::memcpy(aux_field, line.Data() + aux_start, kAuxFieldLength);

  const std::size_t samples = (cell[cell::kSampleCount] & 0x0Fu) + 1u;
  const std::uint16_t flags = ReadU16(cell + cell::kSampleFlags);
  const double first_time = PackedToDateTime(stamp);
  std::uint8_t*& channel = state.Channels[0];

  for (std::size_t q = 0; q < samples; ++q) {
    const std::uint8_t* field = cell + cell::kFirstSample + 4 * q;
    // Every sample carries the cell's TimeRecord.
    if (((flags >> q) & 1u) != 0) {
      const std::uint8_t status = FlaggedStatus(field);
      PutPenRecord(channel, state.TimeBits, 0, status);
      line.AppendStatus(status, kValueFieldWidth);
    } else {
      // A little-endian IEEE single already: copied as stored.
      PutPenRecord(channel, state.TimeBits, ReadU32(field), 0);
      line.AppendValue(ClampListingValue(SingleToDouble(field)), 6, separator, kValueFieldWidth);
    }
    state.WriteLine();
    if (q + 1 == samples) break;  // no line is started after the last sample

    // The next sample's own time to the millisecond, lined up under the first line's time text.
    const PackedWithMilliseconds packed = Grv300SampleTime(first_time, interval, q + 1);
    line.Clear();
    line.AppendBlanks(13);
    line.AppendTimeText(packed.Stamp);
    line.Append('.');
    line.AppendUnsigned(packed.Milliseconds, 0);
    line.PadTo(kAuxFieldStart);
    line.Append(std::string_view(aux_field, kAuxFieldLength));
  }
}

}  // namespace ar4
