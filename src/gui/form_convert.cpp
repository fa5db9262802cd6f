#include "gui/form_convert.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <system_error>

#include "core/export/file_system.hpp"
#include "gui/form_date_select.hpp"
#include "gui/gauge.hpp"
#include "gui/message_box.hpp"
#include "core/viewer/viewer_search.hpp"
#include "core/viewer/wine_registry.hpp"

namespace ar4 {
namespace {

QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(PathToUtf8(path)); }

std::filesystem::path ToPath(const QString& text) { return PathFromUtf8(text.toStdString()); }

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeBoldLabel(QWidget* parent, const char* name, const char* text, QRect geometry) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setGeometry(geometry);
  label->setMinimumWidth(geometry.width());
  label->adjustSize();
  label->hide();
  return label;
}

/// The file-open dialog: Qt's own rather than a desktop's, so that it behaves the same everywhere. A name
/// typed without an extension is looked up as typed, then with ".AR4", then with ".ar4": Qt itself would
/// only try the default extension as given, which on a case-sensitive file system misses "name.ar4" (and
/// keeps the Open button disabled for it). So Qt is left any name, and the dialog checks that it exists.
class ArchiveOpenDialog final : public QFileDialog {
 public:
  ArchiveOpenDialog(QWidget* parent, const QString& caption, const QString& folder, QString default_suffix)
      : QFileDialog(parent, caption, folder), default_suffix_(std::move(default_suffix)) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
  }

  void accept() override {
    const QStringList chosen = selectedFiles();
    if (chosen.size() != 1 || chosen.front().isEmpty() || QFileInfo(chosen.front()).isDir()) {
      QFileDialog::accept();  // Qt opens a folder
      return;
    }
    const QString found = ExistingFile(chosen.front());
    if (found.isEmpty()) {
      QMessageBox::warning(this, windowTitle(),
                           QFileDialog::tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                               .arg(QFileInfo(chosen.front()).fileName()));
      return;
    }
    // Kept here rather than selected in the dialog: while the dialog's file list is still loading and its
    // name field has the focus, selectFile leaves the typed name in place.
    chosen_ = found;
    QDialog::accept();
  }

  /// The file accepted, with the extension it was found with; empty when none was.
  const QString& Chosen() const { return chosen_; }

 private:
  QString ExistingFile(const QString& name) const {
    if (QFileInfo(name).isFile()) return name;
    if (QFileInfo::exists(name) || !QFileInfo(name).suffix().isEmpty()) return QString();
    for (const QString& candidate :
         {name + u'.' + default_suffix_.toUpper(), name + u'.' + default_suffix_.toLower()}) {
      if (QFileInfo(candidate).isFile()) return candidate;
    }
    return QString();
  }

  QString default_suffix_;
  QString chosen_;
};

}  // namespace

TFormConvert::TFormConvert(ConversionSettings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings) {
  setObjectName(QStringLiteral("FormConvert"));
  setWindowTitle(QString::fromUtf8("РазборщикЗаписей"));
  QFont face(QStringLiteral("MS Sans Serif"));
  face.setStyleHint(QFont::SansSerif);
  face.setPixelSize(13);
  setFont(face);
  setFixedSize(kClientWidth, kClientHeight);

  BtnConvert = new QPushButton(QString::fromUtf8("Открыть архив"), this);
  BtnConvert->setObjectName(QStringLiteral("BtnConvert"));
  BtnConvert->setGeometry(8, 8, 217, 25);

  BtnShell = new QPushButton(QString::fromUtf8("Запустить TrendoraStudio"), this);
  BtnShell->setObjectName(QStringLiteral("BtnShell"));
  BtnShell->setGeometry(8, 40, 217, 25);
  BtnShell->setEnabled(false);  // until the viewer's executable is found

  Gauge = new TGauge(this);
  Gauge->setObjectName(QStringLiteral("Gauge"));
  Gauge->setGeometry(8, 72, 217, 20);
  Gauge->hide();

  LabelSort = MakeBoldLabel(this, "LabelSort", "Сортировка ...", QRect(72, 75, 106, 16));
  LabelPrc = MakeBoldLabel(this, "LabelPrc", "...", QRect(192, 75, 13, 16));

  setTabOrder(BtnConvert, BtnShell);
  connect(BtnConvert, &QPushButton::clicked, this, &TFormConvert::BtnConvertClick);
  connect(BtnShell, &QPushButton::clicked, this, &TFormConvert::BtnShellClick);

  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

void TFormConvert::FormShow() {
  // The application title is the text of the window's task-bar entry (its icon name). It is not made
  // Qt's application display name: the window system would append that to every window's caption.
  QT_WARNING_PUSH
  QT_WARNING_DISABLE_DEPRECATED
  setWindowIconText(QString::fromUtf8(kApplicationTitle));
  QT_WARNING_POP
  GetTrendoraFolderPath();
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::current_path(ec);
  if (!ec) settings_.InitialFolder = current;
}

std::filesystem::path TFormConvert::GetTrendoraFolderPath() {
  settings_.ViewerDataFolder.clear();
  viewer_executable_.clear();
  const std::filesystem::path prefix = WinePrefixFromEnvironment();
  const ViewerSearchResult found = ar4::GetTrendoraFolderPath(ReadInstallerFolders(prefix), prefix);
  if (found.ExecutableFound) {
    viewer_executable_ = found.ViewerExecutable;
    BtnShell->setEnabled(true);  // never disabled again
  }
  if (found.SettingsUnreadable) {
    // The search goes on without a data folder: the conversion then asks for a folder every time.
    const std::string text = "Ошибка чтения файла настроек TrendoraStudio\r" +
                             PathToUtf8(found.ViewerFolder / std::string(kViewerSettingsName));
    ShowMessageBox(text, MessageKind::kError, buttons::kCancelOnly);
  }
  settings_.ViewerDataFolder = found.ViewerDataFolder;
  return settings_.ViewerDataFolder;
}

void TFormConvert::BtnConvertClick() {
  if (converting_ || !convert_handler_) return;
  converting_ = true;
  convert_handler_();
  converting_ = false;
  if (close_requested_) {
    close_requested_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TFormConvert::BtnShellClick() {
  // The path is one argument of its own, so folders with blanks need no quoting; no shell is involved.
  const bool started = !viewer_executable_.empty() &&
                       QProcess::startDetached(viewer_launcher_, {ToQString(viewer_executable_)});
  if (!started) {
    ShowMessageBox(" Ошибка запуска TrendoraStudio", MessageKind::kError, buttons::kCancelOnly);
  }
}

std::optional<std::filesystem::path> TFormConvert::OpenArchiveDialog(const std::filesystem::path& initial_folder) {
  ArchiveOpenDialog dialog(this, QString::fromUtf8("Выберите файл архива  (*.ar4)"), ToQString(initial_folder),
                           QStringLiteral("AR4"));
  // The filter names already show their patterns; Qt would show them a second time.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = {QString::fromUtf8("Файл данных архива ( *.ar4 ) (*.AR4 *.ar4)"),
                               QString::fromUtf8("Все файлы (*.*) (*)")};
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  if (!dialog.Chosen().isEmpty()) return ToPath(dialog.Chosen());
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return ToPath(chosen.front());
}

DialogResult TFormConvert::ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) {
  return ar4::ShowMessageBox(this, text, kind, buttons_set);
}

std::optional<IntervalChoice> TFormConvert::ShowIntervalDialog(const std::vector<std::string>& items,
                                                               bool viewer_data_known) {
  if (date_select_ == nullptr) return std::nullopt;
  date_select_->SetItems(items);
  date_select_->PrepareTarget(viewer_data_known);
  if (date_select_->exec() != QDialog::Accepted) return std::nullopt;
  return date_select_->Choice();
}

std::optional<std::filesystem::path> TFormConvert::SelectDirectory(std::string_view prompt) {
  const QString folder = QFileDialog::getExistingDirectory(
      this, FromUtf8(prompt), QDir::homePath(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (folder.isEmpty()) return std::nullopt;
  return ToPath(folder);
}

void TFormConvert::SetConvertEnabled(bool enabled) { BtnConvert->setEnabled(enabled); }

void TFormConvert::ShowGauge(bool visible) { Gauge->setVisible(visible); }

void TFormConvert::SetGaugePosition(int percent) { Gauge->setValue(std::clamp(percent, 0, 100)); }

void TFormConvert::ShowLabelSort(bool visible) { LabelSort->setVisible(visible); }

void TFormConvert::SetLabelPrc(std::optional<std::string_view> text) {
  if (!text) {
    LabelPrc->hide();
    return;
  }
  LabelPrc->setText(FromUtf8(*text));
  LabelPrc->adjustSize();
  LabelPrc->show();
}

void TFormConvert::ProcessEvents() { QCoreApplication::processEvents(); }

void TFormConvert::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();  // not again when the window comes back from the task bar
}

void TFormConvert::closeEvent(QCloseEvent* event) {
  if (converting_) {
    // A conversion is writing its files; the window closes as soon as it has finished.
    close_requested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace ar4
