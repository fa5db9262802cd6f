// Whole output files, byte for byte, for small archives of every type whose cells hold known bytes. The
// expected bytes are written out here from the file formats (listing columns and widths, CR LF, the
// PenRecord and RelRecord layouts, the GRV-300 sample lines), not taken from the export's own helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "export_test_support.hpp"

namespace ar4 {
namespace {

using test::ExportRun;
using test::Ring;
using Bytes4 = std::array<std::uint8_t, 4>;
using Bytes = std::vector<std::uint8_t>;

/// `text` right-aligned in `width` characters.
std::string Pad(const std::string& text, std::size_t width) { return std::string(width - text.size(), ' ') + text; }
/// A channel or sample field of the listing.
std::string Field(const std::string& text) { return Pad(text, 20); }

const std::string kCrLf = "\r\n";
const std::string kLead13(13, ' ');
/// The lead of an overlapping cell without the detailed mode: the letter and 12 blanks.
const std::string kLeadOverlap = "A            ";
/// " Ошибочная ячейка" in Windows-1251.
const std::string kInvalid = " \xCE\xF8\xE8\xE1\xEE\xF7\xED\xE0\xFF \xFF\xF7\xE5\xE9\xEA\xE0";

// Stamps packed by hand: year - 2000 (6 bits), month - 1 (4), day - 1 (5), hour (5), minute (6), second (6).
constexpr std::uint32_t kMarch7 = 0b001111'0010'00110'01110'000101'100001u;  // 07.03.2015 14:05:33
constexpr std::uint32_t kMarch7Earlier = kMarch7 - 1;                         // 07.03.2015 14:05:32
constexpr std::uint32_t kMarch7Late = 0b001111'0010'00110'10111'111011'111011u;  // 07.03.2015 23:59:59
constexpr std::uint32_t kMarch8 = 0b001111'0010'00111'00000'000000'000000u;    // 08.03.2015 00:00:00
constexpr std::uint32_t kLastSecond = 0b111111'1011'11110'10111'111011'111011u;  // 31.12.2063 23:59:59
static_assert(kMarch7 == 0x3C8CE161u && kMarch8 == 0x3C8E0000u && kLastSecond == 0xFEFD7EFBu);

// TimeRecords: year - 2000, month, day, hour, minute, second.
const Bytes kTimeMarch7{15, 3, 7, 14, 5, 33};
const Bytes kTimeMarch7Earlier{15, 3, 7, 14, 5, 32};
const Bytes kTimeMarch7Late{15, 3, 7, 23, 59, 59};
const Bytes kTimeMarch8{15, 3, 8, 0, 0, 0};
const Bytes kTimeZero{0, 1, 1, 0, 0, 0};

/// A PenRecord: the TimeRecord, four value bytes, four zero bytes, the status byte.
Bytes Pen(const Bytes& time, const Bytes4& value, std::uint8_t status = 0) {
  Bytes record(time);
  record.insert(record.end(), value.begin(), value.end());
  record.insert(record.end(), {0, 0, 0, 0, status});
  return record;
}
/// A PenRecord of a flagged channel: no value bytes, the status.
Bytes Flagged(const Bytes& time, std::uint8_t status) { return Pen(time, {0, 0, 0, 0}, status); }
/// A RelRecord: the TimeRecord and the state byte.
Bytes Rel(const Bytes& time, std::uint8_t state) {
  Bytes record(time);
  record.push_back(state);
  return record;
}
Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

/// A cell of types 73..76 with its channel fields as stored (most significant byte first).
ar4gen::CellContent Cell(std::uint32_t stamp, std::uint16_t flags, std::uint8_t relays,
                         std::initializer_list<Bytes4> fields) {
  ar4gen::CellContent content;
  content.Stamp = stamp;
  content.Flags = flags;
  content.Relays = relays;
  std::size_t g = 0;
  for (const Bytes4& f : fields) content.Fields[g++] = f;
  return content;
}

/// The Pen.txt of a type with `channels` channel files.
std::string PenTextOf(int channels) {
  std::string text;
  for (int k = 1; k <= channels; ++k) text += "Chan" + std::to_string(k) + ".pen\r\n\xB0" "C\r\n";
  return text;
}

// --- Type 73: four channels, eight relays ---

/// Page 258 of a type-73 ring: an invalid cell, then cells A (7 March 14:05:33), B (one second earlier: an
/// overlap), C (no time stamp, stamp 0), a valid cell with stamp 0xFFFFFFFF (outside every date range),
/// D (8 March), and three erased cells.
Ring Type73Page258() {
  Ring ring(73, 259);
  ring.Put({258, 0}, Cell(kMarch7, 0, 0, {}), ar4gen::Damage::kChecksum);
  ring.Put({258, 1}, Cell(kMarch7, 0x04, 0xA5,
                          {{0x3F, 0x80, 0x00, 0x00},     // 1.0
                           {0xC0, 0x20, 0x00, 0x00},     // -2.5
                           {0x00, 0x12, 0x34, 0x56},     // flagged, status byte 0
                           {0x48, 0x74, 0x24, 0x00}}));  // 250000.0
  ring.Put({258, 2}, Cell(kMarch7Earlier, 0x04, 0x00,
                          {{0x47, 0xC3, 0x50, 0x00},     // 100000.0: the limit itself is not clamped
                           {0xC7, 0xC3, 0x50, 0x00},     // -100000.0
                           {0x11, 0x00, 0x00, 0x00},     // flagged, status 17
                           {0x3D, 0xCC, 0xCC, 0xCD}}));  // 0.1f = 0.100000001490116...
  ring.Put({258, 3}, Cell(0, 0x00, 0xFF,
                          {{0x3E, 0xAA, 0xAA, 0xAB},     // 1/3f = 0.333333343...
                           {0x47, 0xC3, 0x4F, 0xFF},     // 99999.9921875
                           {0x35, 0x06, 0x37, 0xBD},     // 5e-7f = 4.99999998737...e-7, just below the half
                           {0x80, 0x00, 0x00, 0x00}}));  // -0.0: exponent 0 gives +0.0
  ring.Put({258, 4}, Cell(0xFFFFFFFFu, 0x00, 0x0F, {{0x3F, 0x80, 0x00, 0x00}}));
  ring.Put({258, 5}, Cell(kMarch8, 0x00, 0x01,
                          {{0x00, 0x40, 0x00, 0x00},     // an IEEE subnormal: 0.0
                           {0x7F, 0x80, 0x00, 0x00},     // IEEE infinity: 2^126 for the instruments, clamped
                           {0xFF, 0xFF, 0xFF, 0xFF},     // exponent 255, negative: clamped
                           {0x42, 0xF6, 0xE9, 0x79}}));  // 123.456f = 123.45600128...
  return ring;
}

/// The walk over page 258 with the bounds of the whole date range 1 January 2000 .. 31 December 2063.
const ExportBounds kPage258Bounds{{258, 0}, {0, 0}, 0, kLastSecond};

const std::string kLineA = "07.03.2015    14:05:33" + Field("1.000000") + Field("-2.500000") + Field("Err_254") +
                           Field("100001.000000") + std::string(7, ' ') + "  1  0  1  0  0  1  0  1" + kCrLf;
const std::string kLineB = "07.03.2015    14:05:32" + Field("100000.000000") + Field("-100000.000000") +
                           Field("Err_17") + Field("0.100000") + std::string(7, ' ') + "  0  0  0  0  0  0  0  0" +
                           kCrLf;
const std::string kLineC = "01.01.2000    00:00:00" + Field("0.333333") + Field("99999.992188") + Field("0.000000") +
                           Field("0.000000") + std::string(7, ' ') + "  1  1  1  1  1  1  1  1" + kCrLf;
const std::string kLineD = "08.03.2015    00:00:00" + Field("0.000000") + Field("100001.000000") +
                           Field("-100001.000000") + Field("123.456001") + std::string(7, ' ') +
                           "  1  0  0  0  0  0  0  0" + kCrLf;

TEST(GoldenType73, ListingWithoutDetailedMode) {
  ExportRun run;
  run.Run(Type73Page258(), kPage258Bounds);
  EXPECT_EQ(run.Text("All_Chan.txt"), kLead13 + kLineA + kLeadOverlap + kLineB + kLead13 + kLineC +
                                          kLead13 + kLineD);
  for (const std::string& line : run.Lines()) EXPECT_EQ(line.size(), 148u);
  EXPECT_EQ(run.Result.OverlapCount, 1u);
  EXPECT_EQ(run.Result.OverlapText, "\n\r07.03.2015    14:05:33    -_?_-    07.03.2015    14:05:32");
  EXPECT_EQ(run.Text("Pen.txt"),
            "Chan1.pen\r\n\xB0" "C\r\nChan2.pen\r\n\xB0" "C\r\nChan3.pen\r\n\xB0" "C\r\nChan4.pen\r\n\xB0" "C\r\n");
}

TEST(GoldenType73, ListingInDetailedMode) {
  ExportRun run;
  run.Run(Type73Page258(), kPage258Bounds, {.DetailedMode = true});
  // Page 258 is 0x102; cell c lies at page offset 26c.
  EXPECT_EQ(run.Text("All_Chan.txt"), "$00010200   " + kInvalid + kCrLf +           //
                                          "$0001021A    " + kLineA +                // the lead and one blank
                                          "A$00010234   " + kLineB +                // the overlap letter in front
                                          "$0001024E    " + kLineC +                //
                                          "$00010282    " + kLineD +                // (258, 4) is outside: no line
                                          "$0001029C   " + kInvalid + kCrLf +       //
                                          "$000102B6   " + kInvalid + kCrLf +       //
                                          "$000102D0   " + kInvalid + kCrLf);
  EXPECT_EQ(run.Lines().at(0).size(), 31u);
  EXPECT_EQ(run.Lines().at(2).size(), 148u);
}

TEST(GoldenType73, RecordFiles) {
  ExportRun run;
  run.Run(Type73Page258(), kPage258Bounds);
  // The DeviceFloat bytes reversed, or zeros and the status of a flagged channel.
  EXPECT_EQ(run.Bytes("Chan1.pen"), Concat({Pen(kTimeMarch7, {0x00, 0x00, 0x80, 0x3F}),
                                            Pen(kTimeMarch7Earlier, {0x00, 0x50, 0xC3, 0x47}),
                                            Pen(kTimeZero, {0xAB, 0xAA, 0xAA, 0x3E}),
                                            Pen(kTimeMarch8, {0x00, 0x00, 0x40, 0x00})}));
  EXPECT_EQ(run.Bytes("Chan2.pen"), Concat({Pen(kTimeMarch7, {0x00, 0x00, 0x20, 0xC0}),
                                            Pen(kTimeMarch7Earlier, {0x00, 0x50, 0xC3, 0xC7}),
                                            Pen(kTimeZero, {0xFF, 0x4F, 0xC3, 0x47}),
                                            Pen(kTimeMarch8, {0x00, 0x00, 0x80, 0x7F})}));
  EXPECT_EQ(run.Bytes("Chan3.pen"), Concat({Flagged(kTimeMarch7, 254), Flagged(kTimeMarch7Earlier, 17),
                                            Pen(kTimeZero, {0xBD, 0x37, 0x06, 0x35}),
                                            Pen(kTimeMarch8, {0xFF, 0xFF, 0xFF, 0xFF})}));
  // Values beyond the limits are written unchanged; only the listing clamps them.
  EXPECT_EQ(run.Bytes("Chan4.pen"), Concat({Pen(kTimeMarch7, {0x00, 0x24, 0x74, 0x48}),
                                            Pen(kTimeMarch7Earlier, {0xCD, 0xCC, 0xCC, 0x3D}),
                                            Pen(kTimeZero, {0x00, 0x00, 0x00, 0x80}),
                                            Pen(kTimeMarch8, {0x79, 0xE9, 0xF6, 0x42})}));
  // Relay r + 1 is bit r of byte 6: 0xA5, 0x00, 0xFF, 0x01.
  const std::uint8_t a_states[8] = {1, 0, 1, 0, 0, 1, 0, 1};
  for (int r = 0; r < 8; ++r) {
    EXPECT_EQ(run.Bytes("Rele" + std::to_string(r + 1) + ".rel"),
              Concat({Rel(kTimeMarch7, a_states[r]), Rel(kTimeMarch7Earlier, 0), Rel(kTimeZero, 1),
                      Rel(kTimeMarch8, r == 0 ? 1 : 0)}))
        << "relay " << r + 1;
  }
  EXPECT_FALSE(run.Exists("Chan5.pen"));
  EXPECT_FALSE(run.Exists("Rele9.rel"));
}

// --- Type 74: eight channels, eight relays ---

TEST(GoldenType74, OneCellAtTheLastSecond) {
  Ring ring(74, 1);
  ring.Put({0, 0}, Cell(kLastSecond, 0x81, 0x3C,
                        {{0xFF, 0x01, 0x02, 0x03},     // flagged, status 255
                         {0x3F, 0x00, 0x00, 0x00},     // 0.5
                         {0xBF, 0x80, 0x00, 0x00},     // -1.0
                         {0x47, 0xC3, 0x50, 0x01},     // 100000.0078125: above the limit
                         {0xC7, 0xC3, 0x50, 0x01},     // -100000.0078125: below the limit
                         {0x35, 0x80, 0x00, 0x00},     // 2^-20 = 0.00000095367...
                         {0x46, 0x40, 0xE6, 0xB6},     // 12345.677734375
                         {0x01, 0x00, 0x00, 0x00}}));  // flagged, status 1
  ExportRun run;
  // The bounds include both end stamps: one second wide.
  run.Run(ring, {{0, 0}, {0, 1}, kLastSecond, kLastSecond});
  const std::string line = kLead13 + "31.12.2063    23:59:59" + Field("Err_255") + Field("0.500000") +
                           Field("-1.000000") + Field("100001.000000") + Field("-100001.000000") +
                           Field("0.000001") + Field("12345.677734") + Field("Err_1") + std::string(7, ' ') +
                           "  0  0  1  1  1  1  0  0" + kCrLf;
  ASSERT_EQ(line.size(), 228u);
  EXPECT_EQ(run.Text("All_Chan.txt"), line);
  EXPECT_EQ(run.Text("Pen.txt"), PenTextOf(8));
  const Bytes time{63, 12, 31, 23, 59, 59};
  const Bytes expected[8] = {Flagged(time, 255),
                             Pen(time, {0x00, 0x00, 0x00, 0x3F}),
                             Pen(time, {0x00, 0x00, 0x80, 0xBF}),
                             Pen(time, {0x01, 0x50, 0xC3, 0x47}),
                             Pen(time, {0x01, 0x50, 0xC3, 0xC7}),
                             Pen(time, {0x00, 0x00, 0x80, 0x35}),
                             Pen(time, {0xB6, 0xE6, 0x40, 0x46}),
                             Flagged(time, 1)};
  for (int g = 0; g < 8; ++g) {
    EXPECT_EQ(run.Bytes("Chan" + std::to_string(g + 1) + ".pen"), expected[g]) << "channel " << g + 1;
    EXPECT_EQ(run.Bytes("Rele" + std::to_string(g + 1) + ".rel"), Rel(time, (0x3C >> g) & 1)) << "relay " << g + 1;
  }
}

// --- Type 75: sixteen channels with 16-bit flags, three relays ---

TEST(GoldenType75, SixteenChannelsOneCell) {
  Ring ring(75, 1);
  ring.Put({0, 0}, Cell(1, 0x8001, 0x06,  // 01.01.2000 00:00:01; channels 1 and 16 flagged
                        {{0x00, 0xAA, 0xBB, 0xCC}, {0x40, 0x00, 0x00, 0x00}, {0x40, 0x40, 0x00, 0x00},
                         {0x40, 0x80, 0x00, 0x00}, {0x40, 0xA0, 0x00, 0x00}, {0x40, 0xC0, 0x00, 0x00},
                         {0x40, 0xE0, 0x00, 0x00}, {0x41, 0x00, 0x00, 0x00}, {0x41, 0x10, 0x00, 0x00},
                         {0x41, 0x20, 0x00, 0x00}, {0x41, 0x30, 0x00, 0x00}, {0x41, 0x40, 0x00, 0x00},
                         {0x41, 0x50, 0x00, 0x00}, {0x41, 0x60, 0x00, 0x00}, {0x41, 0x70, 0x00, 0x00},
                         {0xC8, 0x00, 0x00, 0x00}}));  // channels 2..15 hold 2.0 .. 15.0
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 0}, 0, kLastSecond});
  std::string line = kLead13 + "01.01.2000    00:00:01" + Field("Err_254");
  for (int g = 2; g <= 15; ++g) line += Field(std::to_string(g) + ".000000");
  line += Field("Err_200") + std::string(7, ' ') + "  0  1  1" + kCrLf;
  ASSERT_EQ(line.size(), 373u);
  EXPECT_EQ(run.Text("All_Chan.txt"), line);  // the two erased cells leave no line
  EXPECT_EQ(run.Text("Pen.txt"), PenTextOf(16));
  const Bytes time{0, 1, 1, 0, 0, 1};
  EXPECT_EQ(run.Bytes("Chan1.pen"), Flagged(time, 254));
  EXPECT_EQ(run.Bytes("Chan2.pen"), Pen(time, {0x00, 0x00, 0x00, 0x40}));
  EXPECT_EQ(run.Bytes("Chan9.pen"), Pen(time, {0x00, 0x00, 0x10, 0x41}));
  EXPECT_EQ(run.Bytes("Chan15.pen"), Pen(time, {0x00, 0x00, 0x70, 0x41}));
  EXPECT_EQ(run.Bytes("Chan16.pen"), Flagged(time, 200));
  EXPECT_EQ(run.Bytes("Rele1.rel"), Rel(time, 0));
  EXPECT_EQ(run.Bytes("Rele2.rel"), Rel(time, 1));
  EXPECT_EQ(run.Bytes("Rele3.rel"), Rel(time, 1));
  EXPECT_FALSE(run.Exists("Rele4.rel"));
}

// --- Type 76: one channel with the flag in byte 7, four relays ---

TEST(GoldenType76, FlaggedChannelAndAnInvalidCellInDetailedMode) {
  Ring ring(76, 2);
  ar4gen::CellContent flagged = Cell(kMarch7, 0x01, 0x0A, {{0x00, 0x41, 0xBC, 0x00}});
  ring.Put({1, 0}, Cell(kMarch7Earlier, 0x00, 0x05, {{0x41, 0xBC, 0x00, 0x00}}));  // 23.5
  ring.Put({1, 1}, flagged);
  ring.Put({1, 2}, flagged, ar4gen::Damage::kMarker);
  ExportRun run;
  run.Run(ring, {{1, 0}, {1, 3}, 0, kLastSecond}, {.DetailedMode = true});
  EXPECT_EQ(run.Text("All_Chan.txt"),
            "$00000100    07.03.2015    14:05:32" + Field("23.500000") + std::string(7, ' ') + "  1  0  1  0" + kCrLf +
                "$0000010D    07.03.2015    14:05:33" + Field("Err_254") + std::string(7, ' ') + "  0  1  0  1" +
                kCrLf + "$0000011A   " + kInvalid + kCrLf);
  EXPECT_EQ(run.Bytes("Chan1.pen"),
            Concat({Pen(kTimeMarch7Earlier, {0x00, 0x00, 0xBC, 0x41}), Flagged(kTimeMarch7, 254)}));
  EXPECT_EQ(run.Bytes("Rele4.rel"), Concat({Rel(kTimeMarch7Earlier, 0), Rel(kTimeMarch7, 1)}));
}

// --- Type 89: samples with their own times, the auxiliary field ---

/// A GRV-300 cell; sample fields are IEEE singles stored least significant byte first.
ar4gen::CellContent Grv300Cell(std::uint32_t stamp, std::uint8_t interval, std::uint8_t sample_byte,
                               std::uint16_t flags, std::uint8_t aux_a, std::uint8_t aux_b, Bytes4 aux_c,
                               Bytes4 aux_d, std::initializer_list<Bytes4> samples) {
  ar4gen::CellContent content;
  content.Stamp = stamp;
  content.SampleInterval = interval;
  content.SampleByte = sample_byte;
  content.Flags = flags;
  content.AuxA = aux_a;
  content.AuxB = aux_b;
  content.AuxC = aux_c;
  content.AuxD = aux_d;
  content.Fields.fill({0xFF, 0xFF, 0xFF, 0x7F});  // samples beyond the count are never read
  std::size_t q = 0;
  for (const Bytes4& s : samples) content.Fields[q++] = s;
  return content;
}

/// Cell 0: 1/8-second interval, eight samples (2 and 5 flagged). Cell 1: two-second interval, byte 7 = 0x12
/// (three samples; the high bits do not count). Cell 2: erased.
Ring Grv300Ring() {
  Ring ring(89, 1);
  ring.Put({0, 0}, Grv300Cell(kMarch7, 0, 0x07, 0x0024, 0xCF, 0x50,
                              {0x00, 0x00, 0xC0, 0x7F},  // NaN
                              {0x17, 0xB7, 0x51, 0x38},  // 5e-5f = 4.99999987...e-5, just below the half
                              {{0x00, 0x00, 0xBC, 0x41},   // 23.5
                               {0x00, 0x00, 0x00, 0xBE},   // -0.125
                               {0x00, 0x01, 0x02, 0x03},   // flagged, status byte 0
                               {0x40, 0x50, 0xC3, 0x47},   // 100000.5: clamped in the listing only
                               {0x00, 0x00, 0x40, 0x40},   // 3.0
                               {0x21, 0xFF, 0xFF, 0xFF},   // flagged, status 33
                               {0x6F, 0x12, 0x83, 0x3A},   // 0.001f
                               {0x00, 0x00, 0xF8, 0xC0}}));  // -7.75
  ring.Put({0, 1}, Grv300Cell(kMarch7Late, 2, 0x12, 0x0000, 0xD0, 0x4F,
                              {0x00, 0x00, 0x80, 0x7F},  // +infinity
                              {0xDF, 0xE9, 0xF6, 0xC2},  // -123.45678f
                              {{0x00, 0x00, 0x80, 0x3F}, {0x00, 0x00, 0x00, 0x40}, {0x00, 0x00, 0x80, 0x40}}));
  return ring;
}

// Auxiliary fields: (byte + 48) mod 256 as a signed byte, its magnitude, in 10 characters; the values with
// four decimals in 20. 0xCF -> -1 -> 1; 0x50 -> -128 -> 128; 0xD0 -> 0; 0x4F -> 127.
const std::string kAux0 = Pad("1", 10) + Pad("128", 10) + Field("-100001.0000") + Field("0.0000");
const std::string kAux1 = Pad("0", 10) + Pad("127", 10) + Field("100001.0000") + Field("-123.4568");

/// The lines of the two cells after their leads; `lead` is put before the first line of each cell.
std::string Grv300Listing(const std::string& lead0, const std::string& lead1) {
  const std::string day = "07.03.2015    14:05:33";
  return lead0 + day + ".0  " + kAux0 + Field("23.500000") + kCrLf +     //
         kLead13 + day + ".125" + kAux0 + Field("-0.125000") + kCrLf +   //
         kLead13 + day + ".250" + kAux0 + Field("Err_254") + kCrLf +     //
         kLead13 + day + ".375" + kAux0 + Field("100001.000000") + kCrLf +
         kLead13 + day + ".500" + kAux0 + Field("3.000000") + kCrLf +    //
         kLead13 + day + ".625" + kAux0 + Field("Err_33") + kCrLf +      //
         kLead13 + day + ".750" + kAux0 + Field("0.001000") + kCrLf +    //
         kLead13 + day + ".875" + kAux0 + Field("-7.750000") + kCrLf +   //
         lead1 + "07.03.2015    23:59:59.0  " + kAux1 + Field("1.000000") + kCrLf +
         kLead13 + "08.03.2015    00:00:01.0  " + kAux1 + Field("2.000000") + kCrLf +
         kLead13 + "08.03.2015    00:00:03.0  " + kAux1 + Field("4.000000") + kCrLf;
}

TEST(GoldenType89, ListingWithAndWithoutDetailedMode) {
  ExportRun plain;
  plain.Run(Grv300Ring(), {{0, 0}, {0, 0}, 0, kLastSecond});
  EXPECT_EQ(plain.Text("All_Chan.txt"), Grv300Listing(kLead13, kLead13));
  for (const std::string& line : plain.Lines()) EXPECT_EQ(line.size(), 121u);

  ExportRun detailed;
  detailed.Run(Grv300Ring(), {{0, 0}, {0, 0}, 0, kLastSecond}, {.DetailedMode = true});
  // Cells of 85 bytes: offsets 0x00, 0x55, 0xAA. Only the first line of a cell has the lead.
  EXPECT_EQ(detailed.Text("All_Chan.txt"),
            Grv300Listing("$00000000    ", "$00000055    ") + "$000000AA   " + kInvalid + kCrLf);
}

TEST(GoldenType89, RecordsCarryTheCellsTimeAndTheBytesAsStored) {
  ExportRun run;
  run.Run(Grv300Ring(), {{0, 0}, {0, 0}, 0, kLastSecond});
  EXPECT_EQ(run.Bytes("Chan1.pen"),
            Concat({Pen(kTimeMarch7, {0x00, 0x00, 0xBC, 0x41}), Pen(kTimeMarch7, {0x00, 0x00, 0x00, 0xBE}),
                    Flagged(kTimeMarch7, 254), Pen(kTimeMarch7, {0x40, 0x50, 0xC3, 0x47}),
                    Pen(kTimeMarch7, {0x00, 0x00, 0x40, 0x40}), Flagged(kTimeMarch7, 33),
                    Pen(kTimeMarch7, {0x6F, 0x12, 0x83, 0x3A}), Pen(kTimeMarch7, {0x00, 0x00, 0xF8, 0xC0}),
                    Pen(kTimeMarch7Late, {0x00, 0x00, 0x80, 0x3F}), Pen(kTimeMarch7Late, {0x00, 0x00, 0x00, 0x40}),
                    Pen(kTimeMarch7Late, {0x00, 0x00, 0x80, 0x40})}));
  EXPECT_EQ(run.Text("Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
  EXPECT_EQ(run.FileSystem.CreationOrder,
            (std::vector<std::string>{"/out/Pen.txt", "/out/All_Chan.txt", "/out/Chan1.pen"}));
}

TEST(GoldenType89, OverlapLetterOnTheFirstLineOfTheCell) {
  Ring ring(89, 1);
  ring.Put({0, 0}, Grv300Cell(kMarch8, 1, 0x00, 0, 0x30, 0x30, {}, {}, {{0x00, 0x00, 0x80, 0x3F}}));
  ring.Put({0, 1}, Grv300Cell(kMarch7, 1, 0x01, 0, 0x30, 0x30, {}, {}, {{0x00, 0x00, 0x80, 0x3F}, {}}));
  ExportRun run;
  run.Run(ring, {{0, 0}, {0, 2}, 0, kLastSecond}, {.DetailedMode = true});
  // 0x30 + 48 = 0x60 = 96; the values C and D are 0.0.
  const std::string aux = Pad("96", 10) + Pad("96", 10) + Field("0.0000") + Field("0.0000");
  EXPECT_EQ(run.Text("All_Chan.txt"),
            "$00000000    08.03.2015    00:00:00.0  " + aux + Field("1.000000") + kCrLf +
                "A$00000055   07.03.2015    14:05:33.0  " + aux + Field("1.000000") + kCrLf + kLead13 +
                "07.03.2015    14:05:34.0  " + aux + Field("0.000000") + kCrLf);
  EXPECT_EQ(run.Result.OverlapText, "\n\r08.03.2015    00:00:00    -_?_-    07.03.2015    14:05:33");
}

// --- A walk long enough to be formatted in several parts ---

/// Type 76, 2700 pages (51300 cells), one second apart but every even cell from the third on one
/// second earlier than the cell before it: 25649 overlaps spread over the whole walk.
std::uint32_t SecondOfCell(std::uint32_t i) { return i == 0 ? 0 : (i % 2 == 1 ? i + 2 : i - 1); }

std::string TimeOfSecond(std::uint32_t j) {
  char text[32];
  std::snprintf(text, sizeof text, "01.01.2014    %02u:%02u:%02u", j / 3600, j / 60 % 60, j % 60);
  return text;
}

TEST(GoldenLongWalk, OverlapsAllAlongAWalkOfManyCells) {
  constexpr std::uint32_t kPages = 2700;
  constexpr std::uint32_t kCells = kPages * 19;
  Ring ring(76, kPages);
  CellPosition position{};
  for (std::uint32_t i = 0; i < kCells; ++i) {
    const std::uint32_t j = SecondOfCell(i);
    ring.Put(position, Cell(test::Stamp(2014, 1, 1, j / 3600, j / 60 % 60, j % 60), 0, 0x09,
                            {{0x3F, 0x80, 0x00, 0x00}}));
    position = ring.Geometry.Next(position);
  }
  for (const bool detailed : {false, true}) {
    SCOPED_TRACE(detailed ? "detailed" : "plain");
    ExportRun run;
    run.Run(ring, {{0, 0}, {0, 0}, 0, kLastSecond}, {.DetailedMode = detailed});

    const std::string tail = Field("1.000000") + std::string(7, ' ') + "  1  0  0  1" + kCrLf;
    std::string expected;
    expected.reserve(std::size_t{kCells} * 76);
    for (std::uint32_t i = 0; i < kCells; ++i) {
      const bool overlap = i >= 2 && i % 2 == 0;
      std::string lead;
      if (detailed) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "$%08X   ", (i / 19) * 256 + (i % 19) * 13);
        lead = std::string(overlap ? "A" : "") + offset + (overlap ? "" : " ");
      } else {
        lead = overlap ? kLeadOverlap : kLead13;
      }
      expected += lead + TimeOfSecond(SecondOfCell(i)) + tail;
    }
    const std::string listing = run.Text("All_Chan.txt");
    ASSERT_EQ(listing.size(), expected.size());
    const auto mismatch = std::mismatch(listing.begin(), listing.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == listing.end()) << "first difference in line " << (mismatch.first - listing.begin()) / 76;

    EXPECT_EQ(run.Result.OverlapCount, kCells / 2 - 1);
    std::string entries;
    for (std::uint32_t k = 1; k <= 20; ++k) {
      entries += "\n\r" + TimeOfSecond(2 * k + 1) + "    -_?_-    " + TimeOfSecond(2 * k - 1);
    }
    EXPECT_EQ(run.Result.OverlapText, entries);
    EXPECT_EQ(run.Result.ExportedCells, kCells);

    // Every file holds one record per cell, in walk order.
    const Bytes& records = run.Bytes("Chan1.pen");
    ASSERT_EQ(records.size(), std::size_t{kCells} * 15);
    ASSERT_EQ(run.Bytes("Rele4.rel").size(), std::size_t{kCells} * 7);
    for (std::uint32_t i : {0u, 1u, 16383u, 16384u, 16385u, 32768u, 49152u, kCells - 1}) {
      const std::uint32_t j = SecondOfCell(i);
      const Bytes time{14, 1, 1, static_cast<std::uint8_t>(j / 3600), static_cast<std::uint8_t>(j / 60 % 60),
                       static_cast<std::uint8_t>(j % 60)};
      EXPECT_EQ(Bytes(records.begin() + i * 15, records.begin() + (i + 1) * 15), Pen(time, {0x00, 0x00, 0x80, 0x3F}))
          << "cell " << i;
      EXPECT_EQ(run.Bytes("Rele4.rel").at(i * 7 + 6), 1) << "cell " << i;
    }
    ASSERT_FALSE(run.Gauge.empty());
    EXPECT_TRUE(std::is_sorted(run.Gauge.begin(), run.Gauge.end()));
    EXPECT_EQ(run.Gauge.back(), 100);
  }
}

}  // namespace
}  // namespace ar4
