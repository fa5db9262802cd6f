// The viewer tests share one QApplication, on Qt's offscreen platform unless another one is asked for.

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

namespace {

QtMessageHandler default_handler = nullptr;

/// The offscreen platform's notice that it cannot pass size hints to a window manager is noise here.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QStringLiteral("does not support propagateSizeHints"))) return;
  default_handler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  default_handler = qInstallMessageHandler(FilterMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Settings (recent files, visible channels) go to a test location, never the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication::setOrganizationName(QStringLiteral("ar4conv-test"));
  QApplication::setApplicationName(QStringLiteral("ar4view-test"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
