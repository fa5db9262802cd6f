#include "view/plot_widget.hpp"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "view/document.hpp"

namespace ar4::view {
namespace {

constexpr int kLeftMargin = 72;
constexpr int kRightMargin = 16;
constexpr int kTopMargin = 10;
constexpr int kRelayLane = 22;
constexpr int kAuxHeight = 90;
constexpr int kGap = 8;

/// The smallest time window: a second, an eighth for type 89 samples.
double MinimumSpan(const PlotSeries* s) { return s != nullptr && s->Samples ? 0.5 : 2.0; }

/// A "nice" step (1, 2 or 5 times a power of ten) for about `range` / `count`.
double NiceStep(double range, int count) {
  const double raw = range / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double m = raw / power;
  return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
}

/// Time-axis steps in seconds.
constexpr std::array<double, 28> kTimeSteps{0.125, 0.25, 0.5,   1,     2,     5,      10,     15,    30,    60,
                                            120,   300,  600,   900,   1800,  3600,   7200,   10800, 21600, 43200,
                                            86400, 172800, 604800, 1209600, 2592000, 7776000, 15552000, 31536000};

QString NumberText(double v, double step) {
  const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
  return QString::number(v, 'f', decimals);
}

struct YMap {
  double Min = 0, Max = 1;
  QRect Area;
  double Y(double v) const {
    return Area.bottom() - (v - Min) / (Max - Min) * (Area.height() - 1);
  }
};

/// The range of the spans inside the window, widened a little; [0, 1] when there is nothing.
void ExtendRange(const Decimated& d, int width, double& lo, double& hi) {
  for (const ColumnSpan& s : d.Spans) {
    if (s.Column < 0 || s.Column >= width) continue;
    lo = std::min<double>(lo, s.Min);
    hi = std::max<double>(hi, s.Max);
  }
}

void FinishRange(double& lo, double& hi) {
  if (!(lo <= hi)) {
    lo = 0;
    hi = 1;
  } else if (hi - lo < 1e-6 * std::max(1.0, std::abs(hi))) {
    // One value (or values equal to the precision of the axis): a band around it.
    const double pad = std::max(1.0, std::abs(hi) * 1e-3);
    lo -= pad;
    hi += pad;
  } else {
    const double pad = (hi - lo) * 0.05;
    lo -= pad;
    hi += pad;
  }
}

/// Lines of a decimated trace: joins between columns, strokes within them, a dot for a lone value.
void DrawTrace(QPainter& p, const Decimated& d, const QRect& area, const YMap& y, bool steps) {
  std::vector<QLineF> lines;
  lines.reserve(d.Spans.size() * 3);
  const double left = area.left();
  for (std::size_t i = 0; i < d.Spans.size(); ++i) {
    const ColumnSpan& s = d.Spans[i];
    const double x = left + s.Column + 0.5;
    const double y_first = y.Y(s.First);
    if (s.Joined && i > 0) {
      const ColumnSpan& prev = d.Spans[i - 1];
      const double px = left + prev.Column + 0.5;
      const double y_last = y.Y(prev.Last);
      if (steps) {
        lines.emplace_back(px, y_last, x, y_last);
        lines.emplace_back(x, y_last, x, y_first);
      } else {
        lines.emplace_back(px, y_last, x, y_first);
      }
    }
    if (s.Min != s.Max) {
      lines.emplace_back(x, y.Y(s.Min), x, y.Y(s.Max));
    } else if (!s.Joined && (i + 1 >= d.Spans.size() || !d.Spans[i + 1].Joined)) {
      lines.emplace_back(x - 1, y_first, x + 1, y_first);  // a value on its own
    }
  }
  p.drawLines(lines.data(), static_cast<int>(lines.size()));
}

/// The status code of a flagged row's channel (the list is in row order), 0 when none is listed.
int StatusOf(const PlotSeries& series, std::uint32_t row, int channel) {
  const auto it = std::lower_bound(series.Flagged.begin(), series.Flagged.end(), row,
                                   [](const FlaggedValue& f, std::uint32_t r) { return f.Row < r; });
  for (auto f = it; f != series.Flagged.end() && f->Row == row; ++f) {
    if (f->Channel == channel) return f->Status;
  }
  return 0;
}

QDateTime AxisDateTime(double seconds) {
  static const QDateTime epoch(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
  return epoch.addMSecs(static_cast<qint64>(std::llround(seconds * 1000)));
}

}  // namespace

QColor ChannelColor(int channel) {
  static const std::array<QColor, 16> colors{
      QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
      QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
      QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf), QColor(0x39, 0x3b, 0x79), QColor(0x63, 0x79, 0x39),
      QColor(0x8c, 0x6d, 0x31), QColor(0x84, 0x3c, 0x39), QColor(0x7b, 0x41, 0x73), QColor(0x31, 0x82, 0xbd)};
  return colors[static_cast<std::size_t>(channel) % colors.size()];
}

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  band_ = new QRubberBand(QRubberBand::Rectangle, this);
}

void PlotWidget::SetSeries(const PlotSeries* series, const QStringList& channel_names) {
  series_ = series;
  names_ = channel_names;
  const std::size_t channels = series != nullptr ? series->Channels : 0;
  visible_.resize(channels, true);
  full_from_ = 0;
  full_to_ = 1;
  if (series != nullptr && series->Rows() > 0) {
    full_from_ = series->EarliestTime;
    full_to_ = series->LatestTime;
    const double pad = std::max((full_to_ - full_from_) * 0.01, MinimumSpan(series) / 2);
    full_from_ -= pad;
    full_to_ += pad;
  }
  from_ = full_from_;
  to_ = full_to_;
  Changed();
}

void PlotWidget::SetChannelNames(const QStringList& channel_names) {
  names_ = channel_names;
  update();
}

void PlotWidget::SetChannelVisible(int channel, bool visible) {
  if (channel < 0) return;
  if (static_cast<std::size_t>(channel) >= visible_.size()) visible_.resize(channel + 1, true);
  visible_[channel] = visible;
  Changed();
}

bool PlotWidget::ChannelVisible(int channel) const {
  return channel >= 0 && static_cast<std::size_t>(channel) < visible_.size() && visible_[channel];
}

void PlotWidget::SetAuxVisible(bool visible) {
  aux_visible_ = visible;
  Changed();
}

void PlotWidget::SetWindow(double from, double to) {
  if (!(to > from)) return;
  const double span = std::clamp(to - from, std::min(MinimumSpan(series_), full_to_ - full_from_), full_to_ - full_from_);
  const double center = (from + to) / 2;
  from = center - span / 2;
  if (from < full_from_) from = full_from_;
  if (from + span > full_to_) from = full_to_ - span;
  from_ = from;
  to_ = from + span;
  cache_.Valid = false;
  update();
  emit WindowChanged(from_, to_);
}

void PlotWidget::ZoomBy(double factor, double fraction) {
  const double span = to_ - from_;
  const double at = from_ + span * fraction;
  const double next = span / factor;
  SetWindow(at - next * fraction, at + next * (1 - fraction));
}

void PlotWidget::PanBy(double fraction) {
  const double shift = (to_ - from_) * fraction;
  SetWindow(from_ + shift, to_ + shift);
}

void PlotWidget::ResetView() { SetWindow(full_from_, full_to_); }

void PlotWidget::Changed() {
  cache_.Valid = false;
  update();
}

std::uint64_t PlotWidget::VisibleMask() const {
  std::uint64_t mask = 0;
  for (std::size_t g = 0; g < visible_.size() && g < 64; ++g) {
    if (visible_[g]) mask |= std::uint64_t{1} << g;
  }
  return mask;
}

PlotWidget::Layout PlotWidget::LayoutFor(const QRect& target, const QFontMetrics& metrics) const {
  Layout l;
  const int relays = series_ != nullptr ? static_cast<int>(series_->Relays) : 0;
  const bool aux = aux_visible_ && series_ != nullptr && series_->Samples;
  const int axis = 2 * metrics.height() + 10;
  const int below = relays * kRelayLane + (relays > 0 ? kGap : 0) + (aux ? kAuxHeight + kGap : 0);
  const int left = target.left() + kLeftMargin, right = target.right() - kRightMargin;
  const int plot_height = std::max(40, target.height() - kTopMargin - axis - below);
  l.Plot = QRect(QPoint(left, target.top() + kTopMargin), QPoint(right, target.top() + kTopMargin + plot_height - 1));
  int y = l.Plot.bottom() + 1 + (relays > 0 ? kGap : 0);
  for (int r = 0; r < relays; ++r, y += kRelayLane) l.Relays.push_back(QRect(left, y + 3, l.Plot.width(), kRelayLane - 6));
  if (aux) {
    y += kGap;
    l.Aux = QRect(left, y, l.Plot.width(), kAuxHeight);
    y += kAuxHeight;
  }
  l.All = QRect(QPoint(left, l.Plot.top()), QPoint(right, y - 1));
  l.TimeAxis = QRect(left, y + 2, l.Plot.width(), axis);
  return l;
}

void PlotWidget::Decimate(Cache& cache, int width) const {
  cache.From = from_;
  cache.To = to_;
  cache.Width = width;
  cache.Visible = VisibleMask();
  cache.Aux = aux_visible_;
  cache.Channels.assign(series_ != nullptr ? series_->Channels : 0, {});
  cache.Relays.assign(series_ != nullptr ? series_->Relays : 0, {});
  cache.AuxTraces.assign(2, {});
  cache.Valid = true;
  if (series_ == nullptr || width <= 0) return;
  const DecimationWindow window{from_, to_, static_cast<std::uint32_t>(width)};
  const TimeAxis axis{series_->Times, series_->StretchStarts};
  // More stretches than a few per column cannot be told apart as lines: their envelope is drawn.
  const bool envelope = series_->StretchStarts.size() > 4u * static_cast<std::size_t>(width);
  for (std::size_t g = 0; g < cache.Channels.size(); ++g) {
    if (!ChannelVisible(static_cast<int>(g))) continue;
    const std::vector<float>& values = series_->Values[g];
    const auto value_at = [&values](std::uint32_t row) { return values[row]; };
    if (envelope) {
      ar4::DecimateEnvelope(series_->Times, window, value_at, cache.Channels[g]);
    } else {
      ar4::Decimate(axis, window, value_at, cache.Channels[g], g < series_->ValueBlocks.size() ? &series_->ValueBlocks[g] : nullptr);
    }
  }
  for (std::size_t r = 0; r < cache.Relays.size(); ++r) {
    const std::vector<std::uint8_t>& bits = series_->RelayBits;
    if (bits.empty()) break;
    const auto value_at = [&bits, r](std::uint32_t row) { return static_cast<float>((bits[row] >> r) & 1u); };
    if (envelope) {
      ar4::DecimateEnvelope(series_->Times, window, value_at, cache.Relays[r]);
    } else {
      ar4::Decimate(axis, window, value_at, cache.Relays[r], r < series_->RelayBlocks.size() ? &series_->RelayBlocks[r] : nullptr);
    }
  }
  if (aux_visible_ && series_->Samples) {
    const TimeAxis aux_axis{series_->AuxTimes, series_->AuxStretches};
    const auto& aux = series_->Aux;
    ar4::Decimate(aux_axis, window, [&aux](std::uint32_t k) { return aux[k].C; }, cache.AuxTraces[0],
                  series_->AuxBlocks.size() > 0 ? &series_->AuxBlocks[0] : nullptr);
    ar4::Decimate(aux_axis, window, [&aux](std::uint32_t k) { return aux[k].D; }, cache.AuxTraces[1],
                  series_->AuxBlocks.size() > 1 ? &series_->AuxBlocks[1] : nullptr);
  }
}

const Decimated& PlotWidget::ChannelTrace(int channel) {
  const Layout l = LayoutFor(rect(), fontMetrics());
  if (!cache_.Valid || cache_.Width != l.Plot.width()) Decimate(cache_, l.Plot.width());
  static const Decimated kNone;
  return channel >= 0 && static_cast<std::size_t>(channel) < cache_.Channels.size() ? cache_.Channels[channel] : kNone;
}

void PlotWidget::Render(QPainter& p, const QRect& target) {
  p.save();
  p.fillRect(target, Qt::white);
  const QFontMetrics metrics = p.fontMetrics();
  const Layout l = LayoutFor(target, metrics);
  const bool widget_paint = p.device() == this;
  if (widget_paint) gaps_.clear();
  if (series_ == nullptr || series_->Rows() == 0) {
    p.setPen(Qt::darkGray);
    p.drawText(target, Qt::AlignCenter, series_ == nullptr ? tr("Откройте архив (.ar4) или папку с результатом преобразования")
                                                            : tr("Нет измерений в выбранном интервале"));
    p.restore();
    return;
  }
  Cache local;
  Cache& cache = widget_paint ? cache_ : local;
  const int width = l.Plot.width();
  if (!widget_paint || !cache.Valid || cache.Width != width || cache.From != from_ || cache.To != to_ ||
      cache.Visible != VisibleMask() || cache.Aux != aux_visible_) {
    Decimate(cache, width);
  }
  const auto x_of = [&](double t) { return l.Plot.left() + (t - from_) * width / (to_ - from_); };

  // Value axis over the visible channels.
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Decimated& d : cache.Channels) ExtendRange(d, width, lo, hi);
  FinishRange(lo, hi);
  const YMap y{lo, hi, l.Plot};

  // Grid and labels.
  const QColor grid(0xe4, 0xe4, 0xe4);
  p.setPen(grid);
  const double value_step = NiceStep(hi - lo, std::max(2, l.Plot.height() / 45));
  for (double v = std::ceil(lo / value_step) * value_step; v <= hi; v += value_step) {
    const double yy = y.Y(v);
    p.setPen(grid);
    p.drawLine(QPointF(l.Plot.left(), yy), QPointF(l.Plot.right(), yy));
    p.setPen(Qt::black);
    p.drawText(QRectF(target.left(), yy - metrics.height() / 2.0, kLeftMargin - 6, metrics.height()),
               Qt::AlignRight | Qt::AlignVCenter, NumberText(std::abs(v) < value_step / 1e6 ? 0 : v, value_step));
  }
  const double span = to_ - from_;
  const int min_spacing = metrics.horizontalAdvance(QStringLiteral("00.00.0000")) + 24;
  double time_step = kTimeSteps.back();
  for (const double s : kTimeSteps) {
    if (s * width / span >= min_spacing) {
      time_step = s;
      break;
    }
  }
  QString last_date;
  for (double t = std::ceil(from_ / time_step) * time_step; t <= to_; t += time_step) {
    const double x = x_of(t);
    p.setPen(grid);
    p.drawLine(QPointF(x, l.All.top()), QPointF(x, l.All.bottom()));
    const QDateTime at = AxisDateTime(t);
    // Whole days are labelled by their date alone; shorter steps by the time, and the date under it where
    // it changes.
    const QString date = at.toString(QStringLiteral("dd.MM.yyyy"));
    const QString time = time_step < 1 ? at.toString(QStringLiteral("hh:mm:ss.zzz"))
                         : time_step < 60 ? at.toString(QStringLiteral("hh:mm:ss"))
                         : time_step < 86400 ? at.toString(QStringLiteral("hh:mm"))
                                             : date;
    if (time_step >= 86400) last_date = date;
    p.setPen(Qt::black);
    p.drawLine(QPointF(x, l.All.bottom()), QPointF(x, l.All.bottom() + 4));
    const int w = min_spacing;
    p.drawText(QRectF(x - w / 2.0, l.TimeAxis.top() + 2, w, metrics.height()), Qt::AlignHCenter | Qt::AlignTop, time);
    if (date != last_date) {
      p.drawText(QRectF(x - w / 2.0, l.TimeAxis.top() + 2 + metrics.height(), w, metrics.height()),
                 Qt::AlignHCenter | Qt::AlignTop, date);
      last_date = date;
    }
  }

  // The channels, clipped to their area.
  p.setClipRect(l.Plot.adjusted(0, -1, 0, 1));
  p.setRenderHint(QPainter::Antialiasing, false);
  for (std::size_t g = 0; g < cache.Channels.size(); ++g) {
    if (!ChannelVisible(static_cast<int>(g))) continue;
    p.setPen(QPen(ChannelColor(static_cast<int>(g)), 1));
    DrawTrace(p, cache.Channels[g], l.Plot, y, false);
  }
  // Gap marks: a flagged value at the foot of the plot in its channel's colour, one per column.
  std::vector<bool> marked(static_cast<std::size_t>(width));
  for (std::size_t g = 0; g < cache.Channels.size(); ++g) {
    if (!ChannelVisible(static_cast<int>(g))) continue;
    const QColor color = ChannelColor(static_cast<int>(g));
    std::fill(marked.begin(), marked.end(), false);
    for (const GapMark& gap : cache.Channels[g].Gaps) {
      if (gap.Column < 0 || gap.Column >= width || marked[static_cast<std::size_t>(gap.Column)]) continue;
      marked[static_cast<std::size_t>(gap.Column)] = true;
      const int x = l.Plot.left() + gap.Column;
      p.fillRect(QRect(x - 2, l.Plot.bottom() - 6, 5, 7), color);
      if (widget_paint) gaps_.push_back({x, static_cast<int>(g), gap.Row});
    }
  }
  p.setBrush(Qt::NoBrush);
  p.setClipping(false);
  p.setPen(Qt::black);
  p.drawRect(l.Plot.adjusted(0, 0, -1, -1));

  // Legend.
  int lx = l.Plot.right() - 8;
  for (int g = static_cast<int>(cache.Channels.size()) - 1; g >= 0; --g) {
    const QString name = g < names_.size() ? names_[g] : QString::number(g + 1);
    const int w = metrics.horizontalAdvance(name) + 22;
    lx -= w;
    const QRect box(lx, l.Plot.top() + 4, w, metrics.height());
    p.setPen(ChannelVisible(g) ? ChannelColor(g) : QColor(Qt::lightGray));
    p.drawLine(box.left() + 2, box.center().y(), box.left() + 14, box.center().y());
    p.setPen(ChannelVisible(g) ? QColor(Qt::black) : QColor(Qt::lightGray));
    p.drawText(box.adjusted(17, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, name);
  }

  // Relays as step traces.
  for (std::size_t r = 0; r < cache.Relays.size() && r < l.Relays.size(); ++r) {
    const QRect lane = l.Relays[r];
    p.setPen(grid);
    p.drawLine(lane.left(), lane.bottom(), lane.right(), lane.bottom());
    p.setPen(Qt::black);
    p.drawText(QRect(target.left(), lane.top() - 3, kLeftMargin - 6, lane.height() + 6), Qt::AlignRight | Qt::AlignVCenter,
               tr("Реле %1").arg(r + 1));
    p.setClipRect(lane.adjusted(0, -1, 0, 1));
    p.setPen(QPen(QColor(0x33, 0x33, 0x99), 1));
    DrawTrace(p, cache.Relays[r], lane, YMap{0, 1, lane}, true);
    p.setClipping(false);
  }

  // Type 89: the auxiliary values C and D.
  if (!l.Aux.isNull()) {
    double alo = std::numeric_limits<double>::infinity(), ahi = -alo;
    for (const Decimated& d : cache.AuxTraces) ExtendRange(d, width, alo, ahi);
    FinishRange(alo, ahi);
    const YMap ay{alo, ahi, l.Aux};
    p.setPen(Qt::black);
    p.drawRect(l.Aux.adjusted(0, 0, -1, -1));
    p.drawText(QRect(target.left(), l.Aux.top(), kLeftMargin - 6, metrics.height()), Qt::AlignRight, NumberText(ahi, (ahi - alo) / 10));
    p.drawText(QRect(target.left(), l.Aux.bottom() - metrics.height(), kLeftMargin - 6, metrics.height()), Qt::AlignRight,
               NumberText(alo, (ahi - alo) / 10));
    p.drawText(l.Aux.adjusted(6, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, tr("Вспомогательные C, D"));
    p.setClipRect(l.Aux);
    for (int k = 0; k < 2; ++k) {
      p.setPen(QPen(k == 0 ? QColor(0x2c, 0xa0, 0x2c) : QColor(0x94, 0x67, 0xbd), 1));
      DrawTrace(p, cache.AuxTraces[k], l.Aux, ay, false);
    }
    p.setClipping(false);
  }

  // The cursor line and its read-out.
  if (widget_paint && cursor_x_ >= l.Plot.left() && cursor_x_ <= l.Plot.right()) {
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1, Qt::DashLine));
    p.drawLine(cursor_x_, l.All.top(), cursor_x_, l.All.bottom());
    const QString text = ReadOut(cursor_x_);
    if (!text.isEmpty()) {
      const QRect bounds = metrics.boundingRect(QRect(0, 0, 400, 400), Qt::AlignLeft, text).adjusted(-5, -4, 5, 4);
      QRect box(cursor_x_ + 10, l.Plot.top() + metrics.height() + 10, bounds.width(), bounds.height());
      if (box.right() > l.Plot.right()) box.moveRight(cursor_x_ - 10);
      p.setPen(QColor(0x88, 0x88, 0x88));
      p.setBrush(QColor(255, 255, 240, 235));
      p.drawRect(box);
      p.setPen(Qt::black);
      p.drawText(box.adjusted(5, 4, -5, -4), Qt::AlignLeft | Qt::AlignTop, text);
      p.setBrush(Qt::NoBrush);
    }
  }
  p.restore();
}

double PlotWidget::XToTime(const Layout& layout, int x) const {
  return from_ + (x - layout.Plot.left() + 0.5) * (to_ - from_) / std::max(1, layout.Plot.width());
}

bool PlotWidget::NearestRow(double time, std::uint32_t& row) const {
  if (series_ == nullptr || series_->Rows() == 0) return false;
  const auto& times = series_->Times;
  const auto& starts = series_->StretchStarts;
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::uint32_t first = starts[k];
    const std::uint32_t last = k + 1 < starts.size() ? starts[k + 1] : series_->Rows();
    const auto it = std::lower_bound(times.begin() + first, times.begin() + last, time);
    const auto at = static_cast<std::uint32_t>(it - times.begin());
    for (const std::uint32_t candidate : {at, at - 1}) {
      if (candidate < first || candidate >= last) continue;
      const double d = std::abs(times[candidate] - time);
      if (d < best) {
        best = d;
        row = candidate;
      }
    }
  }
  return best < std::numeric_limits<double>::infinity();
}

QString PlotWidget::ReadOut(int x) {
  const Layout l = LayoutFor(rect(), fontMetrics());
  std::uint32_t row = 0;
  if (x < l.Plot.left() || x > l.Plot.right() || !NearestRow(XToTime(l, x), row)) return {};
  QStringList lines;
  lines << QString::fromStdString(TimeText(series_->Times[row]));
  for (std::uint32_t g = 0; g < series_->Channels; ++g) {
    if (!ChannelVisible(static_cast<int>(g))) continue;
    const QString name = static_cast<int>(g) < names_.size() ? names_[g] : QString::number(g + 1);
    const float v = series_->Values[g][row];
    if (std::isnan(v)) {
      lines << tr("%1: код состояния %2").arg(name).arg(StatusOf(*series_, row, static_cast<int>(g)));
    } else {
      lines << QStringLiteral("%1: %2").arg(name, QString::number(v, 'f', 4));
    }
  }
  if (series_->Relays > 0 && row < series_->RelayBits.size()) {
    QString states;
    for (std::uint32_t r = 0; r < series_->Relays; ++r) states += QString::number((series_->RelayBits[row] >> r) & 1u);
    lines << tr("Реле 1..%1: %2").arg(series_->Relays).arg(states);
  }
  if (aux_visible_ && series_->Samples && !series_->Aux.empty()) {
    const auto it = std::upper_bound(series_->Aux.begin(), series_->Aux.end(), row,
                                     [](std::uint32_t r, const CellAux& a) { return r < a.FirstRow; });
    if (it != series_->Aux.begin()) {
      const CellAux& a = *(it - 1);
      lines << QStringLiteral("A: %1  B: %2").arg(a.A).arg(a.B);
      lines << QStringLiteral("C: %1  D: %2").arg(QString::number(a.C, 'f', 4), QString::number(a.D, 'f', 4));
    }
  }
  return lines.join(QLatin1Char('\n'));
}

bool PlotWidget::SavePng(const QString& file, const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setFont(font());
    Render(p, QRect(QPoint(0, 0), size));
  }
  return image.save(file, "PNG");
}

bool PlotWidget::SaveSvg(const QString& file, const QSize& size) {
  QSvgGenerator svg;
  svg.setFileName(file);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(tr("Измерения"));
  QPainter p;
  if (!p.begin(&svg)) return false;
  p.setFont(font());
  Render(p, QRect(QPoint(0, 0), size));
  return p.end();
}

void PlotWidget::paintEvent(QPaintEvent*) {
  QElapsedTimer timer;
  timer.start();
  QPainter p(this);
  Render(p, rect());
  p.end();
  last_paint_ms_ = timer.nsecsElapsed() / 1e6;
  emit Painted();
}

void PlotWidget::resizeEvent(QResizeEvent*) { cache_.Valid = false; }

void PlotWidget::wheelEvent(QWheelEvent* event) {
  const Layout l = LayoutFor(rect(), fontMetrics());
  const double fraction = std::clamp((event->position().x() - l.Plot.left()) / std::max(1, l.Plot.width()), 0.0, 1.0);
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) ZoomBy(std::pow(1.25, steps), fraction);
  event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent* event) {
  press_ = event->position().toPoint();
  press_from_ = from_;
  press_to_ = to_;
  if (event->button() == Qt::RightButton ||
      (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier))) {
    drag_ = Drag::kBand;
    band_->setGeometry(QRect(press_, QSize()));
    band_->show();
  } else if (event->button() == Qt::LeftButton) {
    drag_ = Drag::kPan;
    setCursor(Qt::ClosedHandCursor);
  }
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const Layout l = LayoutFor(rect(), fontMetrics());
  if (drag_ == Drag::kPan) {
    const double shift = (press_.x() - at.x()) * (press_to_ - press_from_) / std::max(1, l.Plot.width());
    SetWindow(press_from_ + shift, press_to_ + shift);
  } else if (drag_ == Drag::kBand) {
    band_->setGeometry(QRect(QPoint(press_.x(), l.All.top()), QPoint(at.x(), l.All.bottom())).normalized());
  }
  cursor_x_ = at.x();
  update();
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* event) {
  const Layout l = LayoutFor(rect(), fontMetrics());
  if (drag_ == Drag::kBand) {
    band_->hide();
    const int a = std::min(press_.x(), event->position().toPoint().x());
    const int b = std::max(press_.x(), event->position().toPoint().x());
    if (b - a >= 3) SetWindow(XToTime(l, a), XToTime(l, b));
  }
  drag_ = Drag::kNone;
  unsetCursor();
}

void PlotWidget::mouseDoubleClickEvent(QMouseEvent*) { ResetView(); }

void PlotWidget::leaveEvent(QEvent*) {
  cursor_x_ = -1;
  update();
}

void PlotWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomBy(1.5);
      break;
    case Qt::Key_Minus:
      ZoomBy(1 / 1.5);
      break;
    case Qt::Key_Left:
      PanBy(-0.2);
      break;
    case Qt::Key_Right:
      PanBy(0.2);
      break;
    case Qt::Key_Home:
    case Qt::Key_0:
      ResetView();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

bool PlotWidget::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && series_ != nullptr) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const Layout l = LayoutFor(rect(), fontMetrics());
    const QPoint at = help->pos();
    if (at.y() >= l.Plot.bottom() - 12 && at.y() <= l.Plot.bottom() + 2) {
      for (const GapAt& gap : gaps_) {
        if (std::abs(gap.X - at.x()) > 4) continue;
        const int status = StatusOf(*series_, gap.Row, gap.Channel);
        const QString name = gap.Channel < names_.size() ? names_[gap.Channel] : QString::number(gap.Channel + 1);
        QToolTip::showText(help->globalPos(), tr("%1: нет значения, код состояния %2\n%3")
                                                  .arg(name)
                                                  .arg(status)
                                                  .arg(QString::fromStdString(TimeText(series_->Times[gap.Row]))),
                           this);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QWidget::event(event);
}

}  // namespace ar4::view
