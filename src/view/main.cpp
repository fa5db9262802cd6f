// ar4view: looks at the measurements of an archive or a converted folder.
//   ar4view [PATH] [--timing] [--quit-after-paint] [--screenshot FILE] [--picture FILE] [--size WxH]
//           [--run K] [--zoom FACTOR] [--cursor FRACTION]

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "view/main_window.hpp"

namespace {

/// The first argument that is not an option, if any (before Qt has seen the command line).
std::string FirstPath(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version") {
      return {};  // the program ends after printing: nothing to open
    }
    if (a == "--screenshot" || a == "--picture" || a == "--size" || a == "--run" || a == "--cursor" || a == "--zoom") {
      ++i;
    } else if (!a.empty() && a[0] != '-') {
      return a;
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer since_start;
  since_start.start();
  // The first archive is read, scanned and gathered on a thread of its own while Qt starts and the
  // window is built; the window shows it once both are done.
  ar4::view::Document document;
  const std::string first_path = FirstPath(argc, argv);
  const bool early = !first_path.empty() && std::filesystem::is_regular_file(first_path);
  ar4::view::OpenResult early_result;
  std::thread opener;
  if (early) opener = std::thread([&] { early_result = document.OpenArchive(first_path); });
  struct Joiner {
    std::thread& t;
    ~Joiner() {
      if (t.joinable()) t.join();
    }
  } joiner{opener};
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("ar4conv"));
  QApplication::setApplicationName(QStringLiteral("ar4view"));
  QApplication::setApplicationVersion(QStringLiteral(AR4_VERSION));
  // The program's icon on its windows; the desktop entry that menus and task bars match them with.
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QStringLiteral(":/icons/ar4conv-%1.png").arg(size));
  QApplication::setWindowIcon(icon);
  QApplication::setDesktopFileName(QStringLiteral("ar4view"));
  // Qt's own texts (dialog buttons) in the user's language, when a translation is installed.
  QTranslator qt_translator;
  if (qt_translator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_translator);
  }

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Shows the measurements of an .ar4 archive or of a converted folder (Pen.txt, Chan*.pen, Rele*.rel):\n"
      "the archive report, the runs between clock set-backs on a timeline, the channels and relays as plots."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("an archive (.ar4) or a converted folder"));
  const QCommandLineOption timing(QStringLiteral("timing"), QStringLiteral("print the time to the first painted plot on stderr"));
  const QCommandLineOption quit(QStringLiteral("quit-after-paint"), QStringLiteral("quit once the plot has been painted"));
  const QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("save the window as a PNG after the first paint, then quit"),
                                      QStringLiteral("FILE"));
  const QCommandLineOption picture(QStringLiteral("picture"), QStringLiteral("save the plot as FILE (.png or .svg) after the first paint, then quit"),
                                   QStringLiteral("FILE"));
  const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("window size, WxH"), QStringLiteral("WxH"));
  const QCommandLineOption run(QStringLiteral("run"), QStringLiteral("select run K (from 1) after opening"), QStringLiteral("K"));
  const QCommandLineOption zoom(QStringLiteral("zoom"), QStringLiteral("zoom the plot in by FACTOR about its middle after opening"),
                                QStringLiteral("FACTOR"));
  const QCommandLineOption cursor(QStringLiteral("cursor"), QStringLiteral("put the cursor line at this fraction of the plot's width (0..1)"),
                                  QStringLiteral("FRACTION"));
  parser.addOptions({timing, quit, screenshot, picture, size, run, zoom, cursor});
  parser.process(app);

  ar4::view::MainWindow window(document);
  if (parser.isSet(size)) {
    const QStringList wh = parser.value(size).split(QLatin1Char('x'));
    if (wh.size() == 2) window.resize(wh[0].toInt(), wh[1].toInt());
  }
  const bool unattended = parser.isSet(quit) || parser.isSet(screenshot) || parser.isSet(picture);
  if (unattended) window.SetUnattended(QString());
  const QStringList paths = parser.positionalArguments();
  bool opened = false;
  if (early) {
    opener.join();
    opened = window.ShowOpened(paths.front(), early_result);
  } else if (!paths.isEmpty()) {
    opened = window.OpenPath(paths.front());
  }
  if (opened && parser.isSet(run)) window.SelectRun(parser.value(run).toInt() - 1);
  if (opened && parser.isSet(zoom)) window.Plot()->ZoomBy(parser.value(zoom).toDouble());
  if (unattended && !paths.isEmpty() && !opened) {
    for (const QString& m : window.Messages()) std::fprintf(stderr, "%s\n", m.toUtf8().constData());
    return 1;
  }
  window.show();

  bool first = true;
  QObject::connect(window.Plot(), &ar4::view::PlotWidget::Painted, &window, [&] {
    if (!first) return;
    first = false;
    if (parser.isSet(timing)) {
      std::fprintf(stderr, "ar4view: first plot painted %.1f ms after start (read, scan and runs %.1f ms, gathering %.1f ms, paint %.1f ms)\n",
                   since_start.nsecsElapsed() / 1e6, window.Doc().LoadMilliseconds(), window.Doc().GatherMilliseconds(),
                   window.Plot()->LastPaintMilliseconds());
    }
    if (parser.isSet(cursor)) {
      // A mouse move over the plot puts the cursor line there.
      const int x = static_cast<int>(window.Plot()->width() * parser.value(cursor).toDouble());
      QMouseEvent move(QEvent::MouseMove, QPointF(x, window.Plot()->height() / 2.0), window.Plot()->mapToGlobal(QPointF(x, window.Plot()->height() / 2.0)),
                       Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(window.Plot(), &move);
    }
    if (!unattended) return;
    QTimer::singleShot(parser.isSet(cursor) ? 100 : 0, &window, [&] {
      int status = 0;
      if (parser.isSet(screenshot) && !window.grab().save(parser.value(screenshot), "PNG")) status = 1;
      if (parser.isSet(picture) && !window.ExportPicture(parser.value(picture))) status = 1;
      QApplication::exit(status);
    });
  });
  return QApplication::exec();
}
