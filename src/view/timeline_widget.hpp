#pragma once
/// The runs of the recording as bars along the time axis. A run that begins before the one before it ended
/// (the clock was set back) goes on a row of its own, so the overlaps show at a glance. A click on a bar
/// selects its run; a drag selects a range of time.

#include <QWidget>

#include <vector>

#include "view/document.hpp"

namespace ar4::view {

class TimelineWidget : public QWidget {
  Q_OBJECT

 public:
  explicit TimelineWidget(QWidget* parent = nullptr);

  void SetRuns(const std::vector<TimelineRun>& runs);
  /// -1: none.
  void SetSelectedRun(int run);
  /// The range shaded (none when from >= to).
  void SetSelectedRange(double from, double to);
  /// The plot's window, drawn as a bracket.
  void SetViewWindow(double from, double to);
  int RowCount() const { return rows_; }
  int RunCount() const { return static_cast<int>(runs_.size()); }
  /// The row each run is drawn on.
  const std::vector<int>& RunRows() const { return row_of_; }
  /// The centre of a run's bar (tests).
  QPoint RunCenter(int run) const;
  /// The widget x of a time.
  int XOf(double time) const;

  QSize sizeHint() const override { return {600, 110}; }

 signals:
  void RunClicked(int run);
  void RangeDragged(double from, double to);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect Area() const;
  double RowHeight() const;
  double TimeOf(int x) const;
  int RunAt(const QPoint& at) const;

  std::vector<TimelineRun> runs_;
  std::vector<int> row_of_;
  int rows_ = 0;
  double from_ = 0, to_ = 1;
  int selected_ = -1;
  double range_from_ = 0, range_to_ = 0;
  double view_from_ = 0, view_to_ = 0;
  bool dragging_ = false;
  int press_x_ = 0, drag_x_ = 0;
};

}  // namespace ar4::view
