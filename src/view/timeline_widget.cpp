#include "view/timeline_widget.hpp"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ar4::view {
namespace {

constexpr int kLeft = 72, kRight = 16, kTop = 6, kAxis = 22;

}  // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(70);
  setMouseTracking(true);
  setToolTip(tr("Прогоны записи: щелчок выбирает прогон, перетаскивание — интервал времени"));
}

void TimelineWidget::SetRuns(const std::vector<TimelineRun>& runs) {
  runs_ = runs;
  row_of_.assign(runs.size(), 0);
  // A run goes on the first row whose last run ended before it begins.
  std::vector<double> row_end;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    std::size_t row = 0;
    while (row < row_end.size() && !(row_end[row] < runs[k].From)) ++row;
    if (row == row_end.size()) row_end.push_back(runs[k].To);
    row_end[row] = std::max(row_end[row], runs[k].To);
    row_of_[k] = static_cast<int>(row);
  }
  rows_ = static_cast<int>(row_end.size());
  from_ = 0;
  to_ = 1;
  if (!runs.empty()) {
    from_ = runs.front().From;
    to_ = runs.front().To;
    for (const TimelineRun& r : runs) {
      from_ = std::min(from_, r.From);
      to_ = std::max(to_, r.To);
    }
    const double pad = std::max((to_ - from_) * 0.01, 1.0);
    from_ -= pad;
    to_ += pad;
  }
  selected_ = -1;
  range_from_ = range_to_ = 0;
  update();
}

void TimelineWidget::SetSelectedRun(int run) {
  selected_ = run;
  update();
}

void TimelineWidget::SetSelectedRange(double from, double to) {
  range_from_ = from;
  range_to_ = to;
  update();
}

void TimelineWidget::SetViewWindow(double from, double to) {
  view_from_ = from;
  view_to_ = to;
  update();
}

QRect TimelineWidget::Area() const { return QRect(kLeft, kTop, width() - kLeft - kRight, height() - kTop - kAxis); }

double TimelineWidget::RowHeight() const {
  return rows_ > 0 ? std::min(16.0, static_cast<double>(Area().height()) / rows_) : 16.0;
}

int TimelineWidget::XOf(double time) const {
  const QRect a = Area();
  return a.left() + static_cast<int>(std::lround((time - from_) / (to_ - from_) * (a.width() - 1)));
}

double TimelineWidget::TimeOf(int x) const {
  const QRect a = Area();
  return from_ + (x - a.left()) * (to_ - from_) / std::max(1, a.width() - 1);
}

QPoint TimelineWidget::RunCenter(int run) const {
  const QRect a = Area();
  const TimelineRun& r = runs_[static_cast<std::size_t>(run)];
  return {(XOf(r.From) + XOf(r.To)) / 2,
          a.top() + static_cast<int>((row_of_[static_cast<std::size_t>(run)] + 0.5) * RowHeight())};
}

int TimelineWidget::RunAt(const QPoint& at) const {
  const QRect a = Area();
  const double h = RowHeight();
  if (at.y() < a.top()) return -1;
  const int row = static_cast<int>((at.y() - a.top()) / h);
  int best = -1, best_distance = 5;  // pixels of slack around short bars
  for (std::size_t k = 0; k < runs_.size(); ++k) {
    if (row_of_[k] != row) continue;
    const int x0 = XOf(runs_[k].From), x1 = XOf(runs_[k].To);
    const int d = at.x() < x0 ? x0 - at.x() : at.x() > x1 ? at.x() - x1 : 0;
    if (d < best_distance) {
      best = static_cast<int>(k);
      best_distance = d;
    }
  }
  return best;
}

void TimelineWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const QRect a = Area();
  p.setPen(palette().text().color());
  p.drawText(QRect(0, a.top(), kLeft - 8, 18), Qt::AlignRight | Qt::AlignTop, tr("Прогоны"));
  if (runs_.empty()) {
    p.drawText(a, Qt::AlignCenter, tr("Нет прогонов"));
    return;
  }
  // The shaded range.
  if (range_to_ > range_from_) {
    p.fillRect(QRect(QPoint(XOf(range_from_), a.top()), QPoint(XOf(range_to_), a.bottom())), QColor(255, 200, 80, 110));
  }
  const double h = RowHeight();
  for (std::size_t k = 0; k < runs_.size(); ++k) {
    const int x0 = XOf(runs_[k].From), x1 = std::max(XOf(runs_[k].To), x0 + 3);
    const QRectF bar(x0, a.top() + row_of_[k] * h + (h > 4 ? 1 : 0), x1 - x0, std::max(1.0, h - (h > 4 ? 2 : 0)));
    const bool selected = static_cast<int>(k) == selected_;
    p.fillRect(bar, selected ? QColor(0xd6, 0x27, 0x28) : (row_of_[k] == 0 ? QColor(0x1f, 0x77, 0xb4) : QColor(0x6b, 0xae, 0xd6)));
    // The run's number, as the run list counts it, where the bar has room for it.
    const QString number = QString::number(k + 1);
    if (bar.height() >= p.fontMetrics().height() - 2 && bar.width() >= p.fontMetrics().horizontalAdvance(number) + 6) {
      p.setPen(Qt::white);
      p.drawText(bar.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, number);
    }
  }
  // The plot's window.
  if (view_to_ > view_from_) {
    p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1, Qt::DotLine));
    p.drawRect(QRect(QPoint(XOf(view_from_), a.top()), QPoint(XOf(view_to_), a.bottom())));
  }
  if (dragging_) {
    p.fillRect(QRect(QPoint(std::min(press_x_, drag_x_), a.top()), QPoint(std::max(press_x_, drag_x_), a.bottom())),
               QColor(255, 160, 0, 90));
  }
  // The axis: the first and last time and a few between.
  p.setPen(palette().text().color());
  p.drawLine(a.left(), a.bottom() + 1, a.right(), a.bottom() + 1);
  static const QDateTime epoch(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
  const int labels = std::max(2, a.width() / 170);
  for (int i = 0; i < labels; ++i) {
    const double t = from_ + (to_ - from_) * i / (labels - 1);
    const int x = XOf(t);
    const QString text = epoch.addSecs(static_cast<qint64>(t)).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    const int w = p.fontMetrics().horizontalAdvance(text) + 4;
    const int left = std::clamp(x - w / 2, 0, width() - w);
    p.drawLine(x, a.bottom() + 1, x, a.bottom() + 4);
    p.drawText(QRect(left, a.bottom() + 4, w, kAxis - 4), Qt::AlignCenter, text);
  }
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  press_x_ = drag_x_ = event->position().toPoint().x();
  dragging_ = false;
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->buttons() & Qt::LeftButton) {
    drag_x_ = at.x();
    if (std::abs(drag_x_ - press_x_) > 4) dragging_ = true;
    update();
  }
  const int run = RunAt(at);
  setCursor(run >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (dragging_) {
    dragging_ = false;
    const double a = TimeOf(std::min(press_x_, drag_x_)), b = TimeOf(std::max(press_x_, drag_x_));
    update();
    emit RangeDragged(a, b);
    return;
  }
  const int run = RunAt(event->position().toPoint());
  if (run >= 0) emit RunClicked(run);
}

}  // namespace ar4::view
