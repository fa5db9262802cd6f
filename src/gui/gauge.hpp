#pragma once
/// The main window's progress gauge: a horizontal bar 0..100, navy fill on white, the percentage in bold
/// in its middle, drawn white where it lies over the fill so that it stays readable at every position.

#include <QProgressBar>

namespace ar4 {

class TGauge : public QProgressBar {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  static QColor FillColor();
  static QColor BackColor();

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace ar4
