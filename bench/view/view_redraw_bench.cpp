// The viewer on a full-size type-76 archive (131072 pages, 2.49 million cells, about 1000 runs), offscreen:
// opening it (read, scan, runs, gathering the series), and a redraw of the plot on zoom and pan
// (decimation and painting into a 1200 x 700 image). Prints medians with min-max. Target: a redraw in
// 30 ms. With Qt Charts installed, the same data drawn by a QLineSeries: every point, and the decimated
// points, for comparison (every point only with AR4_BENCH_CHARTS_EVERY_POINT set: it takes minutes).
//   view_redraw_bench [--quick]

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "ar4gen/generator.hpp"
#include "view/document.hpp"
#include "view/plot_widget.hpp"

#ifdef AR4_WITH_QT_CHARTS
#include <QChart>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QValueAxis>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

/// CPU time of the calling thread in milliseconds: on a machine shared with other work the wall time of a
/// redraw says more about the neighbours than about the redraw.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-58s median %8.2f ms  (min %.2f, max %.2f, %zu runs)\n", what, ms[ms.size() / 2], ms.front(), ms.back(),
              ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;

  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 76;
  options.Header.PageCount = ar4::kMaxPageCount;
  options.SetBacks = 999;
  options.FlaggedChannels = 0.001;
  options.Seed = 3;
  const std::vector<std::uint8_t> file = ar4gen::GenerateArchive(options);
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("full76.ar4")).toStdString();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  ar4::view::Document document;
  std::vector<double> open_ms, gather_ms;
  for (int i = 0; i < (quick ? 3 : 7); ++i) {
    const auto t0 = Clock::now();
    if (!document.OpenArchive(path).Ok) {
      std::printf("the archive did not open\n");
      return 1;
    }
    open_ms.push_back(Ms(t0, Clock::now()));
    gather_ms.push_back(document.GatherMilliseconds());
  }
  std::printf("type 76, %u pages, %u rows, %zu runs\n", document.Archive().PageCount, document.Series().Rows(),
              document.Runs().size());
  Print("open: read, scan, runs and gathering", open_ms);
  Print("  of which gathering the series", gather_ms);

  ar4::view::PlotWidget plot;
  plot.resize(1200, 700);
  plot.SetSeries(&document.Series(), {QStringLiteral("Chan1")});
  QImage image(plot.size(), QImage::Format_RGB32);
  std::vector<double> cpu;
  const auto redraw = [&] {
    const auto t0 = Clock::now();
    const double c0 = ThreadCpuMs();
    QPainter p(&image);
    plot.Render(p, image.rect());
    p.end();
    cpu.push_back(ThreadCpuMs() - c0);
    return Ms(t0, Clock::now());
  };
  redraw();  // fonts and caches
  std::vector<double> full, zoom, pan, full_cpu, zoom_cpu, pan_cpu;
  cpu.clear();
  for (int i = 0; i < (quick ? 5 : 21); ++i) {
    plot.ResetView();
    full.push_back(redraw());
  }
  full_cpu.swap(cpu);
  plot.ResetView();
  for (int i = 0; i < (quick ? 10 : 30); ++i) {
    plot.ZoomBy(1.25, 0.37);
    zoom.push_back(redraw());
  }
  zoom_cpu.swap(cpu);
  plot.ResetView();
  plot.ZoomBy(4);
  for (int i = 0; i < (quick ? 10 : 30); ++i) {
    plot.PanBy(i % 10 < 5 ? 0.05 : -0.05);
    pan.push_back(redraw());
  }
  pan_cpu.swap(cpu);
  Print("redraw of the whole archive (decimation + paint)", full);
  Print("  the same, CPU time of the thread", full_cpu);
  Print("redraw while zooming in, CPU time", zoom_cpu);
  Print("redraw while panning, CPU time", pan_cpu);
  {
    // The decimation alone, the channel and the four relays over the whole archive.
    std::vector<double> ms;
    std::size_t spans = 0;
    const ar4::TimeAxis axis{document.Series().Times, document.Series().StretchStarts};
    const ar4::DecimationWindow window{plot.WindowFrom(), plot.WindowTo(), 1112};
    for (int i = 0; i < (quick ? 3 : 11); ++i) {
      const auto t0 = Clock::now();
      ar4::Decimated d;
      const auto& values = document.Series().Values[0];
      ar4::Decimate(axis, window, [&](std::uint32_t r) { return values[r]; }, d);
      spans = d.Spans.size();
      ms.push_back(Ms(t0, Clock::now()));
    }
    std::printf("  (%zu spans for the channel over %zu stretches)\n", spans, document.Series().StretchStarts.size());
    Print("  of which decimating the channel alone", ms);
  }
  Print("redraw while zooming in by 1.25 (decimation + paint)", zoom);
  Print("redraw while panning at 1/4 of the archive", pan);

#ifdef AR4_WITH_QT_CHARTS
  // The same channel through Qt Charts: a QLineSeries of every point, then of the decimated points.
  const ar4::PlotSeries& s = document.Series();
  const auto chart_time = [&](const QList<QPointF>& points, const char* what) {
    QGraphicsScene scene;
    auto* chart_item = new QChart;  // owned by the scene
    scene.addItem(chart_item);
    QChart& chart = *chart_item;
    auto* line = new QLineSeries;
    line->append(s.Times.front(), 0);
    chart.addSeries(line);
    chart.createDefaultAxes();
    chart.legend()->hide();
    chart.resize(1200, 700);
    scene.setSceneRect(0, 0, 1200, 700);
    const auto t0 = Clock::now();
    line->replace(points);
    auto* x = static_cast<QValueAxis*>(chart.axes(Qt::Horizontal).front());
    auto* y = static_cast<QValueAxis*>(chart.axes(Qt::Vertical).front());
    x->setRange(s.Times.front(), s.Times.back());
    y->setRange(-50, 150);
    QImage chart_image(1200, 700, QImage::Format_RGB32);
    std::vector<double> ms;
    {
      QPainter p(&chart_image);
      scene.render(&p);
    }
    ms.push_back(Ms(t0, Clock::now()));
    for (int i = 0; i < 3; ++i) {
      const auto t1 = Clock::now();
      x->setRange(s.Times.front() + i * 1000.0, s.Times.back() - i * 1000.0);
      QPainter p(&chart_image);
      scene.render(&p);
      p.end();
      ms.push_back(Ms(t1, Clock::now()));
    }
    std::printf("Qt Charts, %-46s first frame %.1f ms, then redraws %.1f / %.1f / %.1f ms\n", what, ms[0], ms[1], ms[2], ms[3]);
  };
  QList<QPointF> every;
  every.reserve(s.Rows());
  for (std::uint32_t r = 0; r < s.Rows(); ++r) {
    if (!std::isnan(s.Values[0][r])) every.append(QPointF(s.Times[r], s.Values[0][r]));
  }
  QList<QPointF> decimated;
  plot.ResetView();
  for (const ar4::ColumnSpan& span : plot.ChannelTrace(0).Spans) {
    decimated.append(QPointF(span.Column, span.First));
    decimated.append(QPointF(span.Column, span.Min));
    decimated.append(QPointF(span.Column, span.Max));
    decimated.append(QPointF(span.Column, span.Last));
  }
  chart_time(decimated, "decimated points of the plot");
  if (!quick && std::getenv("AR4_BENCH_CHARTS_EVERY_POINT") != nullptr) chart_time(every, "every point (2.49 million)");
#endif
  return 0;
}
