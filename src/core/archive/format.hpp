#pragma once
/// The layout of an ".ar4" archive: header offsets, the cell layout and the per-type DeviceProfile table.
/// Reader, scan, analysis, re-ordering, export and the generator all take their numbers from here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ar4 {

// File layout: a 256-byte header, then PageCount pages of 256 bytes (the MainBlock), then anything.
inline constexpr std::size_t kHeaderSize = 256;
inline constexpr std::size_t kPageSize = 256;
inline constexpr std::uint32_t kMaxPageCount = 131072;                       // 0x20000
inline constexpr std::size_t kMainBlockCapacity = kMaxPageCount * kPageSize;  // 32 MiB
inline constexpr std::uint64_t kMinFileSize = kHeaderSize + kPageSize;        // one header and one page

/// Offsets of the ArchiveHeader fields. Integers are little-endian and assembled byte by byte.
namespace header {
inline constexpr std::size_t kSignature = 0;        // 2 bytes: 'a' (0x61), 'r' (0x72)
inline constexpr std::size_t kMainBlockOffset = 2;  // u16, only printed; the main block always starts at 256
inline constexpr std::size_t kMainBlockSize = 4;    // u64; PageCount comes from bytes 5..7 only
inline constexpr std::size_t kFormatVersion = 12;   // u16
inline constexpr std::size_t kFirmwareCount = 14;   // u8, valid 1..3
inline constexpr std::size_t kFirmware = 15;        // u8 x 3
inline constexpr std::size_t kDeviceType = 18;      // u16
inline constexpr std::size_t kDataFormatMajor = 20; // u8
inline constexpr std::size_t kDataFormatMinor = 21; // u8
inline constexpr std::size_t kCreationDate = 22;    // PackedDateTime
inline constexpr std::size_t kSerialNumber = 26;    // u32
inline constexpr std::uint8_t kSignature0 = 0x61;
inline constexpr std::uint8_t kSignature1 = 0x72;
}  // namespace header

/// The common part of every ArchiveCell: marker, length, time stamp; the check byte is the cell's last byte.
namespace cell {
inline constexpr std::size_t kMarker = 0;  // 0xA5
inline constexpr std::size_t kLength = 1;  // must equal CellSize
inline constexpr std::size_t kStamp = 2;   // PackedDateTime, u32
inline constexpr std::size_t kRelays = 6;  // relay states of types 73..76
inline constexpr std::uint8_t kMarkerValue = 0xA5;
// Type 89 (GRV-300) cells.
inline constexpr std::size_t kSampleInterval = 6;  // whole seconds, 0 = 1/8 second
inline constexpr std::size_t kSampleCount = 7;     // bits 0..3: samples - 1
inline constexpr std::size_t kAuxByteA = 8;
inline constexpr std::size_t kAuxByteB = 9;
inline constexpr std::size_t kAuxValueC = 10;  // IEEE single, little-endian
inline constexpr std::size_t kAuxValueD = 14;  // IEEE single, little-endian
inline constexpr std::size_t kSampleFlags = 18;  // u16
inline constexpr std::size_t kFirstSample = 20;  // sample q at 20 + 4q
inline constexpr std::size_t kMaxSamples = 16;
}  // namespace cell

/// Where a type keeps the flags that mark a channel as "no value, status code instead".
enum class FlagLayout : std::uint8_t {
  kByte8,       // types 73, 74: bit g of byte 8
  kWord8,       // type 75: bit g of the u16 over bytes 8..9
  kByte7Bit0,   // type 76: bit 0 of byte 7
  kWord18,      // type 89: bit q of the u16 over bytes 18..19 (samples)
};

/// The per-type constants of an instrument.
struct DeviceProfile {
  std::uint16_t DeviceType;
  std::string_view Model;               // UTF-8, as the report's first line names it
  std::uint8_t CellSize;
  std::uint8_t CellsPerPage;            // 256 div CellSize
  std::uint8_t Channels;                // channel files; type 89: one channel with up to 16 samples
  std::uint8_t Relays;
  FlagLayout Flags;
  std::uint8_t FirstFieldOffset;        // channel (or sample) field g at FirstFieldOffset + 4g
  std::uint32_t NominalCapacity;        // 0 for type 89: there it is 3 x PageCount
  std::string_view DeviceFolderPrefix;  // UTF-8 ("ЛС 260-" is Cyrillic; type 89 uses Latin letters)
  bool IeeeLittleEndian;                // type 89 stores plain IEEE singles, least significant byte first
};

inline constexpr std::array<DeviceProfile, 5> kDeviceProfiles{{
    {73, "VR7731", 26, 9, 4, 8, FlagLayout::kByte8, 9, 1179648, "VR7731-", false},
    {74, "VR7732", 42, 6, 8, 8, FlagLayout::kByte8, 9, 786432, "VR7732-", false},
    {75, "VR7733", 75, 3, 16, 3, FlagLayout::kWord8, 10, 393216, "VR7733-", false},
    {76, "ЛС 260", 13, 19, 1, 4, FlagLayout::kByte7Bit0, 8, 2490368, "ЛС 260-", false},
    {89, "ГРВ-300", 85, 3, 1, 0, FlagLayout::kWord18, 20, 0, "GRV 300-", true},
}};

/// The profile of a DeviceType, or nullptr for a type the system does not know.
constexpr const DeviceProfile* FindDeviceProfile(std::uint16_t device_type) {
  for (const DeviceProfile& p : kDeviceProfiles) {
    if (p.DeviceType == device_type) return &p;
  }
  return nullptr;
}

/// NominalCapacity of the report's fill line: fixed per type, for type 89 the cells of this file.
constexpr std::uint32_t NominalCapacityOf(const DeviceProfile& p, std::uint32_t page_count) {
  return p.NominalCapacity != 0 ? p.NominalCapacity : 3u * page_count;
}

/// A cell address inside the MainBlock: page index and cell index within the page.
struct CellPosition {
  std::uint32_t Page = 0;
  std::uint32_t Cell = 0;
  friend constexpr bool operator==(const CellPosition&, const CellPosition&) = default;
};

/// The ring the cells form: PageCount pages of CellsPerPage cells, the last page followed by page 0.
struct RingGeometry {
  std::uint32_t PageCount = 1;
  std::uint8_t CellSize = 1;
  std::uint8_t CellsPerPage = 1;

  static constexpr RingGeometry Of(const DeviceProfile& p, std::uint32_t page_count) {
    return {page_count, p.CellSize, p.CellsPerPage};
  }
  constexpr std::uint32_t TotalCells() const { return PageCount * CellsPerPage; }
  /// Byte offset of a cell within the MainBlock.
  constexpr std::size_t Offset(CellPosition pos) const {
    return std::size_t{pos.Page} * kPageSize + std::size_t{pos.Cell} * CellSize;
  }
  /// The ring successor rule: the next cell of the page while one more fits, else cell 0 of the next
  /// page; the page after the last one is page 0.
  constexpr CellPosition Next(CellPosition pos) const {
    if ((pos.Cell + 2u) * CellSize <= kPageSize) return {pos.Page, pos.Cell + 1};
    return {pos.Page + 1 >= PageCount ? 0u : pos.Page + 1, 0};
  }
};

// Little-endian integers assembled byte by byte, so no buffer needs alignment.
constexpr std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
constexpr std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

/// The cell's time stamp (bytes 2..5).
constexpr std::uint32_t CellStamp(const std::uint8_t* cell_bytes) { return ReadU32(cell_bytes + cell::kStamp); }

/// 0 and 0xFFFFFFFF mean that a cell carries no time stamp.
constexpr bool HasTimeStamp(std::uint32_t stamp) { return stamp != 0 && stamp != 0xFFFFFFFFu; }

/// PageCount from header bytes 5 (low), 6 and 7 (high); byte 4 and bytes 8..11 take no part.
constexpr std::uint32_t PageCountOf(const std::uint8_t* header_bytes) {
  return std::uint32_t{header_bytes[5]} | (std::uint32_t{header_bytes[6]} << 8) |
         (std::uint32_t{header_bytes[7]} << 16);
}

}  // namespace ar4
