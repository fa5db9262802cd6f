// The viewer's window against the command line: the runs of every sample, the plotted rows of a selection
// and the records `ar4conv convert` writes for it, the conversion button, the widgets' mouse work, the
// pictures and the rejected files.

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

#include "core/archive/codecs.hpp"
#include "core/plot/plot_series.hpp"
#include "core/table/table_writers.hpp"
#include "view/main_window.hpp"

namespace ar4::view {
namespace {

QString Sample(const char* name) { return QStringLiteral(AR4_SOURCE_DIR "/samples/") + QString::fromUtf8(name); }

/// Runs ar4conv with `arguments`; its standard output, and the exit code in `code`.
QByteArray Cli(const QStringList& arguments, int* code = nullptr) {
  QProcess process;
  process.start(QStringLiteral(AR4_CLI_PATH), arguments);
  process.waitForFinished(60000);
  if (code != nullptr) *code = process.exitCode();
  return process.readAllStandardOutput();
}

int CliRunCount(const QString& archive) {
  const QByteArray out = Cli({QStringLiteral("runs"), archive});
  return static_cast<int>(out.count('\n'));
}

std::vector<std::uint8_t> Bytes(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray all = f.readAll();
  return {all.begin(), all.end()};
}

/// The rows of a selection equal the records in `folder`: the time of each record, its status, its value.
void ExpectSeriesEqualsRecords(const PlotSeries& s, const QString& folder) {
  ASSERT_FALSE(s.Samples);
  for (std::uint32_t g = 0; g < s.Channels; ++g) {
    const std::vector<std::uint8_t> pen = Bytes(folder + QStringLiteral("/Chan%1.pen").arg(g + 1));
    ASSERT_EQ(pen.size(), std::size_t{s.Rows()} * 15) << "channel " << g + 1;
    for (std::uint32_t row = 0; row < s.Rows(); ++row) {
      const std::uint8_t* r = pen.data() + row * 15;
      ASSERT_EQ(FieldsToSeconds(r[0], r[1], r[2], r[3], r[4], r[5]), s.Times[row]) << row;
      const std::uint8_t msb_first[4] = {r[9], r[8], r[7], r[6]};
      if (r[14] == 0) {
        ASSERT_EQ(static_cast<float>(DeviceFloatToDouble(msb_first)), s.Values[g][row]) << row;
      } else {
        ASSERT_TRUE(std::isnan(s.Values[g][row])) << row;
      }
    }
  }
  for (std::uint32_t k = 0; k < s.Relays; ++k) {
    const std::vector<std::uint8_t> rel = Bytes(folder + QStringLiteral("/Rele%1.rel").arg(k + 1));
    ASSERT_EQ(rel.size(), std::size_t{s.Rows()} * 7);
    for (std::uint32_t row = 0; row < s.Rows(); ++row) ASSERT_EQ(rel[row * 7 + 6], (s.RelayBits[row] >> k) & 1u);
  }
}

/// The output folder `ar4conv convert` prints.
QString CliConvert(const QString& archive, const QStringList& options, const QString& out) {
  int code = -1;
  const QByteArray printed = Cli(QStringList{QStringLiteral("convert"), archive, QStringLiteral("--out"), out} + options, &code);
  EXPECT_EQ(code, 0);
  return QString::fromUtf8(printed).trimmed();
}

void Drag(QWidget* widget, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent press(QEvent::MouseButtonPress, from, widget->mapToGlobal(from), button, button, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  for (int i = 1; i <= 4; ++i) {
    const QPoint at = from + (to - from) * i / 4;
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
  }
  QMouseEvent release(QEvent::MouseButtonRelease, to, widget->mapToGlobal(to), button, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().clear();
    window_.SetUnattended(out_.path());
    window_.resize(1100, 700);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  QTemporaryDir out_;
  MainWindow window_;
};

TEST_F(ViewerTest, EverySampleOpensWithAsManyRunsAsTheCommandLineLists) {
  for (const char* name : {"vr7731.ar4", "vr7732.ar4", "vr7733.ar4", "ls260.ar4", "grv300.ar4"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(window_.OpenPath(Sample(name)));
    const int runs = CliRunCount(Sample(name));
    EXPECT_GT(runs, 0);
    EXPECT_EQ(window_.Timeline()->RunCount(), runs);
    EXPECT_EQ(window_.RunList()->count(), runs);
    EXPECT_GT(window_.Doc().Series().Rows(), 0u);
    // The report pane shows what `ar4conv report` prints.
    EXPECT_EQ(window_.ReportPane()->toPlainText().trimmed(), QString::fromUtf8(Cli({QStringLiteral("report"), Sample(name)})).trimmed());
    // Overlapping runs are on rows of their own.
    const auto& rows = window_.Timeline()->RunRows();
    const auto& spans = window_.Doc().Runs();
    for (std::size_t a = 0; a < spans.size(); ++a) {
      for (std::size_t b = a + 1; b < spans.size(); ++b) {
        if (rows[a] == rows[b]) {
          EXPECT_TRUE(spans[a].To < spans[b].From || spans[b].To < spans[a].From);
        }
      }
    }
  }
}

TEST_F(ViewerTest, APlottedRunIsWhatTheConversionWritesAndTheButtonWritesTheSameFiles) {
  const QString archive = Sample("vr7731.ar4");
  ASSERT_TRUE(window_.OpenPath(archive));
  ASSERT_GE(window_.Timeline()->RunCount(), 2);
  // A click on the second run's bar selects it.
  QTest::mouseClick(window_.Timeline(), Qt::LeftButton, Qt::NoModifier, window_.Timeline()->RunCenter(1));
  ASSERT_EQ(window_.Doc().CurrentSelection().Mode, Selection::Kind::kRun);
  ASSERT_EQ(window_.Doc().CurrentSelection().Run, 1u);
  EXPECT_EQ(window_.RunList()->currentRow(), 1);

  QTemporaryDir cli_out;
  const QString cli_folder = CliConvert(archive, {QStringLiteral("--run"), QStringLiteral("2")}, cli_out.path());
  ExpectSeriesEqualsRecords(window_.Doc().Series(), cli_folder);

  // Every valid row is drawn: the spans of a channel cover exactly the rows with a value.
  const PlotSeries& s = window_.Doc().Series();
  for (std::uint32_t g = 0; g < s.Channels; ++g) {
    std::vector<bool> drawn(s.Rows());
    for (const ColumnSpan& span : window_.Plot()->ChannelTrace(static_cast<int>(g)).Spans) {
      for (std::uint32_t row = span.FirstRow; row <= span.LastRow; ++row) drawn[row] = true;
    }
    for (std::uint32_t row = 0; row < s.Rows(); ++row) ASSERT_EQ(drawn[row], !std::isnan(s.Values[g][row])) << row;
  }

  // The conversion button: the same files as the command line.
  const QString folder = window_.ConvertSelection();
  ASSERT_FALSE(folder.isEmpty());
  for (const QString& name : QDir(cli_folder).entryList(QDir::Files)) {
    EXPECT_EQ(Bytes(folder + QLatin1Char('/') + name), Bytes(cli_folder + QLatin1Char('/') + name)) << name.toStdString();
  }
  // The selection stays after the conversion.
  EXPECT_EQ(window_.Doc().CurrentSelection().Run, 1u);

  // The folder read back shows the same rows.
  ASSERT_TRUE(window_.OpenPath(folder));
  EXPECT_EQ(window_.Doc().Kind(), SourceKind::kFolder);
  ExpectSeriesEqualsRecords(window_.Doc().Series(), cli_folder);
}

TEST_F(ViewerTest, TheWholeArchiveIsTheWholeDateRangeOfTheCommandLine) {
  const QString archive = Sample("ls260.ar4");
  ASSERT_TRUE(window_.OpenPath(archive));
  QTemporaryDir cli_out;
  const QString cli_folder =
      CliConvert(archive, {QStringLiteral("--from"), QStringLiteral("2000-01-01")}, cli_out.path());
  ExpectSeriesEqualsRecords(window_.Doc().Series(), cli_folder);
}

TEST_F(ViewerTest, ADraggedRangeSelectsItsTimesAndAToggledChannelIsHidden) {
  ASSERT_TRUE(window_.OpenPath(Sample("vr7731.ar4")));
  TimelineWidget* timeline = window_.Timeline();
  const int y = timeline->height() / 3;
  Drag(timeline, QPoint(timeline->width() / 3, y), QPoint(timeline->width() * 2 / 3, y));
  const Selection& s = window_.Doc().CurrentSelection();
  ASSERT_EQ(s.Mode, Selection::Kind::kRange);
  const PlotSeries& series = window_.Doc().Series();
  ASSERT_GT(series.Rows(), 0u);
  for (const double t : series.Times) {
    ASSERT_GE(t, std::ceil(s.From));
    ASSERT_LE(t, std::floor(s.To));
  }

  // Converted, the range is the whole days it touches, as the interval dialog chooses them.
  const QString folder = window_.ConvertSelection();
  ASSERT_FALSE(folder.isEmpty());
  const auto day = [](double seconds) {
    const auto f = PackedToFields(SecondsToPacked(seconds));
    return QStringLiteral("%1-%2-%3").arg(2000 + f[0]).arg(f[1], 2, 10, QLatin1Char('0')).arg(f[2], 2, 10, QLatin1Char('0'));
  };
  QTemporaryDir cli_out;
  const QString cli_folder = CliConvert(Sample("vr7731.ar4"), {QStringLiteral("--from"), day(s.From), QStringLiteral("--to"), day(s.To)},
                                        cli_out.path());
  for (const QString& name : QDir(cli_folder).entryList(QDir::Files)) {
    EXPECT_EQ(Bytes(folder + QLatin1Char('/') + name), Bytes(cli_folder + QLatin1Char('/') + name)) << name.toStdString();
  }
  EXPECT_EQ(window_.Doc().CurrentSelection().Mode, Selection::Kind::kRange);

  // Channel 2 off: nothing drawn for it, and the choice is kept.
  QListWidgetItem* item = window_.ChannelList()->item(1);
  ASSERT_NE(item, nullptr);
  item->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(window_.Plot()->ChannelVisible(1));
  EXPECT_TRUE(window_.Plot()->ChannelTrace(1).Spans.empty());
  EXPECT_FALSE(window_.Plot()->ChannelTrace(0).Spans.empty());
  EXPECT_EQ(QSettings().value(QStringLiteral("channels/4")).toString(), QStringLiteral("1011"));

  // Zoom with a rubber band, then back.
  PlotWidget* plot = window_.Plot();
  const double full = plot->WindowTo() - plot->WindowFrom();
  Drag(plot, QPoint(200, 100), QPoint(400, 100), Qt::RightButton);
  EXPECT_LT(plot->WindowTo() - plot->WindowFrom(), full / 2);
  QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, QPoint(300, 100));
  EXPECT_DOUBLE_EQ(plot->WindowTo() - plot->WindowFrom(), full);
  // The cursor read-out names the time and every visible channel.
  const QStringList lines = plot->ReadOut(plot->width() / 2).split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 4);
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Chan1")));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Chan3")));
}

TEST_F(ViewerTest, Grv300SamplesStandAtTheirOwnTimesWithTheAuxiliaryValuesOnRequest) {
  ASSERT_TRUE(window_.OpenPath(Sample("grv300.ar4")));
  const PlotSeries& s = window_.Doc().Series();
  ASSERT_TRUE(s.Samples);
  ASSERT_FALSE(s.Aux.empty());
  // The samples of a cell follow its time at the cell's interval (1/8 second for byte 6 = 0).
  bool fraction = false;
  for (std::size_t k = 0; k < s.Aux.size(); ++k) {
    const std::uint32_t end = k + 1 < s.Aux.size() ? s.Aux[k + 1].FirstRow : s.Rows();
    ASSERT_EQ(s.Times[s.Aux[k].FirstRow], s.AuxTimes[k]);
    for (std::uint32_t row = s.Aux[k].FirstRow + 1; row < end; ++row) {
      ASSERT_GT(s.Times[row], s.Times[row - 1]);
      fraction = fraction || s.Times[row] != std::floor(s.Times[row]);
    }
  }
  EXPECT_TRUE(fraction);
  PlotWidget* plot = window_.Plot();
  EXPECT_FALSE(plot->ReadOut(plot->width() / 2).contains(QStringLiteral("C: ")));
  plot->SetAuxVisible(true);
  EXPECT_TRUE(plot->ReadOut(plot->width() / 2).contains(QStringLiteral("C: ")));
}

TEST_F(ViewerTest, ADroppedArchiveOpensAndGoesToTheRecentFiles) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Sample("vr7733.ar4"))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&window_, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&window_, &drop);
  EXPECT_EQ(window_.Doc().Kind(), SourceKind::kArchive);
  EXPECT_EQ(window_.Doc().Archive().DeviceType, 75);
  EXPECT_EQ(window_.ChannelList()->count(), 16);
  EXPECT_EQ(QSettings().value(QStringLiteral("recent")).toStringList().value(0), QFileInfo(Sample("vr7733.ar4")).absoluteFilePath());
}

TEST_F(ViewerTest, TheTableOfARunIsTheTableOfTheCommandLine) {
  const QString archive = Sample("vr7731.ar4");
  ASSERT_TRUE(window_.OpenPath(archive));
  window_.SelectRun(1);
  const QString csv = out_.filePath(QStringLiteral("run2.csv")), cli_csv = out_.filePath(QStringLiteral("cli.csv"));
  ASSERT_TRUE(window_.ExportTable(csv));
  int code = -1;
  Cli({QStringLiteral("table"), archive, QStringLiteral("--run"), QStringLiteral("2"), QStringLiteral("-o"), cli_csv}, &code);
  ASSERT_EQ(code, 0);
  const std::vector<std::uint8_t> ours = Bytes(csv);
  EXPECT_FALSE(ours.empty());
  EXPECT_EQ(ours, Bytes(cli_csv));
  // One line per plotted row, and the header.
  EXPECT_EQ(static_cast<std::size_t>(std::count(ours.begin(), ours.end(), '\n')), window_.Doc().Series().Rows() + 1u);
  if (XlsxSupported()) {
    const QString xlsx = out_.filePath(QStringLiteral("run2.xlsx"));
    ASSERT_TRUE(window_.ExportTable(xlsx));
    const std::vector<std::uint8_t> book = Bytes(xlsx);
    ASSERT_GT(book.size(), 4u);
    EXPECT_EQ(book[0], 'P');  // a zip archive
    EXPECT_EQ(book[1], 'K');
  }
  // A table that cannot be written: the fixed message.
  EXPECT_FALSE(window_.ExportTable(out_.filePath(QStringLiteral("missing/t.csv"))));
  EXPECT_EQ(window_.Messages().back(), QString::fromUtf8("Ошибки"));
}

TEST_F(ViewerTest, PicturesAsPngAndSvg) {
  ASSERT_TRUE(window_.OpenPath(Sample("vr7732.ar4")));
  const QString png = out_.filePath(QStringLiteral("plot.png")), svg = out_.filePath(QStringLiteral("plot.svg"));
  ASSERT_TRUE(window_.ExportPicture(png));
  ASSERT_TRUE(window_.ExportPicture(svg));
  const QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_GE(image.width(), 800);
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.contains("<svg"));
  EXPECT_TRUE(text.contains("<polyline") || text.contains("<path"));
}

TEST_F(ViewerTest, RejectedFilesShowTheFixedMessageAndKeepWhatWasOpen) {
  ASSERT_TRUE(window_.OpenPath(Sample("ls260.ar4")));
  const QString small = out_.filePath(QStringLiteral("small.ar4"));
  std::ofstream(small.toStdString(), std::ios::binary) << std::string(100, 'a');
  EXPECT_FALSE(window_.OpenPath(small));
  EXPECT_EQ(window_.Messages().back(), QString::fromUtf8("Ошибочный размер файла"));
  const QString wrong = out_.filePath(QStringLiteral("wrong.ar4"));
  std::ofstream(wrong.toStdString(), std::ios::binary) << std::string(600, 'x');
  EXPECT_FALSE(window_.OpenPath(wrong));
  EXPECT_EQ(window_.Messages().back(), QString::fromUtf8("Ошибочный формат файла"));
  EXPECT_FALSE(window_.OpenPath(out_.filePath(QStringLiteral("missing.ar4"))));
  EXPECT_EQ(window_.Messages().back(), QString::fromUtf8("Ошибки"));
  EXPECT_FALSE(window_.OpenPath(out_.path()));  // a folder without channel files
  // The archive opened before is still shown, and its buffers hold it again: a run selected now is the
  // run the command line converts.
  EXPECT_EQ(window_.Doc().Kind(), SourceKind::kArchive);
  window_.SelectRun(0);
  QTemporaryDir cli_out;
  ExpectSeriesEqualsRecords(window_.Doc().Series(),
                            CliConvert(Sample("ls260.ar4"), {QStringLiteral("--run"), QStringLiteral("1")}, cli_out.path()));
}

}  // namespace
}  // namespace ar4::view
