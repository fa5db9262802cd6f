#include "gui/splash.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include "gui/screenshot.hpp"

namespace ar4 {
namespace {

TEST(SplashTest, FramelessOnTopAndOfItsSize) {
  TTitl splash;
  EXPECT_EQ(splash.size(), QSize(669, 303));
  EXPECT_EQ(splash.minimumSize(), splash.maximumSize());
  EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(SplashTest, LinesStandAtTheirTopsInABoldMonospacedFace) {
  TTitl splash;
  const struct {
    int top;
    const char* text;
  } lines[] = {{16, "Программа конвертирования архивных данных приборов"},
               {48, "VR7731,     VR7731Д,"},
               {72, "VR7732,     VR7732Д,"},
               {96, "VR7733,     VR7733Д,"},
               {120, "ЛС 260,     ГРВ-300."},
               {152, "в формат программы TrendoraStudio"},
               {184, "ar4conv — конвертер архивов .ar4"},
               {208, "V2.24"},
               {264, "2026"}};
  for (const auto& line : lines) {
    QLabel* label = splash.LineAt(line.top);
    ASSERT_NE(label, nullptr) << line.top;
    EXPECT_EQ(label->text(), QString::fromUtf8(line.text));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 20);
    EXPECT_EQ(label->font().family(), QStringLiteral("Courier New"));
    EXPECT_TRUE(QFontInfo(label->font()).fixedPitch()) << QFontInfo(label->font()).family().toStdString();
  }
  ASSERT_NE(splash.LineAt(232), nullptr);
  EXPECT_FALSE(splash.LineAt(232)->text().isEmpty());
}

/// The lowest pixel row of `picture` that holds ink (a dark pixel), or -1.
int LowestInk(const QImage& picture) {
  for (int y = picture.height() - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width(); ++x) {
      if (qGray(picture.pixel(x, y)) < 128) return y;
    }
  }
  return -1;
}

/// What `label` shows, painted at `ratio` device pixels per pixel, on a background `extra` pixels taller.
QImage Painted(QLabel& label, qreal ratio, int extra) {
  const QSize size(label.width(), label.height() + extra);
  QImage picture(size * ratio, QImage::Format_RGB32);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::white);
  label.render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
  return picture;
}

TEST(SplashTest, DescendersAreWholeAtNormalAndDoubleScale) {
  TTitl splash;
  for (const qreal ratio : {1.0, 2.0}) {
    for (QLabel* line : splash.findChildren<QLabel*>()) {
      // The same text in a label with room to spare below shows where the glyphs really end.
      QLabel roomy(line->text());
      roomy.setFont(line->font());
      roomy.setAlignment(line->alignment());
      roomy.resize(line->width(), line->height() + 40);
      EXPECT_EQ(LowestInk(Painted(*line, ratio, 40)), LowestInk(Painted(roomy, ratio, 0)))
          << "ratio " << ratio << ": " << line->text().toStdString();
    }
  }
}

TEST(SplashTest, TimerRunsFromCreationAndFiresOnce) {
  TTitl splash;
  EXPECT_TRUE(splash.TimerActive());
  EXPECT_TRUE(splash.Timer.isSingleShot());
  EXPECT_EQ(splash.Timer.interval(), 3000);
  splash.TimerTimer();
  EXPECT_FALSE(splash.TimerActive());
}

TEST(SplashTest, PictureShowsTheLimeBackground) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  TTitl splash;
  ASSERT_TRUE(SaveWindowPicture(&splash, folder.path(), QStringLiteral("splash.png")));
  const QImage picture(QDir(folder.path()).filePath(QStringLiteral("splash.png")));
  ASSERT_EQ(picture.size(), QSize(669, 303));
  EXPECT_EQ(picture.pixelColor(2, 2), QColor(0, 255, 0));
  EXPECT_EQ(picture.pixelColor(660, 295), QColor(0, 255, 0));
  EXPECT_FALSE(SaveWindowPicture(&splash, QString(), QStringLiteral("x.png")));
}

}  // namespace
}  // namespace ar4
