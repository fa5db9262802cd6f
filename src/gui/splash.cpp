#include "gui/splash.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>

namespace ar4 {
namespace {

struct SplashLine {
  int top;
  const char* text;
};

// In the model lines five blanks separate the two names, so that the monospaced columns line up.
constexpr SplashLine kLines[] = {
    {16, "Программа конвертирования архивных данных приборов"},
    {48, "VR7731,     VR7731Д,"},
    {72, "VR7732,     VR7732Д,"},
    {96, "VR7733,     VR7733Д,"},
    {120, "ЛС 260,     ГРВ-300."},
    {152, "в формат программы TrendoraStudio"},
    {184, "ar4conv — конвертер архивов .ar4"},
    {208, "V2.24"},
    {232, "Проверка, разбор и выгрузка записей"},
    {264, "2026"},
};

// The lines stand 24 pixels apart, but each label reaches 12 pixels further down, so that the descenders
// (р, у) of a deep face are not cut at any scale. The labels are transparent: the lower part of one may lie
// over the top of the next.
constexpr int kLineHeight = 36;

}  // namespace

TTitl::TTitl(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Titl"));
  setFixedSize(kClientWidth, kClientHeight);
  QPalette lime = palette();
  lime.setColor(QPalette::Window, QColor(0, 255, 0));
  lime.setColor(QPalette::WindowText, QColor(0, 0, 0));
  setPalette(lime);
  setAutoFillBackground(true);

  // Courier New where it is installed; otherwise the system's monospaced face.
  QFont face(QStringLiteral("Courier New"));
  face.setStyleHint(QFont::Monospace, QFont::PreferDefault);
  face.setFixedPitch(true);
  face.setPixelSize(20);
  face.setBold(true);

  for (const SplashLine& line : kLines) {
    auto* label = new QLabel(QString::fromUtf8(line.text), this);
    label->setFont(face);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(0, line.top, kClientWidth, kLineHeight);
  }

  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }

  Timer.setObjectName(QStringLiteral("Timer"));
  Timer.setSingleShot(true);
  Timer.setInterval(kTimerInterval);
  connect(&Timer, &QTimer::timeout, this, &TTitl::TimerTimer);
  Timer.start();
}

QLabel* TTitl::LineAt(int top) const {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->geometry().top() == top) return label;
  }
  return nullptr;
}

void TTitl::TimerTimer() { Timer.stop(); }

}  // namespace ar4
