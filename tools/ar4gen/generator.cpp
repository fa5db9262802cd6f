#include "ar4gen/generator.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/archive/codecs.hpp"

namespace ar4gen {
namespace {

void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::array<std::uint8_t, 4> BitsMsbFirst(std::uint32_t bits) {
  return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

std::array<std::uint8_t, 4> BitsLsbFirst(std::uint32_t bits) {
  return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

/// splitmix64: small, fast and the same on every platform and standard library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Bits32() { return static_cast<std::uint32_t>(Next() >> 32); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
  /// Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  /// Uniform in [0, bound); 0 for bound 0.
  std::uint64_t Below(std::uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }
  /// True with probability p; draws nothing for p <= 0, so options left at 0 do not shift the stream.
  bool Chance(double p) { return p > 0 && Unit() < p; }

 private:
  std::uint64_t state_;
};

// ---- Calendar: a seconds counter from 1 January 2000 00:00:00, packed through the civil date. ----

constexpr std::int64_t kSecondsPerDay = 86400;

constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  std::int64_t Year;
  unsigned Month;
  unsigned Day;
};

constexpr Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t kEpochDays = DaysFromCivil(2000, 1, 1);
// 31 December 2063 23:59:59, the last second a PackedDateTime can hold.
constexpr std::int64_t kLastSecond = (DaysFromCivil(2064, 1, 1) - kEpochDays) * kSecondsPerDay - 1;

unsigned DaysInMonth(std::int64_t year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && year % 4 == 0) return 29;  // 2000..2063: every fourth year, 2000 included
  return kDays[month - 1];
}

/// The seconds counter of a packed stamp; fields beyond the calendar are brought into range first.
std::int64_t SecondsOfStamp(std::uint32_t stamp) {
  const std::int64_t year = 2000 + (stamp >> 26);
  const unsigned month = std::min(((stamp >> 22) & 0x0F) + 1, 12u);
  const unsigned day = std::min(((stamp >> 17) & 0x1F) + 1, DaysInMonth(year, month));
  const std::int64_t hour = std::min((stamp >> 12) & 0x1F, 23u);
  const std::int64_t minute = std::min((stamp >> 6) & 0x3F, 59u);
  const std::int64_t second = std::min(stamp & 0x3F, 59u);
  return (DaysFromCivil(year, month, day) - kEpochDays) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

/// The packed stamp of a seconds counter; held within 2000..2063.
std::uint32_t StampOfSeconds(std::int64_t seconds) {
  seconds = std::clamp<std::int64_t>(seconds, 0, kLastSecond);
  const Civil date = CivilFromDays(kEpochDays + seconds / kSecondsPerDay);
  const auto time = static_cast<std::uint32_t>(seconds % kSecondsPerDay);
  return (static_cast<std::uint32_t>(date.Year - 2000) << 26) | ((date.Month - 1) << 22) |
         ((date.Day - 1) << 17) | ((time / 3600) << 12) | (((time / 60) % 60) << 6) | (time % 60);
}

// ---- Values ----

/// IEEE single bit patterns that the readers must treat with care.
std::uint32_t SpecialValueBits(Random& rng) {
  const std::uint32_t sign = (rng.Next() & 1) ? 0x80000000u : 0;
  const std::uint32_t fraction = rng.Bits32() & 0x007FFFFFu;
  switch (rng.Below(12)) {
    case 0: return sign | std::bit_cast<std::uint32_t>(250000.0f);
    case 1: return sign | std::bit_cast<std::uint32_t>(100000.0f);  // exactly the limit
    case 2: return sign | 0x7F800000u;                               // infinity
    case 3: return 0x7FC00000u | fraction;                           // quiet NaN
    case 4: return sign | 0x7F800000u | (fraction | 1);             // NaN, any fraction
    case 5: return sign | (fraction | 1);                            // subnormal
    case 6: return sign | 0x7F000000u | fraction;                    // exponent 254
    case 7: return sign | 0x7F7FFFFFu;                               // the largest single
    case 8: return sign;                                             // +0.0 and -0.0
    case 9: return sign | std::bit_cast<std::uint32_t>(100001.0f);  // just beyond the limit
    case 10: return sign | 0x00800000u;                              // the smallest normal
    default: return sign | std::bit_cast<std::uint32_t>(99999.99f);
  }
}

/// An ordinary measurement: -50..150 with three decimals.
std::uint32_t OrdinaryValueBits(Random& rng) {
  const double value = std::round((-50.0 + 200.0 * rng.Unit()) * 1000.0) / 1000.0;
  return std::bit_cast<std::uint32_t>(static_cast<float>(value));
}

std::array<std::uint8_t, 4> FieldOf(std::uint32_t bits, bool little_endian) {
  return little_endian ? BitsLsbFirst(bits) : BitsMsbFirst(bits);
}

/// Fills one channel or sample field: a status code when flagged, else a value. Returns the flag.
bool FillField(std::array<std::uint8_t, 4>& field, const GeneratorOptions& options, bool little_endian,
               Random& rng) {
  if (rng.Chance(options.FlaggedChannels)) {
    const std::uint32_t bits = rng.Bits32();
    field = BitsLsbFirst(bits);
    // A status code of 0 is the interesting case for the readers: make it common.
    if (rng.Below(4) == 0) field[0] = 0;
    return true;
  }
  const std::uint32_t bits = rng.Chance(options.SpecialValues) ? SpecialValueBits(rng) : OrdinaryValueBits(rng);
  field = FieldOf(bits, little_endian);
  return false;
}

std::uint8_t RandomSampleInterval(Random& rng) {
  static constexpr std::uint8_t kCommon[] = {0, 1, 2, 5, 10, 60};
  if (rng.Below(4) == 0) return rng.Byte();
  return kCommon[rng.Below(std::size(kCommon))];
}

void FillContent(CellContent& content, const ar4::DeviceProfile& profile, const GeneratorOptions& options,
                 Random& rng) {
  content.Flags = 0;
  if (profile.DeviceType == 89) {
    const unsigned samples =
        options.Samples == 0 ? 1 + static_cast<unsigned>(rng.Below(16)) : std::min<unsigned>(options.Samples, 16);
    content.SampleByte = static_cast<std::uint8_t>(samples - 1);
    // Bits 4..7 of byte 7 carry nothing; set them now and then so readers learn to mask them.
    if (rng.Below(4) == 0) content.SampleByte |= static_cast<std::uint8_t>(rng.Byte() & 0xF0);
    content.SampleInterval = options.SampleInterval < 0 ? RandomSampleInterval(rng)
                                                        : static_cast<std::uint8_t>(options.SampleInterval);
    content.AuxA = rng.Byte();
    content.AuxB = rng.Byte();
    for (std::array<std::uint8_t, 4>* aux : {&content.AuxC, &content.AuxD}) {
      const double value = std::round((-1000.0 + 2000.0 * rng.Unit()) * 10000.0) / 10000.0;
      std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
      if (rng.Chance(options.SpecialValues)) bits = SpecialValueBits(rng);
      *aux = BitsLsbFirst(bits);
    }
    // The cell always carries 16 sample fields; those beyond the count are filled all the same.
    for (unsigned q = 0; q < ar4::cell::kMaxSamples; ++q) {
      if (FillField(content.Fields[q], options, true, rng)) content.Flags |= static_cast<std::uint16_t>(1u << q);
    }
    return;
  }
  content.Relays = static_cast<std::uint8_t>(rng.Byte() & ((1u << profile.Relays) - 1u));
  for (unsigned g = 0; g < profile.Channels; ++g) {
    if (FillField(content.Fields[g], options, false, rng)) content.Flags |= static_cast<std::uint16_t>(1u << g);
  }
}

/// Damages a written cell so that exactly the named test fails: a wrong marker or length keeps a
/// matching check byte. `variant` picks the wrong byte.
void ApplyDamage(std::uint8_t* cell, std::uint8_t cell_size, Damage damage, std::uint8_t variant) {
  const std::size_t check = cell_size - 1u;
  switch (damage) {
    case Damage::kNone:
      return;
    case Damage::kMarker:
      cell[ar4::cell::kMarker] = variant == ar4::cell::kMarkerValue ? 0x5A : variant;
      break;
    case Damage::kLength:
      cell[ar4::cell::kLength] = variant == cell_size ? static_cast<std::uint8_t>(cell_size + 1) : variant;
      break;
    case Damage::kChecksum:
      cell[check] = static_cast<std::uint8_t>(ar4::CellChecksum(cell, check) ^ (variant == 0 ? 1 : variant));
      return;
  }
  cell[check] = ar4::CellChecksum(cell, check);
}

}  // namespace

void WriteHeader(std::uint8_t* header, const HeaderFields& fields) {
  std::memset(header, 0, ar4::kHeaderSize);
  header[ar4::header::kSignature] = fields.BadSignature ? 0x41 : ar4::header::kSignature0;
  header[ar4::header::kSignature + 1] = fields.BadSignature ? 0x52 : ar4::header::kSignature1;
  PutU16(header + ar4::header::kMainBlockOffset, fields.MainBlockOffset);
  // The 64-bit size: byte 4 the remainder below 256, bytes 5..7 the pages, bytes 8..11 the high half.
  std::uint8_t* size = header + ar4::header::kMainBlockSize;
  size[0] = fields.SizeLowByte;
  size[1] = static_cast<std::uint8_t>(fields.PageCount);
  size[2] = static_cast<std::uint8_t>(fields.PageCount >> 8);
  size[3] = static_cast<std::uint8_t>(fields.PageCount >> 16);
  PutU32(size + 4, fields.SizeHigh);
  PutU16(header + ar4::header::kFormatVersion, fields.FormatVersion);
  header[ar4::header::kFirmwareCount] = fields.FirmwareCount;
  std::copy(fields.Firmware.begin(), fields.Firmware.end(), header + ar4::header::kFirmware);
  PutU16(header + ar4::header::kDeviceType, fields.DeviceType);
  header[ar4::header::kDataFormatMajor] = fields.DataFormatMajor;
  header[ar4::header::kDataFormatMinor] = fields.DataFormatMinor;
  PutU32(header + ar4::header::kCreationDate, fields.CreationDate);
  PutU32(header + ar4::header::kSerialNumber, fields.SerialNumber);
}

void WriteCell(std::uint8_t* cell, const ar4::DeviceProfile& profile, const CellContent& content,
               Damage damage) {
  const std::size_t size = profile.CellSize;
  std::memset(cell, 0, size);
  cell[ar4::cell::kMarker] = ar4::cell::kMarkerValue;
  cell[ar4::cell::kLength] = profile.CellSize;
  PutU32(cell + ar4::cell::kStamp, content.Stamp);
  unsigned fields = profile.Channels;
  switch (profile.Flags) {
    case ar4::FlagLayout::kByte8:
      cell[ar4::cell::kRelays] = content.Relays;
      cell[8] = static_cast<std::uint8_t>(content.Flags);
      break;
    case ar4::FlagLayout::kWord8:
      cell[ar4::cell::kRelays] = content.Relays;
      PutU16(cell + 8, content.Flags);
      break;
    case ar4::FlagLayout::kByte7Bit0:
      cell[ar4::cell::kRelays] = content.Relays;
      cell[7] = static_cast<std::uint8_t>(content.Flags);
      break;
    case ar4::FlagLayout::kWord18:
      cell[ar4::cell::kSampleInterval] = content.SampleInterval;
      cell[ar4::cell::kSampleCount] = content.SampleByte;
      cell[ar4::cell::kAuxByteA] = content.AuxA;
      cell[ar4::cell::kAuxByteB] = content.AuxB;
      std::copy(content.AuxC.begin(), content.AuxC.end(), cell + ar4::cell::kAuxValueC);
      std::copy(content.AuxD.begin(), content.AuxD.end(), cell + ar4::cell::kAuxValueD);
      PutU16(cell + ar4::cell::kSampleFlags, content.Flags);
      fields = ar4::cell::kMaxSamples;
      break;
  }
  for (unsigned g = 0; g < fields; ++g) {
    std::copy(content.Fields[g].begin(), content.Fields[g].end(), cell + profile.FirstFieldOffset + 4 * g);
  }
  cell[size - 1] = ar4::CellChecksum(cell, size - 1);
  ApplyDamage(cell, profile.CellSize, damage, 0);
}

std::array<std::uint8_t, 4> EncodeDeviceFloat(float value) {
  return BitsMsbFirst(std::bit_cast<std::uint32_t>(value));
}

std::array<std::uint8_t, 4> EncodeSingleLe(float value) { return BitsLsbFirst(std::bit_cast<std::uint32_t>(value)); }

std::uint32_t StampAfterSeconds(std::uint32_t stamp, std::int64_t seconds) {
  return StampOfSeconds(SecondsOfStamp(stamp) + seconds);
}

namespace {

/// Reads `width` decimal digits at `pos`.
std::optional<unsigned> DigitsAt(std::string_view text, std::size_t pos, std::size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return value;
}

std::optional<std::uint32_t> ParseNumber(std::string_view digits, unsigned base) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char ch : digits) {
    unsigned digit = 0;
    if (ch >= '0' && ch <= '9') digit = static_cast<unsigned>(ch - '0');
    else if (base == 16 && ch >= 'a' && ch <= 'f') digit = static_cast<unsigned>(ch - 'a' + 10);
    else if (base == 16 && ch >= 'A' && ch <= 'F') digit = static_cast<unsigned>(ch - 'A' + 10);
    else return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::uint32_t> ParseStampText(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseNumber(text.substr(2), 16);
  }
  if (text.size() != 10 && text.size() != 19) return ParseNumber(text, 10);
  const auto year = DigitsAt(text, 0, 4), month = DigitsAt(text, 5, 2), day = DigitsAt(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return ParseNumber(text, 10);
  if (*year < 2000 || *year > 2063 || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  unsigned hour = 0, minute = 0, second = 0;
  if (text.size() == 19) {
    const auto h = DigitsAt(text, 11, 2), m = DigitsAt(text, 14, 2), s = DigitsAt(text, 17, 2);
    if (!h || !m || !s || (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':') {
      return std::nullopt;
    }
    if (*h > 23 || *m > 59 || *s > 59) return std::nullopt;
    hour = *h, minute = *m, second = *s;
  }
  return ar4::PackDate(static_cast<int>(*day), static_cast<int>(*month), static_cast<int>(*year)) |
         (hour << 12) | (minute << 6) | second;
}

std::vector<std::uint8_t> GenerateArchive(const GeneratorOptions& options) {
  const std::uint32_t page_count = options.Header.PageCount;
  const std::size_t block_size = std::size_t{page_count} * ar4::kPageSize;
  std::vector<std::uint8_t> file(ar4::kHeaderSize + block_size + options.FileTailBytes, 0xFF);
  WriteHeader(file.data(), options.Header);

  Random rng(options.Seed);
  std::uint8_t* block = file.data() + ar4::kHeaderSize;
  const ar4::DeviceProfile* profile = ar4::FindDeviceProfile(options.Header.DeviceType);
  if (profile != nullptr && page_count != 0) {
    const ar4::RingGeometry ring = ar4::RingGeometry::Of(*profile, page_count);
    const std::uint32_t total = ring.TotalCells();
    const std::uint32_t filled = std::min(options.FilledCells.value_or(total), total);
    // A set-back needs a cell before it; set-back j (1..SetBacks) falls on cell j * filled / (SetBacks + 1).
    const std::uint32_t set_backs = filled == 0 ? 0 : std::min(options.SetBacks, filled - 1);
    std::uint32_t next_set_back_index = 1;
    auto set_back_cell = [&](std::uint32_t j) {
      return static_cast<std::uint32_t>(std::uint64_t{j} * filled / (std::uint64_t{set_backs} + 1));
    };

    std::int64_t clock = SecondsOfStamp(options.FirstStamp);
    std::int64_t previous_clock = clock;
    std::uint32_t previous_stamp = 0;
    CellContent content;
    ar4::CellPosition pos{(options.WrapSlot % total) / profile->CellsPerPage,
                          (options.WrapSlot % total) % profile->CellsPerPage};
    for (std::uint32_t i = 0; i < filled; ++i, pos = ring.Next(pos)) {
      bool set_back = false;
      if (next_set_back_index <= set_backs && i == set_back_cell(next_set_back_index)) {
        ++next_set_back_index;
        // Back by more than a step: from one hour up to about a month, never before 2000.
        const std::int64_t back =
            std::int64_t{options.StepSeconds} + 3600 + static_cast<std::int64_t>(rng.Below(30 * kSecondsPerDay));
        clock = std::max<std::int64_t>(1, clock - back);
        set_back = true;
      } else if (i != 0) {
        clock = std::min(clock + options.StepSeconds, kLastSecond);
      }
      std::uint32_t stamp = StampOfSeconds(clock);
      // A set-back cell stays whole and stamped, so every set-back shows as a backward step.
      if (!set_back) {
        if (i != 0 && rng.Chance(options.EqualStamps)) {
          stamp = previous_stamp;
          clock = previous_clock;  // the clock did not move
        } else if (rng.Chance(options.ZeroStamps)) {
          stamp = 0;
        } else if (rng.Chance(options.AllOnesStamps)) {
          stamp = 0xFFFFFFFFu;
        }
      }
      previous_clock = clock;
      previous_stamp = stamp;
      content.Stamp = stamp;
      FillContent(content, *profile, options, rng);

      Damage damage = Damage::kNone;
      if (!set_back) {
        if (rng.Chance(options.MarkerDamage)) damage = Damage::kMarker;
        else if (rng.Chance(options.LengthDamage)) damage = Damage::kLength;
        else if (rng.Chance(options.ChecksumDamage)) damage = Damage::kChecksum;
      }
      std::uint8_t* cell = block + ring.Offset(pos);
      WriteCell(cell, *profile, content);
      if (damage != Damage::kNone) ApplyDamage(cell, profile->CellSize, damage, rng.Byte());
    }
  }

  // The bytes after the main block are ignored by readers; give them something other than padding.
  std::uint8_t* tail = block + block_size;
  for (std::uint32_t i = 0; i < options.FileTailBytes; ++i) tail[i] = rng.Byte();
  return file;
}

}  // namespace ar4gen
