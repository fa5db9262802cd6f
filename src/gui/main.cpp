// ar4conv-gui: the window program. A splash for about three seconds, then the main window, whose open
// button runs one conversion of an ".ar4" archive into the folder tree that TrendoraStudio reads.

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/file_system.hpp"
#include "gui/form_convert.hpp"
#include "gui/form_date_select.hpp"
#include "gui/qt_translation.hpp"
#include "gui/screenshot.hpp"
#include "gui/splash.hpp"

int main(int argc, char** argv) try {
  // "/S" is read from the arguments as given, before the toolkit takes its own options out of them.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  QApplication app(argc, argv);
  // The program's own icon on its windows; the desktop entry that menus and task bars match them with.
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/ar4conv-%1.png").arg(size));
  }
  QApplication::setWindowIcon(icon);
  QApplication::setDesktopFileName(QStringLiteral("ar4conv-gui"));
  ar4::InstallQtTranslation(app);
  const ar4::ScreenshotPlan shots = ar4::ScreenshotPlanFromEnvironment();

  auto splash = std::make_unique<ar4::TTitl>();
  splash->show();
  splash->repaint();
  QCoreApplication::processEvents();
  ar4::SaveWindowPicture(splash.get(), shots.Folder, QStringLiteral("splash.png"));

  // The buffers, the file system and the driver of the process, created once.
  ar4::ArchiveBuffers buffers;
  ar4::DiskFileSystem file_system;
  ar4::ConversionDriver driver(buffers, file_system);
  driver.Settings().DetailedMode = ar4::DetailedModeFromArguments(arguments);
  driver.Settings().DecimalSeparator = ar4::UserDecimalSeparator();

  ar4::TFormConvert form(driver.Settings());
  ar4::TFormDateSelect date_select(&form);
  form.AttachDateSelect(&date_select);
  form.SetConvertHandler([&driver, &form] { driver.BtnConvertClick(form); });

  // The creation of the windows counts towards the splash's three seconds.
  while (splash->TimerActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  splash->hide();
  splash.reset();

  form.show();  // runs the show handler: title, viewer search, the open dialog's folder
  QCoreApplication::processEvents();
  form.repaint();

  if (!shots.Folder.isEmpty()) {
    ar4::SaveWindowPicture(&form, shots.Folder, QStringLiteral("main-window.png"));
    ar4::RunScreenshotConversion(form, shots,
                                      [&driver](ar4::UserInterface& ui) { driver.BtnConvertClick(ui); });
    return 0;
  }
  return app.exec();
} catch (const std::exception& failure) {
  // Not expected (the conversion reports its own failures), but never an abort.
  std::fprintf(stderr, "ar4conv-gui: Ошибки: %s\n", failure.what());
  return 1;
} catch (...) {
  std::fprintf(stderr, "ar4conv-gui: Ошибки\n");
  return 1;
}
