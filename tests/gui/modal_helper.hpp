#pragma once
// Driving modal windows from a test: the action runs from the event loop of the modal window as soon as
// that window is up.

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace ar4::testing {

/// Runs `action` on the next modal window that becomes visible (gives up after about five seconds).
inline void WhenModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  auto attempts = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, attempts, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (++*attempts > 1000) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

/// A key as the user types it: to the window's focused control, else to the window.
inline void PressKey(QWidget* window, Qt::Key key) {
  QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
  QTest::keyClick(target, key);
}

/// A click on a radio button's mark (a click beyond its caption's end would miss it).
inline void ClickRadio(QAbstractButton* radio) {
  QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

}  // namespace ar4::testing
