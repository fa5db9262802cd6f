#include "core/archive/report.hpp"

#include <string>
#include <string_view>

#include "core/archive/codecs.hpp"
#include "core/archive/cp1251.hpp"
#include "core/archive/format.hpp"

namespace ar4 {
namespace {

// The report is composed in UTF-8 and converted to Windows-1251 as a whole; every line ends with a
// single carriage return and no line feed.
constexpr char kLineEnd = '\r';

void AddLine(std::string& out, std::string_view caption, std::string_view value) {
  out.append(caption);
  out.append(value);
  out.push_back(kLineEnd);
}

void AddLine(std::string& out, std::string_view caption, std::uint64_t value) {
  AddLine(out, caption, std::to_string(value));
}

std::string FirmwareText(const std::uint8_t* header_bytes) {
  const std::uint8_t count = header_bytes[header::kFirmwareCount];
  if (count < 1 || count > 3) return "Отсутствует";
  std::string text;
  for (std::uint8_t i = 0; i < count; ++i) {
    if (i != 0) text.push_back('.');
    text += std::to_string(header_bytes[header::kFirmware + i]);
  }
  return text;
}

/// The eight bytes of the size field, most significant first (bytes 11 down to 4).
std::string MainBlockSizeText(const std::uint8_t* header_bytes) {
  std::string text;
  for (std::size_t i = 0; i < 8; ++i) AppendByteToHex(text, header_bytes[header::kMainBlockSize + 7 - i]);
  return text;
}

}  // namespace

std::string ReportHeaderLines(const std::uint8_t* header_bytes, bool detailed_mode) {
  std::string utf8;
  const std::uint16_t device_type = ReadU16(header_bytes + header::kDeviceType);
  const DeviceProfile* profile = FindDeviceProfile(device_type);
  if (profile != nullptr) {
    AddLine(utf8, "Тип прибора: ", profile->Model);
  } else {
    AddLine(utf8, "Тип прибора: ", device_type);  // an unrecognised type shows its number
  }
  AddLine(utf8, "Заводской номер: ", ReadU32(header_bytes + header::kSerialNumber));
  if (detailed_mode) AddLine(utf8, "Версия встроенного ПО: ", FirmwareText(header_bytes));
  AddLine(utf8, "Дата создания архива: ", PackedToText(ReadU32(header_bytes + header::kCreationDate)));
  if (detailed_mode) {
    AddLine(utf8, "Смещение до основного блока: ", ReadU16(header_bytes + header::kMainBlockOffset));
    AddLine(utf8, "Размер основного блока: $", MainBlockSizeText(header_bytes));
    AddLine(utf8, "Версия формата файла: ", ReadU16(header_bytes + header::kFormatVersion));
    AddLine(utf8, "Версия формата сохраненных данных файла: ",
            std::to_string(header_bytes[header::kDataFormatMajor]) + " : " +
                std::to_string(header_bytes[header::kDataFormatMinor]));
  }
  return Utf8ToCp1251(utf8);
}

std::string ReportClosingLines(const ScanResult& scan, bool detailed_mode) {
  std::string utf8;
  AddLine(utf8, "Минимальная дата в архиве: ",
          HasTimeStamp(scan.MinDate) ? PackedToText(scan.MinDate) : std::string("----  ----"));
  utf8.push_back(kLineEnd);
  const ScanStatistics& s = scan.Statistics;
  AddLine(utf8, "Заполнение архива: ",
          std::to_string(s.ValidCells) + " из  " + std::to_string(scan.NominalCapacity) + " (" +
              std::to_string(scan.FillPerMille / 10) + "." + std::to_string(scan.FillPerMille % 10) + "%)");
  if (detailed_mode) {
    AddLine(utf8, "Ячеек без идентификатора: ", s.CellsWithoutMarker);
    AddLine(utf8, "Ячеек с ошибочной длинной: ", s.CellsWithWrongLength);
    AddLine(utf8, "Ячеек с ошибкой KS: ", s.CellsWithBadChecksum);
    AddLine(utf8, "Разрывов в цепи ячеек: ", s.ChainBreaks);
    AddLine(utf8, "Измерений с зашкальными значениями: ", s.OffScaleValues);
  }
  return Utf8ToCp1251(utf8);
}

}  // namespace ar4
