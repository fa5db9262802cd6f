#pragma once
/// The plot: the channels as lines over one time axis, the relays as step traces beneath, type-89
/// auxiliary values on request; drawn with QPainter from the decimated series, so a redraw costs one pass
/// over the rows in the window whatever their number. Wheel and keys zoom, a drag pans, a right-button
/// (or Shift) drag zooms to a rubber band, a double click resets; a cursor line reads out every value.

#include <QRubberBand>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "core/plot/decimation.hpp"
#include "core/plot/plot_series.hpp"

namespace ar4::view {

class PlotWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PlotWidget(QWidget* parent = nullptr);

  /// Shows `series` (kept by the caller while shown, nullptr for none) over its whole time range.
  void SetSeries(const PlotSeries* series, const QStringList& channel_names);
  void SetChannelNames(const QStringList& channel_names);
  void SetChannelVisible(int channel, bool visible);
  bool ChannelVisible(int channel) const;
  void SetAuxVisible(bool visible);
  bool AuxVisible() const { return aux_visible_; }

  double WindowFrom() const { return from_; }
  double WindowTo() const { return to_; }
  /// Sets the time window (clamped to the series' range).
  void SetWindow(double from, double to);
  /// Zooms by `factor` (> 1 in) about the point at `fraction` of the width.
  void ZoomBy(double factor, double fraction = 0.5);
  /// Moves the window by `fraction` of its span.
  void PanBy(double fraction);
  void ResetView();

  /// Draws the whole picture into `target` (the widget, a PNG image or an SVG generator).
  void Render(QPainter& painter, const QRect& target);
  bool SavePng(const QString& file, const QSize& size);
  bool SaveSvg(const QString& file, const QSize& size);

  /// The decimated spans of a channel for the current window and width (tests, benchmarks).
  const Decimated& ChannelTrace(int channel);
  /// Milliseconds of the last redraw of the widget (decimation and painting).
  double LastPaintMilliseconds() const { return last_paint_ms_; }
  /// The read-out of the cursor line at widget x (empty outside the plot).
  QString ReadOut(int x);

 signals:
  void Painted();
  void WindowChanged(double from, double to);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Layout {
    QRect Plot;                 // the channels' area
    std::vector<QRect> Relays;  // one lane each
    QRect Aux;                  // type-89 auxiliary values C and D
    QRect TimeAxis;             // labels under everything
    QRect All;                  // from the top of the plot to the bottom of the last lane
  };
  struct Cache {
    double From = 0, To = 0;
    int Width = 0;
    std::uint64_t Visible = 0;
    bool Aux = false;
    std::vector<Decimated> Channels, Relays, AuxTraces;
    bool Valid = false;
  };
  struct GapAt {
    int X;
    int Channel;
    std::uint32_t Row;
  };

  Layout LayoutFor(const QRect& target, const QFontMetrics& metrics) const;
  void Decimate(Cache& cache, int width) const;
  double XToTime(const Layout& layout, int x) const;
  /// The row nearest to `time` over all stretches; false when there is none.
  bool NearestRow(double time, std::uint32_t& row) const;
  std::uint64_t VisibleMask() const;
  void Changed();

  const PlotSeries* series_ = nullptr;
  QStringList names_;
  std::vector<bool> visible_;
  bool aux_visible_ = false;
  double full_from_ = 0, full_to_ = 1;
  double from_ = 0, to_ = 1;
  Cache cache_;
  std::vector<GapAt> gaps_;  // where the last widget paint put its gap marks
  int cursor_x_ = -1;
  double last_paint_ms_ = 0;
  // Dragging.
  enum class Drag { kNone, kPan, kBand } drag_ = Drag::kNone;
  QPoint press_;
  double press_from_ = 0, press_to_ = 1;
  QRubberBand* band_ = nullptr;
};

/// The colour of channel g on the plot and in the channel list.
QColor ChannelColor(int channel);

}  // namespace ar4::view
