#pragma once
/// Synthetic ".ar4" archives for tests, benchmarks, fuzz seeds and samples, deterministic from a seed.
/// Low level: header and cell writers that put every byte where the format says. High level:
/// GenerateArchive, which fills a whole ring from a few options.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/archive/format.hpp"

namespace ar4gen {

/// Every field of the 256-byte header.
struct HeaderFields {
  std::uint16_t DeviceType = 73;
  std::uint32_t PageCount = 1;       // written to bytes 5..7 (the size field's pages)
  std::uint8_t SizeLowByte = 0;      // byte 4, the size's remainder below 256 (takes no part)
  std::uint32_t SizeHigh = 0;        // bytes 8..11 (takes no part)
  std::uint16_t MainBlockOffset = 256;
  std::uint16_t FormatVersion = 1;
  std::uint8_t FirmwareCount = 3;    // valid 1..3; 0 and 4.. give "Отсутствует"
  std::array<std::uint8_t, 3> Firmware{2, 24, 1};
  std::uint8_t DataFormatMajor = 1;
  std::uint8_t DataFormatMinor = 0;
  std::uint32_t CreationDate = 0;    // PackedDateTime
  std::uint32_t SerialNumber = 1042;
  bool BadSignature = false;
};

/// Writes the 256 header bytes.
void WriteHeader(std::uint8_t* header, const HeaderFields& fields);

/// The contents of one cell, as stored.
struct CellContent {
  std::uint32_t Stamp = 0;
  std::uint8_t Relays = 0;                    // byte 6 of types 73..76
  std::uint16_t Flags = 0;                    // channel flags (types 73..76) or sample flags (89)
  std::array<std::array<std::uint8_t, 4>, 16> Fields{};  // channel or sample fields, bytes as stored
  // Type 89 only.
  std::uint8_t SampleInterval = 1;            // byte 6: seconds, 0 = 1/8 second
  std::uint8_t SampleByte = 0;                // byte 7: bits 0..3 = samples - 1
  std::uint8_t AuxA = 0;
  std::uint8_t AuxB = 0;
  std::array<std::uint8_t, 4> AuxC{};         // little-endian IEEE single
  std::array<std::uint8_t, 4> AuxD{};
};

enum class Damage { kNone, kMarker, kLength, kChecksum };

/// Writes one cell of the given type (marker, length, stamp, payload, check byte), damaged if asked.
void WriteCell(std::uint8_t* cell, const ar4::DeviceProfile& profile, const CellContent& content,
               Damage damage = Damage::kNone);

/// A DeviceFloat field (IEEE single bits, most significant byte first) and a GRV-300 field (least first).
std::array<std::uint8_t, 4> EncodeDeviceFloat(float value);
std::array<std::uint8_t, 4> EncodeSingleLe(float value);

/// The stamp `seconds` later (or earlier) on the calendar; fields beyond the calendar are first brought
/// into range, and the result is held within 2000..2063.
std::uint32_t StampAfterSeconds(std::uint32_t stamp, std::int64_t seconds);

/// A stamp as the ar4gen command takes it: "0x" and a hexadecimal number (any 32-bit value, 0 and
/// 0xFFFFFFFF included), a decimal number, or YYYY-MM-DD[THH:MM:SS] (year 2000..2063, month 1..12,
/// day 1..31, no calendar test, like the instruments' own fields). Nothing for anything else.
std::optional<std::uint32_t> ParseStampText(std::string_view text);

/// The options of a whole generated archive.
struct GeneratorOptions {
  std::uint64_t Seed = 1;
  HeaderFields Header{};                 // Header.DeviceType and Header.PageCount choose type and size
  std::uint32_t FileTailBytes = 0;       // extra bytes after the main block
  std::uint32_t WrapSlot = 0;            // ring slot of the oldest cell (where the ring wrapped)
  std::optional<std::uint32_t> FilledCells;  // cells written from WrapSlot on; the rest stays 0xFF (erased)
  std::uint32_t FirstStamp = 0x38000000; // 1 January 2014 00:00:00
  std::uint32_t StepSeconds = 10;        // time between neighbouring cells
  std::uint32_t SetBacks = 0;            // clock set-backs, spread evenly along the written cells
  // Per-cell probabilities in 0..1.
  double MarkerDamage = 0, LengthDamage = 0, ChecksumDamage = 0;
  double ZeroStamps = 0, AllOnesStamps = 0, EqualStamps = 0;
  double FlaggedChannels = 0;            // per channel/sample; status codes 0..255 (0 included)
  double SpecialValues = 0;              // ±250000, ±100000, infinities, NaN, subnormals, exponents 254/255
  std::uint8_t Samples = 0;              // type 89: samples per cell 1..16, 0 = random
  int SampleInterval = -1;               // type 89: byte 6, -1 = random (0 included)
};

/// The whole file: header, PageCount pages, FileTailBytes.
std::vector<std::uint8_t> GenerateArchive(const GeneratorOptions& options);

}  // namespace ar4gen
