#pragma once
/// The working state of one export walk, shared by the writers of the cell-based types and of the GRV-300.
/// Internal to the export library.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/archive/format.hpp"
#include "core/export/export_files.hpp"
#include "core/export/export_walk.hpp"
#include "core/export/listing.hpp"

namespace ar4 {

/// TimeRecord (6 bytes) followed by ValueRecord (9 bytes).
inline constexpr std::size_t kTimeRecordSize = 6;
inline constexpr std::size_t kValueRecordSize = 9;
inline constexpr std::size_t kPenRecordSize = kTimeRecordSize + kValueRecordSize;
inline constexpr std::size_t kRelRecordSize = kTimeRecordSize + 1;
/// A flagged channel whose status byte is 0 still gets a non-zero status: 0 means "value present".
inline constexpr std::uint8_t kStatusForZeroCode = 254;
/// The GRV-300 writes one record and one listing line per sample and has no relays.
inline constexpr std::uint16_t kGrv300DeviceType = 89;

/// One overlap met inside a segment of the walk: the stamp exported before and the earlier stamp.
struct OverlapEntry {
  std::uint32_t Previous = 0;
  std::uint32_t Stamp = 0;
};

/// The time stamps of a segment of the walk as far as the overlap test needs them. The segment tracks the
/// previous stamp from its own first stamped exported cell on; whether that first cell is an overlap too is
/// decided when the segment is joined to the ones before it.
struct SegmentTimes {
  bool HasStamp = false;           // an exported cell with a time stamp (neither 0 nor 0xFFFFFFFF)
  std::uint32_t FirstStamp = 0;    // of the first such cell
  std::uint32_t LastStamp = 0;     // of the last such cell: the PreviousStamp after the segment
  char* FirstLine = nullptr;       // where the first such cell's listing line begins
  std::uint32_t OverlapCount = 0;  // overlaps after the first stamped cell
  std::uint32_t Listed = 0;        // entries kept of them, at most kMaxOverlapEntries
  std::array<OverlapEntry, kMaxOverlapEntries> Entries{};
};

/// The working state of the export of a segment of the walk: the records and listing lines go straight
/// into the segment's output buffers, which have room for every cell of the segment.
struct ExportState {
  ExportState(const DeviceProfile& profile, const ExportSettings& settings) : Profile(profile), Settings(settings) {}

  const DeviceProfile& Profile;
  const ExportSettings& Settings;
  /// The record areas of the channel and relay files. Types 73..76: where the segment's records begin
  /// (exported cell k has its records at k times the record size). GRV-300, which writes a varying number
  /// of records per cell: where its next record goes.
  std::array<std::uint8_t*, kFileSlots> Channels{};
  std::array<std::uint8_t*, kFileSlots> Relays{};
  /// The line being built; it begins where the last written line ended.
  ListingLine Line;
  std::uint32_t PreviousStamp = 0;
  SegmentTimes Times;
  /// Cells exported so far in the segment (counted by the writers of the cells).
  std::uint32_t ExportedCells = 0;
  /// The TimeRecord of the cell being exported, its six bytes in file order from the least significant.
  std::uint64_t TimeBits = 0;

  /// The overlap test against the previous exported stamp, the TimeRecord, and the time text that ends in
  /// column 35 (after an "A" put in front of the line for an overlap).
  inline void NoteCellTime(std::uint32_t stamp);
  /// Ends the listing line with CR LF and keeps it; the next line begins after it.
  void WriteLine() {
    Line.Append(kLineEnd);
    Line.StartAt(Line.Data() + Line.Size());
  }
};

/// The TimeRecord of a stamp (PackedToFields: year - 2000, month, day, hour, minute, second; six 0xFF bytes
/// for 0xFFFFFFFF) as six bytes from the least significant, computed without a detour through memory.
inline std::uint64_t TimeRecordBits(std::uint32_t stamp) {
  if (stamp == 0xFFFFFFFFu) return 0xFFFFFFFFFFFFull;
  return std::uint64_t{stamp >> 26} | (std::uint64_t{((stamp >> 22) & 0x0Fu) + 1} << 8) |
         (std::uint64_t{((stamp >> 17) & 0x1Fu) + 1} << 16) | (std::uint64_t{(stamp >> 12) & 0x1Fu} << 24) |
         (std::uint64_t{(stamp >> 6) & 0x3Fu} << 32) | (std::uint64_t{stamp & 0x3Fu} << 40);
}

inline void ExportState::NoteCellTime(std::uint32_t stamp) {
  if (HasTimeStamp(stamp)) {
    // Stamps order as unsigned integers; an equal stamp is no overlap, and the stamps 0 and 0xFFFFFFFF are
    // never compared and never become the previous stamp.
    if (!Times.HasStamp) {
      // The first stamped cell of the segment is compared with the segments before it when they are joined.
      Times.HasStamp = true;
      Times.FirstStamp = stamp;
      Times.FirstLine = Line.Data();
    } else if (stamp < PreviousStamp) {
      ++Times.OverlapCount;
      Line.PutInFront('A');
      if (Times.Listed < kMaxOverlapEntries) Times.Entries[Times.Listed++] = {PreviousStamp, stamp};
    }
    PreviousStamp = stamp;
  }
  TimeBits = TimeRecordBits(stamp);
  Line.AppendAlignedTimeText(stamp);
}


/// Eight bytes least significant first: one store on little-endian machines.
inline void PutLe64(std::uint8_t* p, std::uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &value, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

/// Room an output buffer keeps after its last record, for the eight-byte stores of the last one.
inline constexpr std::size_t kRecordSlack = 16;

/// A PenRecord written in place: the TimeRecord, the first eight bytes of the ValueRecord, its status byte.
inline void PutPenRecord(std::uint8_t*& out, std::uint64_t time_bits, std::uint64_t value_bytes,
                         std::uint8_t status) {
  PutLe64(out, time_bits);  // bytes 6 and 7 are overwritten next
  PutLe64(out + kTimeRecordSize, value_bytes);
  out[kTimeRecordSize + 8] = status;
  out += kPenRecordSize;
}

/// A RelRecord written in place: the TimeRecord and the state byte (the eighth byte stored is not kept).
inline void PutRelRecord(std::uint8_t*& out, std::uint64_t time_bits, std::uint64_t on) {
  PutLe64(out, time_bits | (on << (8 * kTimeRecordSize)));
  out += kRelRecordSize;
}

/// The status code of a flagged field: its first byte, or 254 for a code of 0.
inline std::uint8_t FlaggedStatus(const std::uint8_t* field) {
  return field[0] != 0 ? field[0] : kStatusForZeroCode;
}

/// One valid cell of type 73..76 within the bounds: one record per channel and relay file, one line; counts
/// the cell in ExportedCells.
void ExportChannelCell(ExportState& state, const std::uint8_t* cell);
/// One valid cell of type 89 within the bounds: one record and one line per sample; counts the cell.
void ExportGrv300Cell(ExportState& state, const std::uint8_t* cell);

}  // namespace ar4
