#include "core/export/export_walk.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/archive/codecs.hpp"
#include "core/export/export_segments.hpp"
#include "core/export/export_state.hpp"
#include "core/export/number_format.hpp"
#include "core/export/walk_steps.hpp"

namespace ar4 {
namespace {

/// The four bytes of `value` in the opposite order (one instruction on common machines). The hosts are
/// little-endian (checked where the listing fields are written).
constexpr std::uint32_t ByteSwap32(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

bool OnRing(CellPosition position, const RingGeometry& ring) {
  return position.Page < ring.PageCount && position.Cell < ring.CellsPerPage;
}

void CheckInputs(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                 const ExportBounds& bounds) {
  // The writers of the cells know the types by their entries in the profile table.
  if (main_block == nullptr || FindDeviceProfile(profile.DeviceType) != &profile || ring.PageCount == 0 ||
      ring.PageCount > kMaxPageCount ||
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
  files.Create(pen_file, file_system, folder / PathFromUtf8(kPenFileName));
  pen_file.Write(pen.data(), pen.size());
  pen_file.Close();

  files.Create(files.Listing(), file_system, folder / PathFromUtf8(kListingFileName));
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    files.Create(files.Channel(g), file_system, folder / ChannelFileName(g));
  }
  for (std::size_t r = 0; r < profile.Relays; ++r) {
    files.Create(files.Relay(r), file_system, folder / RelayFileName(r));
  }
}

}  // namespace

namespace {

/// The relay digits of a listing line for every value of the relay byte: "  0" or "  1" for relays 1 to 8.
/// A type with M relays takes the first 3 M characters.
constexpr std::size_t kRelayTextLength = 3 * 8;
constexpr auto kRelayTexts = [] {
  std::array<std::array<char, kRelayTextLength>, 256> texts{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    for (std::size_t r = 0; r < 8; ++r) {
      texts[byte][3 * r] = ' ';
      texts[byte][3 * r + 1] = ' ';
      texts[byte][3 * r + 2] = static_cast<char>('0' + ((byte >> r) & 1u));
    }
  }
  return texts;
}();

/// The export of one cell for the type kDeviceProfiles[kIndex]: its channel count, relay count and flag
/// layout are constants here, so the loops over channels and relays are laid out in full.
template <std::size_t kIndex>
void ExportCellOfType(ExportState& state, const std::uint8_t* cell) {
  constexpr std::size_t kChannels = kDeviceProfiles[kIndex].Channels;
  constexpr std::size_t kRelays = kDeviceProfiles[kIndex].Relays;
  constexpr FlagLayout kFlags = kDeviceProfiles[kIndex].Flags;
  constexpr std::size_t kFirstField = kDeviceProfiles[kIndex].FirstFieldOffset;
  static_assert(kRelays <= 8);
  const char separator = state.Settings.DecimalSeparator;
  state.NoteCellTime(CellStamp(cell));
  const std::uint64_t time = state.TimeBits;
  ListingLine& line = state.Line;
  // The line's end lives in a local for the cell: the stores of the text are byte stores, which the
  // compiler would otherwise have to assume may change it. Every exported cell puts one record into each
  // file, so the cell's records lie at the same index of every record area.
  char* out = line.End();
  const std::size_t index = state.ExportedCells;
  // The values of all the channels first, several at a time; a flagged channel's field then gets its status
  // text instead.
  static_assert(kValueFieldWidth == kDeviceFloatFieldWidth);
  WriteDeviceFloatFields<kChannels>(out, cell + kFirstField, separator);
  const auto channel = [&](std::size_t g) {
    const std::uint8_t* field = cell + kFirstField + 4 * g;
    std::uint8_t* record = state.Channels[g] + index * kPenRecordSize;
    if (ChannelFlagged(cell, kFlags, g)) [[unlikely]] {
      const std::uint8_t status = FlaggedStatus(field);
      PutPenRecord(record, time, 0, status);
      line.SetEnd(out + g * kValueFieldWidth);
      line.AppendStatus(status, kValueFieldWidth);
    } else {
      // The DeviceFloat is stored most significant byte first; the record holds it least significant first.
      std::uint32_t stored;
      std::memcpy(&stored, field, 4);
      PutPenRecord(record, time, ByteSwap32(stored), 0);
    }
  };
  [&]<std::size_t... kG>(std::index_sequence<kG...>) { (channel(kG), ...); }
  (std::make_index_sequence<kChannels>());
  out += kChannels * kValueFieldWidth;

  // Seven blanks, the relay digits, CR LF.
  std::memset(out, ' ', 7);
  out += 7;
  const std::uint8_t relay_bits = cell[cell::kRelays];
  const auto relay = [&](std::size_t r) {
    std::uint8_t* record = state.Relays[r] + index * kRelRecordSize;
    PutRelRecord(record, time, (relay_bits >> r) & 1u);
  };
  [&]<std::size_t... kR>(std::index_sequence<kR...>) { (relay(kR), ...); }
  (std::make_index_sequence<kRelays>());
  std::memcpy(out, kRelayTexts[relay_bits].data(), 3 * kRelays);
  out += 3 * kRelays;
  std::memcpy(out, kLineEnd.data(), kLineEnd.size());
  out += kLineEnd.size();
  line.StartAt(out);  // the next line begins after this one
  ++state.ExportedCells;
}

template <std::size_t... kIndex>
constexpr auto CellExporters(std::index_sequence<kIndex...>) {
  return std::array<void (*)(ExportState&, const std::uint8_t*), sizeof...(kIndex)>{&ExportCellOfType<kIndex>...};
}

/// One exporter per entry of the profile table (the one of type 89 is never called).
constexpr auto kCellExporters = CellExporters(std::make_index_sequence<kDeviceProfiles.size()>());

}  // namespace

void ExportChannelCell(ExportState& state, const std::uint8_t* cell) {
  // The profile is an entry of the table (checked before the walk).
  kCellExporters[static_cast<std::size_t>(&state.Profile - kDeviceProfiles.data())](state, cell);
}

std::string PenText(const DeviceProfile& profile) {
  std::string text;
  for (std::size_t g = 0; g < profile.Channels; ++g) {
    text += ChannelFileName(g);
    text += "\r\n\xB0" "C\r\n";  // the degree sign is the Windows-1251 byte 0xB0
  }
  return text;
}

ExportResult RunExportWith(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                           const ExportBounds& bounds, const ExportSettings& settings,
                           const std::filesystem::path& output_folder, ExportFiles& files,
                           OutputFileSystem& file_system, const GaugeCallback& gauge, Pacer& pacer,
                           const WalkOptions& options, const std::uint32_t* valid_masks) {
  CheckInputs(main_block, ring, profile, bounds);
  OpenFiles(profile, output_folder, files, file_system);
  ExportResult result =
      ExportWalk({main_block, ring, profile, bounds, settings, valid_masks}, files, gauge, pacer, options);
  files.FlushAll();
  return result;
}

ExportResult RunExport(const std::uint8_t* main_block, const RingGeometry& ring, const DeviceProfile& profile,
                       const ExportBounds& bounds, const ExportSettings& settings,
                       const std::filesystem::path& output_folder, ExportFiles& files,
                       OutputFileSystem& file_system, const GaugeCallback& gauge, Pacer& pacer,
                       const std::uint32_t* valid_masks) {
  return RunExportWith(main_block, ring, profile, bounds, settings, output_folder, files, file_system, gauge, pacer,
                       WalkOptions{}, valid_masks);
}

}  // namespace ar4
