#include "gui/form_convert.hpp"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "support/fake_wine_prefix.hpp"
#include "gui/form_date_select.hpp"
#include "gui/gauge.hpp"
#include "gui/message_box.hpp"
#include "modal_helper.hpp"

namespace ar4 {
namespace {

using testing::FakeWinePrefix;
using testing::WhenModal;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

/// A main window with its interval dialog, and a Wine prefix of its own in WINEPREFIX.
class FormConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_prefix_ = qgetenv("WINEPREFIX");
    had_prefix_ = qEnvironmentVariableIsSet("WINEPREFIX");
    qputenv("WINEPREFIX", QByteArray::fromStdString(prefix_.Root().string()));
    form_.AttachDateSelect(&date_select_);
  }
  void TearDown() override {
    if (had_prefix_) {
      qputenv("WINEPREFIX", saved_prefix_);
    } else {
      qunsetenv("WINEPREFIX");
    }
  }

  /// The viewer in C:\Program Files\TrendoraStudio, its data folder in C:\TrendoraData.
  void InstallViewer(const char* settings) {
    const auto viewer = prefix_.MakeFolder("Program Files/TrendoraStudio");
    FakeWinePrefix::WriteFile(viewer / "TrendoraStudio.exe", "MZ");
    if (settings != nullptr) FakeWinePrefix::WriteFile(viewer / "Settings.ini", settings);
    prefix_.MakeFolder("TrendoraData");
    prefix_.WriteInstallerFolders({"C:\\\\Program Files\\\\TrendoraStudio\\\\"});
  }

  FakeWinePrefix prefix_;
  QByteArray saved_prefix_;
  bool had_prefix_ = false;
  ConversionSettings settings_;
  TFormConvert form_{settings_};
  TFormDateSelect date_select_{&form_};
};

TEST_F(FormConvertTest, WindowIsFixedInSizeWithMinimiseButNoMaximise) {
  EXPECT_EQ(form_.windowTitle(), U("РазборщикЗаписей"));
  EXPECT_EQ(form_.size(), QSize(234, 101));
  EXPECT_EQ(form_.minimumSize(), QSize(234, 101));
  EXPECT_EQ(form_.maximumSize(), QSize(234, 101));
  const Qt::WindowFlags flags = form_.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(FormConvertTest, ControlsStandAtTheirPlacesInTheirInitialState) {
  EXPECT_EQ(form_.BtnConvert->geometry(), QRect(8, 8, 217, 25));
  EXPECT_EQ(form_.BtnConvert->text(), U("Открыть архив"));
  EXPECT_TRUE(form_.BtnConvert->isEnabled());
  EXPECT_EQ(form_.BtnShell->geometry(), QRect(8, 40, 217, 25));
  EXPECT_EQ(form_.BtnShell->text(), U("Запустить TrendoraStudio"));
  EXPECT_FALSE(form_.BtnShell->isEnabled());
  EXPECT_EQ(form_.BtnConvert->nextInFocusChain(), form_.BtnShell);

  EXPECT_EQ(form_.Gauge->geometry(), QRect(8, 72, 217, 20));
  EXPECT_EQ(form_.Gauge->minimum(), 0);
  EXPECT_EQ(form_.Gauge->maximum(), 100);
  EXPECT_EQ(form_.Gauge->value(), 0);
  EXPECT_TRUE(form_.Gauge->isHidden());

  EXPECT_EQ(form_.LabelSort->pos(), QPoint(72, 75));
  EXPECT_EQ(form_.LabelSort->text(), U("Сортировка ..."));
  EXPECT_TRUE(form_.LabelSort->font().bold());
  EXPECT_TRUE(form_.LabelSort->isHidden());
  EXPECT_EQ(form_.LabelPrc->pos(), QPoint(192, 75));
  EXPECT_EQ(form_.LabelPrc->text(), U("..."));
  EXPECT_TRUE(form_.LabelPrc->font().bold());
  EXPECT_TRUE(form_.LabelPrc->isHidden());
}

TEST_F(FormConvertTest, GaugeAndLabelsFollowThePort) {
  form_.show();
  form_.ShowGauge(true);
  form_.SetGaugePosition(37);
  EXPECT_TRUE(form_.Gauge->isVisible());
  EXPECT_EQ(form_.Gauge->value(), 37);
  EXPECT_EQ(form_.Gauge->text(), U("37%"));
  form_.SetGaugePosition(140);
  EXPECT_EQ(form_.Gauge->value(), 100);
  form_.ShowGauge(false);
  EXPECT_FALSE(form_.Gauge->isVisible());
  EXPECT_EQ(form_.Gauge->value(), 100);  // keeps its last position

  form_.ShowLabelSort(true);
  EXPECT_TRUE(form_.LabelSort->isVisible());
  form_.SetLabelPrc("");
  EXPECT_TRUE(form_.LabelPrc->isVisible());
  EXPECT_EQ(form_.LabelPrc->text(), QString());
  form_.SetLabelPrc("100%");
  EXPECT_EQ(form_.LabelPrc->text(), U("100%"));
  EXPECT_GE(form_.LabelPrc->width(), form_.LabelPrc->fontMetrics().horizontalAdvance(U("100%")));
  form_.SetLabelPrc(std::nullopt);
  EXPECT_FALSE(form_.LabelPrc->isVisible());
  form_.ShowLabelSort(false);
  EXPECT_FALSE(form_.LabelSort->isVisible());

  form_.SetConvertEnabled(false);
  EXPECT_FALSE(form_.BtnConvert->isEnabled());
  form_.SetConvertEnabled(true);
  EXPECT_TRUE(form_.BtnConvert->isEnabled());
  form_.hide();
}

TEST_F(FormConvertTest, GaugeDrawsNavyFillOnWhite) {
  form_.Gauge->setValue(50);
  const QImage picture = form_.Gauge->grab().toImage();
  EXPECT_EQ(picture.pixelColor(4, 3), TGauge::FillColor());
  EXPECT_EQ(picture.pixelColor(picture.width() - 4, 3), TGauge::BackColor());
}

TEST_F(FormConvertTest, OpenButtonRunsTheHandlerOnceAtATime) {
  int runs = 0;
  form_.SetConvertHandler([&] {
    ++runs;
    form_.BtnConvertClick();  // a second press while the first runs does nothing
  });
  QTest::mouseClick(form_.BtnConvert, Qt::LeftButton);
  EXPECT_EQ(runs, 1);
}

TEST_F(FormConvertTest, ClosingDuringAConversionWaitsForItsEnd) {
  form_.show();
  bool visible_inside = false;
  form_.SetConvertHandler([&] {
    form_.close();
    form_.ProcessEvents();
    visible_inside = form_.isVisible();
  });
  form_.BtnConvertClick();
  EXPECT_TRUE(visible_inside);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_.isVisible());
}

TEST_F(FormConvertTest, ShowHandlerFindsTheViewerAndItsDataFolder) {
  InstallViewer("C:\\TrendoraData\\\r\n");
  form_.show();  // runs FormShow
  EXPECT_EQ(form_.windowIconText(), U(" Архивы VR773x, ЛС-260, ГРВ-300"));  // the task-bar text
  EXPECT_TRUE(form_.BtnShell->isEnabled());
  EXPECT_EQ(form_.ViewerExecutable(), prefix_.Mapped("Program Files/TrendoraStudio/TrendoraStudio.exe"));
  EXPECT_EQ(settings_.ViewerDataFolder, prefix_.Mapped("TrendoraData/"));
  EXPECT_EQ(settings_.InitialFolder, std::filesystem::current_path());
  form_.hide();
}

TEST_F(FormConvertTest, ApplicationTitleLeavesTheCaptionsOfTheOtherWindowsAlone) {
  // The window system appends the application's display name to the caption of every window shown
  // after it was set: "Error —  Архивы VR773x, ЛС-260, ГРВ-300" instead of "Error".
  form_.show();
  EXPECT_FALSE(QGuiApplication::applicationDisplayName().contains(U("Архивы")))
      << QGuiApplication::applicationDisplayName().toStdString();
  EXPECT_EQ(form_.windowTitle(), U("РазборщикЗаписей"));
  form_.hide();
}

TEST_F(FormConvertTest, WithoutViewerTheButtonStaysDisabled) {
  settings_.ViewerDataFolder = "/stale";
  form_.FormShow();
  EXPECT_FALSE(form_.BtnShell->isEnabled());
  EXPECT_TRUE(settings_.ViewerDataFolder.empty());
}

TEST_F(FormConvertTest, UnreadableSettingsShowsAnErrorAndGoesOnWithoutDataFolder) {
  InstallViewer(nullptr);
  std::filesystem::create_symlink("Settings.ini",
                                  prefix_.DriveC() / "Program Files" / "TrendoraStudio" / "Settings.ini");
  QString caption;
  QString text;
  QStringList button_texts;
  WhenModal([&](QWidget* window) {
    auto* box = qobject_cast<TMessageBox*>(window);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->TextLabel()->text();
    for (QPushButton* button : box->findChildren<QPushButton*>()) button_texts << button->text();
    box->reject();
  });
  EXPECT_TRUE(form_.GetTrendoraFolderPath().empty());
  EXPECT_EQ(caption, U("Error"));
  EXPECT_TRUE(text.contains(U("Settings.ini"))) << text.toStdString();
  EXPECT_EQ(button_texts, QStringList{U("Cancel")});
  EXPECT_TRUE(form_.BtnShell->isEnabled());
  EXPECT_TRUE(settings_.ViewerDataFolder.empty());
}

TEST_F(FormConvertTest, FailedViewerLaunchShowsItsMessage) {
  InstallViewer(nullptr);
  form_.FormShow();
  form_.SetViewerLauncher(QStringLiteral("/nonexistent/ar4-no-such-launcher"));
  QString caption;
  QString text;
  WhenModal([&](QWidget* window) {
    caption = window->windowTitle();
    text = qobject_cast<TMessageBox*>(window)->TextLabel()->text();
    testing::PressKey(window, Qt::Key_Escape);
  });
  form_.BtnShellClick();
  EXPECT_EQ(caption, U("Error"));
  EXPECT_EQ(text, U(" Ошибка запуска TrendoraStudio"));
}

TEST_F(FormConvertTest, ViewerLaunchPassesThePathAsOneArgument) {
  // The viewer folder holds a blank; the launcher (here a shell script standing in for wine) must get the
  // whole path as its single argument.
  InstallViewer(nullptr);
  form_.FormShow();
  const auto record = prefix_.Root() / "launched.txt";
  const auto launcher = prefix_.Root() / "launcher.sh";
  FakeWinePrefix::WriteFile(launcher, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" + record.string() + "\"\n");
  std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
  form_.SetViewerLauncher(QString::fromStdString(launcher.string()));
  form_.BtnShellClick();
  for (int i = 0; i < 200 && !std::filesystem::exists(record); ++i) QTest::qWait(10);
  QTest::qWait(20);
  std::ifstream in(record);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "1|" + form_.ViewerExecutable().string());
}

TEST_F(FormConvertTest, IntervalDialogKeepsItsStateBetweenConversions) {
  WhenModal([&](QWidget*) {
    testing::ClickRadio(date_select_.SelectIntervalItems->button(1));
    testing::ClickRadio(date_select_.SelectDirItems->button(1));
    date_select_.EditYear1->setValue(2020);
    QTest::mouseClick(date_select_.BtnOk, Qt::LeftButton);
  });
  auto choice = form_.ShowIntervalDialog({"   first", "   second"}, true);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->SelectInterval, 1);
  EXPECT_EQ(choice->SelectDir, 1);
  EXPECT_EQ(choice->From.Year, 2020);

  // The second showing: new runs, the rest as the user left it.
  QStringList items_seen;
  bool dir_enabled = false;
  WhenModal([&](QWidget*) {
    for (int i = 0; i < date_select_.BoxInterval->count(); ++i) items_seen << date_select_.BoxInterval->itemText(i);
    dir_enabled = date_select_.SelectDir->isEnabled();
    QTest::mouseClick(date_select_.BtnOk, Qt::LeftButton);
  });
  choice = form_.ShowIntervalDialog({"   third"}, true);
  ASSERT_TRUE(choice);
  EXPECT_EQ(items_seen, QStringList{U("   third")});
  EXPECT_TRUE(dir_enabled);
  EXPECT_EQ(choice->SelectInterval, 1);
  EXPECT_EQ(choice->SelectDir, 1);
  EXPECT_EQ(choice->From.Year, 2020);
  EXPECT_EQ(choice->BoxIntervalIndex, 0u);
}

TEST_F(FormConvertTest, IntervalDialogWithoutViewerDataForcesTheFolderChoice) {
  date_select_.SetSelectDirIndex(1);  // chosen in an earlier conversion
  bool dir_enabled = true;
  WhenModal([&](QWidget*) {
    dir_enabled = date_select_.SelectDir->isEnabled();
    QTest::mouseClick(date_select_.BtnOk, Qt::LeftButton);
  });
  const auto choice = form_.ShowIntervalDialog({"   only"}, false);
  ASSERT_TRUE(choice);
  EXPECT_FALSE(dir_enabled);
  EXPECT_EQ(choice->SelectDir, 0);
}

TEST_F(FormConvertTest, CancelledIntervalDialogGivesNothing) {
  WhenModal([&](QWidget*) { QTest::mouseClick(date_select_.BtnCancel, Qt::LeftButton); });
  EXPECT_FALSE(form_.ShowIntervalDialog({"   only"}, true));
}

TEST_F(FormConvertTest, MessagesGoThroughTheMessageBox) {
  WhenModal([](QWidget* window) { testing::PressKey(window, Qt::Key_Return); });
  EXPECT_EQ(form_.ShowMessageBox("Сортировать по дате?", MessageKind::kConfirmation, buttons::kYesNo),
            DialogResult::kYes);
}

/// What one showing of the open dialog gave: the file chosen, the text of the message box it raised.
struct OpenDialogOutcome {
  std::optional<std::filesystem::path> Chosen;
  QString Message;
  QString Caption;
  QStringList FilterNames;
  QStringList Listed;  // the names the list shows under the chosen filter
  bool OpenEnabled = false;
};

/// The names `dialog` lists, once its folder has been read (up to about two seconds).
QStringList ListedNames(QFileDialog* dialog, int expected) {
  auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  QStringList names;
  for (int attempt = 0; view != nullptr && attempt < 200; ++attempt) {
    names.clear();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
      names << view->model()->index(row, 0, root).data().toString();
    }
    if (names.size() >= expected) break;
    QTest::qWait(10);
  }
  names.sort();
  return names;
}

/// Shows the open dialog on `folder`, types `typed` into its name field and presses its Open button; a
/// message box the dialog raises is closed, and then the dialog is cancelled.
OpenDialogOutcome TypeIntoOpenDialog(TFormConvert& form, const std::filesystem::path& folder, const QString& typed,
                                     int expected_listed = 0) {
  OpenDialogOutcome outcome;
  WhenModal([&](QWidget* window) {
    auto* dialog = qobject_cast<QFileDialog*>(window);
    ASSERT_NE(dialog, nullptr);
    outcome.Caption = dialog->windowTitle();
    if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")); types != nullptr) {
      for (int i = 0; i < types->count(); ++i) outcome.FilterNames << types->itemText(i);
    }
    if (expected_listed > 0) outcome.Listed = ListedNames(dialog, expected_listed);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box != nullptr) {
        outcome.Message = box->text();
        box->done(QMessageBox::Ok);
        QTimer::singleShot(0, dialog, &QFileDialog::reject);
      }
    });
    watch.start(5);
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
    QPushButton* open =
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Open);
    outcome.OpenEnabled = open->isEnabled();
    open->click();
    if (dialog->isVisible()) QTimer::singleShot(0, dialog, &QFileDialog::reject);
  });
  outcome.Chosen = form.OpenArchiveDialog(folder);
  return outcome;
}

TEST_F(FormConvertTest, OpenDialogFindsTheArchiveWhateverTheCaseOfItsExtension) {
  const auto folder = prefix_.Root() / "archives";
  std::filesystem::create_directories(folder);
  for (const char* name : {"vr7731.ar4", "VR7732.AR4", "plain", "notes.txt"}) {
    FakeWinePrefix::WriteFile(folder / name, "ar");
  }

  OpenDialogOutcome outcome = TypeIntoOpenDialog(form_, folder, U("vr7731"), 2);
  EXPECT_EQ(outcome.Chosen, folder / "vr7731.ar4") << outcome.Message.toStdString();
  EXPECT_TRUE(outcome.OpenEnabled);
  EXPECT_EQ(outcome.Caption, U("Выберите файл архива  (*.ar4)"));
  EXPECT_EQ(outcome.FilterNames, (QStringList{U("Файл данных архива ( *.ar4 )"), U("Все файлы (*.*)")}));
  EXPECT_EQ(outcome.Listed, (QStringList{U("VR7732.AR4"), U("vr7731.ar4")}));  // both cases under *.AR4

  outcome = TypeIntoOpenDialog(form_, folder, U("VR7732"));
  EXPECT_EQ(outcome.Chosen, folder / "VR7732.AR4") << outcome.Message.toStdString();
  outcome = TypeIntoOpenDialog(form_, folder, U("plain"));  // the name as typed comes first
  EXPECT_EQ(outcome.Chosen, folder / "plain") << outcome.Message.toStdString();
  outcome = TypeIntoOpenDialog(form_, folder, U("vr7731.ar4"));
  EXPECT_EQ(outcome.Chosen, folder / "vr7731.ar4") << outcome.Message.toStdString();

  outcome = TypeIntoOpenDialog(form_, folder, U("missing"));
  EXPECT_FALSE(outcome.Chosen);
  EXPECT_FALSE(outcome.Message.isEmpty());
}

}  // namespace
}  // namespace ar4
