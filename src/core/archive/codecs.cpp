#include "core/archive/codecs.hpp"

#include <bit>
#include <cmath>
#include <cstring>

namespace ar4 {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Days before each month of a common year.
constexpr std::array<int, 12> kDaysBeforeMonth{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr bool IsLeapYearOffset(int year_offset) { return year_offset % 4 == 0; }

void AppendTwoDigits(std::string& out, unsigned value) {
  // One "0" in front of a single digit; a field beyond its range prints in full.
  if (value < 10) out.push_back('0');
  char buf[8];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out.push_back(buf[--n]);
}

}  // namespace

std::string ByteToHex(std::uint8_t byte) {
  std::string out;
  AppendByteToHex(out, byte);
  return out;
}

void AppendByteToHex(std::string& out, std::uint8_t byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

double DeviceFloatToDouble(const std::uint8_t* bytes) {
  const unsigned sign = bytes[0] >> 7;
  const int exponent = ((bytes[0] & 0x7F) << 1) | (bytes[1] >> 7);
  const std::uint32_t fraction =
      (std::uint32_t{bytes[1] & 0x7Fu} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  if (exponent == 0) return 0.0;  // subnormals and both zeros become +0.0
  const int e = exponent >= 254 ? 126 : exponent - 127;  // the exponent saturates at 2^126
  const double magnitude = std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -23), e);
  return sign != 0 ? -magnitude : magnitude;
}

double SingleToDouble(const std::uint8_t* bytes) {
  const std::uint32_t bits = ReadU32(bytes);
  return static_cast<double>(std::bit_cast<float>(bits));
}

std::array<std::uint8_t, 6> PackedToFields(std::uint32_t stamp) {
  if (stamp == 0xFFFFFFFFu) return {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return {static_cast<std::uint8_t>(stamp >> 26),
          static_cast<std::uint8_t>(((stamp >> 22) & 0x0F) + 1),
          static_cast<std::uint8_t>(((stamp >> 17) & 0x1F) + 1),
          static_cast<std::uint8_t>((stamp >> 12) & 0x1F),
          static_cast<std::uint8_t>((stamp >> 6) & 0x3F),
          static_cast<std::uint8_t>(stamp & 0x3F)};
}

std::string PackedToText(std::uint32_t stamp) {
  std::string out;
  out.reserve(kPackedTextLength);
  AppendPackedToText(out, stamp);
  return out;
}

void AppendPackedToText(std::string& out, std::uint32_t stamp) {
  if (stamp == 0xFFFFFFFFu) {
    out.append("----  ----");
    return;
  }
  const auto f = PackedToFields(stamp);
  AppendTwoDigits(out, f[2]);
  out.push_back('.');
  AppendTwoDigits(out, f[1]);
  out.push_back('.');
  AppendTwoDigits(out, 2000u + f[0]);
  out.append("    ");
  AppendTwoDigits(out, f[3]);
  out.push_back(':');
  AppendTwoDigits(out, f[4]);
  out.push_back(':');
  AppendTwoDigits(out, f[5]);
}

double PackedToDateTime(std::uint32_t stamp) {
  if (stamp == 0xFFFFFFFFu) return 0.0;
  const int year_offset = static_cast<int>(stamp >> 26);
  const int month_index = static_cast<int>((stamp >> 22) & 0x0F);  // month - 1, 0..15
  const int day = static_cast<int>((stamp >> 17) & 0x1F) + 1;
  const int hour = static_cast<int>((stamp >> 12) & 0x1F);
  const int minute = static_cast<int>((stamp >> 6) & 0x3F);
  const int second = static_cast<int>(stamp & 0x3F);

  // Months 13..16 (fields 12..15) have no entry in the table: they count as the whole year before them,
  // i.e. the days before month 13 are those of all twelve months (365, or 366 in a leap year), plus 31 for
  // each month beyond 13. Any finite value would do; this one stays monotonic in the month field.
  int days_before_month;
  const bool leap = IsLeapYearOffset(year_offset);
  if (month_index < 12) {
    days_before_month = kDaysBeforeMonth[static_cast<std::size_t>(month_index)] + (leap && month_index >= 2 ? 1 : 0);
  } else {
    days_before_month = (leap ? 366 : 365) + 31 * (month_index - 12);
  }
  int days_of_years = 0;
  for (int y = 0; y < year_offset; ++y) days_of_years += IsLeapYearOffset(y) ? 366 : 365;

  return 36526.0 + (day - 1) + days_before_month + days_of_years +
         static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
}

PackedWithMilliseconds DateTimeToPacked(double date_time) {
  if (date_time == 0.0 || !std::isfinite(date_time)) return {0xFFFFFFFFu, 0};
  // To the nearest whole millisecond, then the Gregorian date and the time of day.
  const double total_ms_d = std::nearbyint(date_time * 86400000.0);
  if (total_ms_d < -9.0e15 || total_ms_d > 9.0e15) return {0xFFFFFFFFu, 0};
  const auto total_ms = static_cast<std::int64_t>(total_ms_d);
  std::int64_t days = total_ms / 86400000;
  std::int64_t ms_of_day = total_ms % 86400000;
  if (ms_of_day < 0) {  // OLE dates before 1899-12-30 count the fraction the same way round
    ms_of_day += 86400000;
    days -= 1;
  }
  const auto milliseconds = static_cast<std::uint32_t>(ms_of_day % 1000);
  const auto seconds_of_day = ms_of_day / 1000;
  const auto hour = static_cast<std::uint32_t>(seconds_of_day / 3600);
  const auto minute = static_cast<std::uint32_t>(seconds_of_day / 60 % 60);
  const auto second = static_cast<std::uint32_t>(seconds_of_day % 60);

  // Civil date from days since 1970-01-01 (OLE day 25569).
  std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t year = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  if (month <= 2) ++year;

  if (year < 2000 || year > 2063) return {0xFFFFFFFFu, milliseconds};
  const auto packed = (static_cast<std::uint32_t>(year - 2000) << 26) |
                      (static_cast<std::uint32_t>(month - 1) << 22) |
                      (static_cast<std::uint32_t>(day - 1) << 17) | (hour << 12) | (minute << 6) | second;
  return {packed, milliseconds};
}

std::uint32_t PackDate(int day, int month, int year) {
  const auto y = static_cast<std::uint32_t>(year - 2000) & 0x3Fu;
  const auto m = static_cast<std::uint32_t>(month - 1) & 0x0Fu;
  const auto d = static_cast<std::uint32_t>(day - 1) & 0x1Fu;
  return (y << 26) | (m << 22) | (d << 17);
}

}  // namespace ar4
