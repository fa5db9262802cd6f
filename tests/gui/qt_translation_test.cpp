#include "gui/qt_translation.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>
#include <algorithm>

namespace ar4 {
namespace {

bool HasCyrillic(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
}

TEST(QtTranslationTest, QtsOwnFileDialogSpeaksRussian) {
  QTranslator* translator = InstallQtTranslation(*QCoreApplication::instance());
  ASSERT_NE(translator, nullptr);
  {
    QFileDialog dialog(nullptr, QStringLiteral("caption"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
      const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
      ASSERT_NE(label, nullptr) << name;
      EXPECT_TRUE(HasCyrillic(label->text())) << name << ": " << label->text().toStdString();
    }
    const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_TRUE(HasCyrillic(buttons->button(QDialogButtonBox::Open)->text()));
    EXPECT_TRUE(HasCyrillic(buttons->button(QDialogButtonBox::Cancel)->text()));
    EXPECT_TRUE(HasCyrillic(QFileDialog::tr("%1\nFile not found.\nPlease verify the correct file name was given.")));
  }
  QCoreApplication::removeTranslator(translator);
  delete translator;
}

}  // namespace
}  // namespace ar4
