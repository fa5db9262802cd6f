#include "gui/gauge.hpp"

#include <QPainter>
#include <algorithm>

namespace ar4 {

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setOrientation(Qt::Horizontal);
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
}

QColor TGauge::FillColor() { return QColor(0, 0, 128); }
QColor TGauge::BackColor() { return QColor(255, 255, 255); }

void TGauge::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect frame = rect();
  painter.setPen(QColor(128, 128, 128));
  painter.setBrush(BackColor());
  painter.drawRect(frame.adjusted(0, 0, -1, -1));

  const QRect inner = frame.adjusted(1, 1, -1, -1);
  const int span = maximum() - minimum();
  const int done = span > 0 ? (value() - minimum()) * inner.width() / span : 0;
  const QRect fill(inner.left(), inner.top(), std::clamp(done, 0, inner.width()), inner.height());
  painter.fillRect(fill, FillColor());

  const QString label = text();
  painter.setFont(font());
  painter.setPen(Qt::black);
  painter.setClipRect(QRect(fill.right() + 1, inner.top(), inner.width() - fill.width(), inner.height()));
  painter.drawText(inner, Qt::AlignCenter, label);
  painter.setPen(Qt::white);
  painter.setClipRect(fill);
  painter.drawText(inner, Qt::AlignCenter, label);
}

}  // namespace ar4
