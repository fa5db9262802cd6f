#include "core/archive/report.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "archive_builder.hpp"
#include "core/archive/cp1251.hpp"
#include "core/archive/loader.hpp"

namespace ar4 {
namespace {

using testing::ArchiveImage;
using testing::Content;

/// The expected report, written here in UTF-8 with "|" for each line end, in the code page with CRs.
std::string Expected(std::string utf8_lines) {
  for (char& ch : utf8_lines) {
    if (ch == '|') ch = '\r';
  }
  return Utf8ToCp1251(utf8_lines);
}

std::string FullReport(ArchiveImage& image, bool detailed) {
  LoadedArchive loaded;
  EXPECT_EQ(LoadArchiveBytes(image.View(), testing::SharedBuffers(), loaded), LoadStatus::kLoaded);
  const ScanResult scan =
      ValidationScan(testing::SharedBuffers().MainBlock.get(), loaded.PageCount, *loaded.Profile);
  return ReportHeaderLines(testing::SharedBuffers().ArchiveHeader.data(), detailed) +
         ReportClosingLines(scan, detailed);
}

TEST(ArchiveReport, LinesAreWindows1251WithASingleCarriageReturn) {
  ArchiveImage image(76, 1);
  const std::string report = ReportHeaderLines(image.Header(), false);
  EXPECT_EQ(report.substr(0, 20), "\xD2\xE8\xEF \xEF\xF0\xE8\xE1\xEE\xF0\xE0: \xCB\xD1 260\r");
  EXPECT_EQ(report.find('\n'), std::string::npos);
  EXPECT_EQ(report.back(), '\r');
}

TEST(ArchiveReport, SmallArchiveOfEachType) {
  struct Row {
    std::uint16_t type;
    const char* model;
    const char* fill;
  };
  const Row rows[] = {{73, "VR7731", "3 из  1179648 (0.0%)"},
                      {74, "VR7732", "3 из  786432 (0.0%)"},
                      {75, "VR7733", "3 из  393216 (0.0%)"},
                      {76, "ЛС 260", "3 из  2490368 (0.0%)"},
                      {89, "ГРВ-300", "3 из  6 (50.0%)"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    ar4gen::HeaderFields header;
    header.DeviceType = row.type;
    header.PageCount = 2;
    header.SerialNumber = 123456;
    header.CreationDate = 0x38A6A000;  // 20.03.2014    10:00:00
    ArchiveImage image(header);
    image.Put({0, 0}, Content(0x38A6B000));
    image.Put({0, 1}, Content(0x38A6AFC5));
    image.Put({0, 2}, Content(0), ar4gen::Damage::kLength);
    image.Put({1, 0}, Content(0x38A6AFC5));
    image.Put({1, 1}, Content(0x38A6AFC5), ar4gen::Damage::kChecksum);
    const std::string head = std::string("Тип прибора: ") + row.model +
                             "|Заводской номер: 123456|Дата создания архива: 20.03.2014    10:00:00|";
    const std::string tail =
        std::string("Минимальная дата в архиве: 20.03.2014    10:63:05||Заполнение архива: ") + row.fill + "|";
    EXPECT_EQ(FullReport(image, false), Expected(head + tail));

    // Three valid cells, one of wrong length, one with a bad check byte; the rest are erased.
    const std::uint32_t without_marker = 2u * image.Profile().CellsPerPage - 5u;
    const std::string detailed =
        std::string("Тип прибора: ") + row.model +
        "|Заводской номер: 123456|Версия встроенного ПО: 2.24.1|Дата создания архива: 20.03.2014    10:00:00"
        "|Смещение до основного блока: 256|Размер основного блока: $0000000000000200|Версия формата файла: 1"
        "|Версия формата сохраненных данных файла: 1 : 0|" +
        tail + "Ячеек без идентификатора: " + std::to_string(without_marker) +
        "|Ячеек с ошибочной длинной: 1|Ячеек с ошибкой KS: 1|Разрывов в цепи ячеек: 1"
        "|Измерений с зашкальными значениями: 0|";
    EXPECT_EQ(FullReport(image, true), Expected(detailed));
  }
}

TEST(ArchiveReport, UnrecognisedTypeShowsItsNumber) {
  ArchiveImage image(80, 1);
  image.Header()[header::kCreationDate + 3] = 0xFF;  // 0xFF000000: year 2063, month field 12
  EXPECT_EQ(ReportHeaderLines(image.Header(), false),
            Expected("Тип прибора: 80|Заводской номер: 1042|Дата создания архива: 01.13.2063    00:00:00|"));
  const std::string detailed = ReportHeaderLines(image.Header(), true);
  EXPECT_EQ(std::count(detailed.begin(), detailed.end(), '\r'), 8);
  EXPECT_EQ(detailed.rfind(Utf8ToCp1251("Версия формата сохраненных данных файла: 1 : 0\r")),
            detailed.size() - Utf8ToCp1251("Версия формата сохраненных данных файла: 1 : 0\r").size());
}

TEST(ArchiveReport, FirmwareComponents) {
  ArchiveImage image(73, 1);
  const auto firmware_line = [&](std::uint8_t count) {
    image.Header()[header::kFirmwareCount] = count;
    const std::string report = Cp1251ToUtf8(ReportHeaderLines(image.Header(), true));
    const std::size_t at = report.find("Версия встроенного ПО: ");
    return report.substr(at, report.find('\r', at) - at);
  };
  EXPECT_EQ(firmware_line(0), "Версия встроенного ПО: Отсутствует");
  EXPECT_EQ(firmware_line(1), "Версия встроенного ПО: 2");
  EXPECT_EQ(firmware_line(2), "Версия встроенного ПО: 2.24");
  EXPECT_EQ(firmware_line(3), "Версия встроенного ПО: 2.24.1");
  EXPECT_EQ(firmware_line(4), "Версия встроенного ПО: Отсутствует");
  EXPECT_EQ(firmware_line(255), "Версия встроенного ПО: Отсутствует");
  // Not in the report without the detailed mode.
  EXPECT_EQ(Cp1251ToUtf8(ReportHeaderLines(image.Header(), false)).find("ПО"), std::string::npos);
}

TEST(ArchiveReport, HeaderDetails) {
  ArchiveImage image(73, 1);
  const std::uint8_t size[] = {0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::copy(std::begin(size), std::end(size), image.Header() + header::kMainBlockSize);
  image.Header()[header::kMainBlockOffset] = 0x34;
  image.Header()[header::kMainBlockOffset + 1] = 0x12;
  image.Header()[header::kFormatVersion] = 0xFF;
  image.Header()[header::kFormatVersion + 1] = 0xFF;
  image.Header()[header::kDataFormatMajor] = 200;
  image.Header()[header::kDataFormatMinor] = 7;
  for (std::size_t i = 0; i < 4; ++i) image.Header()[header::kSerialNumber + i] = 0xFF;
  const std::string report = Cp1251ToUtf8(ReportHeaderLines(image.Header(), true));
  EXPECT_NE(report.find("\rРазмер основного блока: $0000000000010200\r"), std::string::npos);
  EXPECT_NE(report.find("\rСмещение до основного блока: 4660\r"), std::string::npos);
  EXPECT_NE(report.find("\rВерсия формата файла: 65535\r"), std::string::npos);
  EXPECT_NE(report.find("\rВерсия формата сохраненных данных файла: 200 : 7\r"), std::string::npos);
  EXPECT_NE(report.find("Заводской номер: 4294967295\r"), std::string::npos);

  // The high half and the low byte are printed although they take no part.
  image.Header()[4] = 0xAB;
  image.Header()[11] = 0xC0;
  EXPECT_NE(Cp1251ToUtf8(ReportHeaderLines(image.Header(), true)).find("$C0000000000102AB\r"),
            std::string::npos);
}

TEST(ArchiveReport, ClosingLines) {
  ScanResult scan;
  scan.Statistics.ValidCells = 117965;
  scan.NominalCapacity = 1179648;
  scan.FillPerMille = 100;
  scan.MinDate = 0;
  EXPECT_EQ(ReportClosingLines(scan, false),
            Expected("Минимальная дата в архиве: ----  ----||Заполнение архива: 117965 из  1179648 (10.0%)|"));

  scan.MinDate = 0xFFFFFFFFu;
  scan.Statistics = {0, 4000000000u, 2, 3, 4, 5};
  scan.NominalCapacity = 12;
  scan.FillPerMille = 1000;
  EXPECT_EQ(ReportClosingLines(scan, true),
            Expected("Минимальная дата в архиве: ----  ----||Заполнение архива: 0 из  12 (100.0%)|"
                     "Ячеек без идентификатора: 4000000000|Ячеек с ошибочной длинной: 2|Ячеек с ошибкой KS: 3|"
                     "Разрывов в цепи ячеек: 4|Измерений с зашкальными значениями: 5|"));

  scan.MinDate = 0xFEFD7EFBu;
  scan.FillPerMille = 999;
  EXPECT_EQ(ReportClosingLines(scan, false),
            Expected("Минимальная дата в архиве: 31.12.2063    23:59:59||Заполнение архива: 0 из  12 (99.9%)|"));
}

TEST(ArchiveReport, TypeEightyNineArchiveWithEveryCellValidIsFull) {
  ArchiveImage image(89, 3);
  image.FillAll(Content(0x38000000));
  const std::string report = Cp1251ToUtf8(FullReport(image, false));
  EXPECT_NE(report.find("Заполнение архива: 9 из  9 (100.0%)\r"), std::string::npos);
}

}  // namespace
}  // namespace ar4
