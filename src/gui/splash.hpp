#pragma once
/// The splash window shown for about three seconds at start-up: frameless, always on top, centred,
/// lime, its lines in a bold monospaced face.

#include <QTimer>
#include <QWidget>

class QLabel;

namespace ar4 {

class TTitl : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 669;
  static constexpr int kClientHeight = 303;
  static constexpr int kTimerInterval = 3000;  // ms, from the creation of the splash

  explicit TTitl(QWidget* parent = nullptr);

  /// True until the timer has fired once.
  bool TimerActive() const { return Timer.isActive(); }

  /// The label whose top edge stands at `top`, or nullptr.
  QLabel* LineAt(int top) const;

  QTimer Timer;

 public slots:
  /// Switches the timer off and does nothing else.
  void TimerTimer();
};

}  // namespace ar4
