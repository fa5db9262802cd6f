// A whole conversion through the Qt windows — file dialog, report box, interval dialog, folder dialog —
// gives the same files as the command line.

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "ar4gen/generator.hpp"
#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/export/file_system.hpp"
#include "gui/form_convert.hpp"
#include "gui/form_date_select.hpp"
#include "modal_helper.hpp"

namespace ar4 {
namespace {

namespace fs = std::filesystem;
using testing::WhenModal;

/// Every file under `root`, by its path relative to it, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).generic_string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

TEST(ConversionThroughWindows, GivesTheSameFilesAsTheCommandLine) {
  const fs::path dir = fs::temp_directory_path() / "ar4conv-gui-conversion";
  fs::remove_all(dir);
  fs::create_directories(dir / "gui");
  fs::create_directories(dir / "cli");

  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 74;
  options.Header.PageCount = 6;
  options.Header.CreationDate = 0x3C8CE000;
  options.WrapSlot = 11;
  options.FlaggedChannels = 0.1;
  const std::vector<std::uint8_t> bytes = ar4gen::GenerateArchive(options);
  const fs::path archive = dir / "a.ar4";
  {
    std::ofstream out(archive, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  ArchiveBuffers buffers;
  DiskFileSystem disk;
  ConversionDriver driver(buffers, disk);
  TFormConvert form(driver.Settings());
  TFormDateSelect date_select(&form);
  form.AttachDateSelect(&date_select);
  form.SetConvertHandler([&driver, &form] { driver.BtnConvertClick(form); });

  // The person: picks the archive, confirms the report, keeps the first run, picks the folder.
  WhenModal([&](QWidget* file_dialog) {
    WhenModal([&](QWidget* report_box) {
      WhenModal([&](QWidget*) {
        WhenModal([&](QWidget* folder_dialog) {
          auto* d = static_cast<QFileDialog*>(folder_dialog);
          d->setDirectory(QString::fromStdString((dir / "gui").string()));
          d->selectFile(QString::fromStdString((dir / "gui").string()));
          static_cast<QDialog*>(d)->accept();  // the dialog's own accept, as its Open button
        });
        QTest::mouseClick(date_select.BtnOk, Qt::LeftButton);
      });
      testing::PressKey(report_box, Qt::Key_Return);
    });
    auto* d = static_cast<QFileDialog*>(file_dialog);
    d->selectFile(QString::fromStdString(archive.string()));
    static_cast<QDialog*>(d)->accept();
  });
  form.show();
  QTest::mouseClick(form.BtnConvert, Qt::LeftButton);

  ASSERT_TRUE(driver.LastRunSucceeded());
  EXPECT_TRUE(form.BtnConvert->isEnabled());

  const std::string command = std::string(AR4_CLI_PATH) + " convert '" + archive.string() + "' --out '" +
                              (dir / "cli").string() + "' --decimal-separator " +
                              std::string(1, driver.Settings().DecimalSeparator) + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto gui = Tree(dir / "gui");
  EXPECT_EQ(gui.size(), 1u + 1u + 8u + 8u);  // Pen.txt, All_Chan.txt, 8 channel and 8 relay files
  EXPECT_EQ(gui, Tree(dir / "cli"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ar4
