#include "view/main_window.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

#include "core/conversion/driver.hpp"
#include "core/conversion/messages.hpp"
#include "core/export/decimal_separator.hpp"
#include "core/export/file_system.hpp"
#include "core/table/table_writers.hpp"
#include "view/conversion_ui.hpp"

namespace ar4::view {
namespace {

constexpr int kMaxRecent = 8;

std::filesystem::path ToPath(const QString& path) { return PathFromUtf8(path.toStdString()); }
QString FromPath(const std::filesystem::path& path) { return QString::fromStdString(PathToUtf8(path)); }

/// The day of a time on the axis, as the interval dialog's spin edits hold it.
DialogDate DayOf(double seconds) {
  const std::uint32_t stamp = SecondsToPacked(seconds);
  if (stamp == 0xFFFFFFFFu) return seconds < 0 ? DialogDate{1, 1, 2000} : DialogDate{31, 12, 2063};
  return {static_cast<int>(((stamp >> 17) & 31u) + 1), static_cast<int>(((stamp >> 22) & 15u) + 1),
          static_cast<int>((stamp >> 26) + 2000)};
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(*new Document, parent) { owned_.reset(&document_); }

MainWindow::MainWindow(Document& document, QWidget* parent) : QMainWindow(parent), document_(document) {
  setWindowTitle(tr("ar4view — просмотр измерений"));
  setAcceptDrops(true);

  report_ = new QPlainTextEdit;
  report_->setReadOnly(true);
  report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  report_->setLineWrapMode(QPlainTextEdit::NoWrap);
  runs_ = new QListWidget;
  runs_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  channels_ = new QListWidget;
  auto* all_button = new QPushButton(tr("Весь архив"));
  convert_button_ = new QPushButton(tr("Преобразовать выбранное…"));
  convert_button_->setToolTip(tr("Записать выбранное в папку для TrendoraStudio, как ar4conv convert"));

  auto* left = new QWidget;
  auto* left_layout = new QVBoxLayout(left);
  left_layout->setContentsMargins(4, 4, 4, 4);
  auto* left_split = new QSplitter(Qt::Vertical);
  auto* runs_box = new QWidget;
  auto* runs_layout = new QVBoxLayout(runs_box);
  runs_layout->setContentsMargins(0, 0, 0, 0);
  runs_layout->addWidget(new QLabel(tr("Прогоны (перечень временных наложений):")));
  runs_layout->addWidget(runs_);
  runs_layout->addWidget(all_button);
  auto* channels_box = new QWidget;
  auto* channels_layout = new QVBoxLayout(channels_box);
  channels_layout->setContentsMargins(0, 0, 0, 0);
  channels_layout->addWidget(new QLabel(tr("Каналы:")));
  channels_layout->addWidget(channels_);
  left_split->addWidget(report_);
  left_split->addWidget(runs_box);
  left_split->addWidget(channels_box);
  left_split->setStretchFactor(0, 3);
  left_split->setStretchFactor(1, 2);
  left_split->setStretchFactor(2, 1);
  left_layout->addWidget(left_split);
  left_layout->addWidget(convert_button_);

  timeline_ = new TimelineWidget;
  plot_ = new PlotWidget;
  right_ = new QSplitter(Qt::Vertical);
  right_->addWidget(timeline_);
  right_->addWidget(plot_);
  right_->setStretchFactor(0, 1);
  right_->setStretchFactor(1, 5);
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->addWidget(left);
  splitter_->addWidget(right_);
  splitter_->setStretchFactor(0, 2);
  splitter_->setStretchFactor(1, 5);
  setCentralWidget(splitter_);
  status_ = new QLabel;
  statusBar()->addWidget(status_, 1);

  BuildMenus();

  connect(runs_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!filling_ && row >= 0) SelectRun(row);
  });
  connect(all_button, &QPushButton::clicked, this, &MainWindow::SelectAll);
  connect(convert_button_, &QPushButton::clicked, this, [this] { ConvertSelection(); });
  connect(timeline_, &TimelineWidget::RunClicked, this, &MainWindow::SelectRun);
  connect(timeline_, &TimelineWidget::RangeDragged, this, &MainWindow::SelectRange);
  connect(plot_, &PlotWidget::WindowChanged, timeline_, &TimelineWidget::SetViewWindow);
  connect(channels_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (filling_) return;
    plot_->SetChannelVisible(channels_->row(item), item->checkState() == Qt::Checked);
    SaveChannelSettings();
  });

  QSettings settings;
  if (!restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray())) resize(1280, 820);
  // The left side wide enough for the report's lines and the runs' 56 characters.
  const int left_width = report_->fontMetrics().horizontalAdvance(QString(58, QLatin1Char('0'))) + 40;
  if (!splitter_->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray())) {
    splitter_->setSizes({left_width, std::max(400, width() - left_width)});
  }
  if (!right_->restoreState(settings.value(QStringLiteral("window/plotSplitter")).toByteArray())) {
    right_->setSizes({120, std::max(300, height() - 200)});
  }
  RebuildRecentMenu();
  ShowDocument();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&Файл"));
  QAction* open = file->addAction(tr("&Открыть архив…"), this, &MainWindow::OpenArchiveDialog);
  open->setShortcut(QKeySequence::Open);
  QAction* open_folder = file->addAction(tr("Открыть &папку с результатом…"), this, &MainWindow::OpenFolderDialog);
  open_folder->setShortcut(QKeySequence(tr("Ctrl+Shift+O")));
  recent_menu_ = file->addMenu(tr("&Недавние"));
  file->addSeparator();
  QAction* png = file->addAction(tr("Сохранить рисунок &PNG…"), this, [this] { ExportPictureDialog(tr("Рисунок PNG (*.png)")); });
  png->setShortcut(QKeySequence(tr("Ctrl+E")));
  QAction* svg = file->addAction(tr("Сохранить рисунок &SVG…"), this, [this] { ExportPictureDialog(tr("Рисунок SVG (*.svg)")); });
  svg->setShortcut(QKeySequence(tr("Ctrl+Shift+E")));
  table_action_ = file->addAction(tr("Сохранить &таблицу выбранного (CSV, xlsx)…"), this, &MainWindow::ExportTableDialog);
  table_action_->setShortcut(QKeySequence(tr("Ctrl+T")));
  convert_action_ = file->addAction(tr("П&реобразовать выбранное…"), this, [this] { ConvertSelection(); });
  convert_action_->setShortcut(QKeySequence(tr("Ctrl+R")));
  file->addSeparator();
  QAction* quit = file->addAction(tr("В&ыход"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);

  QMenu* view = menuBar()->addMenu(tr("&Вид"));
  QAction* zoom_in = view->addAction(tr("&Увеличить"), this, [this] { plot_->ZoomBy(1.5); });
  zoom_in->setShortcuts({QKeySequence::ZoomIn, QKeySequence(tr("Ctrl+="))});
  QAction* zoom_out = view->addAction(tr("У&меньшить"), this, [this] { plot_->ZoomBy(1 / 1.5); });
  zoom_out->setShortcut(QKeySequence::ZoomOut);
  QAction* reset = view->addAction(tr("&Сбросить масштаб"), this, [this] { plot_->ResetView(); });
  reset->setShortcut(QKeySequence(tr("Ctrl+0")));
  view->addAction(tr("&Весь архив"), this, &MainWindow::SelectAll)->setShortcut(QKeySequence(tr("Ctrl+A")));
  aux_action_ = view->addAction(tr("Вспомогательные значения ГРВ-300"));
  aux_action_->setCheckable(true);
  connect(aux_action_, &QAction::toggled, plot_, &PlotWidget::SetAuxVisible);

  QToolBar* tools = addToolBar(tr("Действия"));
  tools->setObjectName(QStringLiteral("tools"));
  tools->addAction(open);
  tools->addAction(open_folder);
  tools->addSeparator();
  tools->addAction(zoom_in);
  tools->addAction(zoom_out);
  tools->addAction(reset);
  tools->addSeparator();
  tools->addAction(png);
  tools->addAction(svg);
  tools->addAction(table_action_);
}

void MainWindow::SetUnattended(const QString& conversion_folder) {
  unattended_ = true;
  unattended_folder_ = conversion_folder;
}

void MainWindow::ShowError(const QString& text) {
  messages_ << text;
  if (!unattended_) QMessageBox::critical(this, tr("ar4view"), text);
}

DialogResult MainWindow::Message(std::string_view text, MessageKind kind, unsigned buttons_set) {
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  messages_ << shown;
  if (buttons_set == buttons::kYesNo) {
    if (unattended_) return DialogResult::kNo;
    return QMessageBox::question(this, tr("ar4view"), shown) == QMessageBox::Yes ? DialogResult::kYes : DialogResult::kNo;
  }
  if (!unattended_) {
    if (kind == MessageKind::kError) QMessageBox::critical(this, tr("ar4view"), shown);
    else if (kind == MessageKind::kWarning) QMessageBox::warning(this, tr("ar4view"), shown);
    else QMessageBox::information(this, tr("ar4view"), shown);
  }
  return buttons_set == buttons::kOkOnly ? DialogResult::kOk : DialogResult::kCancel;
}

bool MainWindow::OpenPath(const QString& path) {
  const bool folder = QFileInfo(path).isDir();
  return ShowOpened(path, folder ? document_.OpenFolder(ToPath(path)) : document_.OpenArchive(ToPath(path)));
}

bool MainWindow::ShowOpened(const QString& path, const OpenResult& result) {
  const QFileInfo info(path);
  if (!result.Ok) {
    // An archive rejected: the system's fixed message.
    ShowError(info.isDir() ? tr("В папке нет файлов каналов (Chan1.pen …), которые можно прочитать:\n%1").arg(path)
                           : QString::fromStdString(result.Message));
    return false;
  }
  AddRecent(info.absoluteFilePath());
  ShowDocument();
  return true;
}

void MainWindow::OpenArchiveDialog() {
  const QString file = QFileDialog::getOpenFileName(this, tr("Открыть архив"), QString(),
                                                    tr("Архивы (*.ar4 *.AR4);;Все файлы (*)"));
  if (!file.isEmpty()) OpenPath(file);
}

void MainWindow::OpenFolderDialog() {
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Открыть папку с результатом преобразования"));
  if (!folder.isEmpty()) OpenPath(folder);
}

void MainWindow::ShowDocument() {
  filling_ = true;
  const SourceKind kind = document_.Kind();
  if (kind == SourceKind::kFolder) {
    const ConvertedFolderSummary& s = document_.FolderSummary();
    QString text = tr("Папка с результатом преобразования\n%1\n\n").arg(FromPath(document_.Path()));
    text += tr("Pen.txt: %1\n").arg(s.PenTextFound ? tr("есть") : tr("нет"));
    text += tr("Файлов каналов: %1\nФайлов реле: %2\nЗаписей в файле: %3\n")
                .arg(s.ChannelFiles.size())
                .arg(s.RelayFiles.size())
                .arg(s.Rows);
    for (const std::string& problem : s.Problems) text += QString::fromStdString(problem) + QLatin1Char('\n');
    report_->setPlainText(text);
  } else {
    report_->setPlainText(QString::fromStdString(document_.ReportText()));
  }
  runs_->clear();
  for (const std::string& run : document_.RunTexts()) runs_->addItem(QString::fromStdString(run));
  timeline_->SetRuns(document_.Runs());
  const bool samples = document_.Archive().Profile != nullptr && document_.Archive().Profile->DeviceType == 89;
  aux_action_->setEnabled(kind == SourceKind::kArchive && samples);
  if (!aux_action_->isEnabled()) aux_action_->setChecked(false);
  convert_action_->setEnabled(document_.CanConvert());
  table_action_->setEnabled(document_.CanConvert());
  convert_button_->setEnabled(document_.CanConvert());
  setWindowTitle(kind == SourceKind::kNone ? tr("ar4view — просмотр измерений")
                                           : tr("%1 — ar4view").arg(FromPath(document_.Path().filename())));
  filling_ = false;
  FillChannels();
  AfterSelection();
}

QString MainWindow::ChannelSettingsKey() const {
  return QStringLiteral("channels/%1").arg(document_.Series().Channels);
}

void MainWindow::FillChannels() {
  filling_ = true;
  channels_->clear();
  QStringList names;
  for (const std::string& name : document_.ChannelNames()) names << QString::fromStdString(name);
  const QString saved = QSettings().value(ChannelSettingsKey()).toString();
  for (int g = 0; g < names.size(); ++g) {
    auto* item = new QListWidgetItem(names[g], channels_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    const bool visible = g >= saved.size() || saved[g] != QLatin1Char('0');
    item->setCheckState(visible ? Qt::Checked : Qt::Unchecked);
    item->setForeground(ChannelColor(g));
    plot_->SetChannelVisible(g, visible);
  }
  plot_->SetChannelNames(names);
  filling_ = false;
}

void MainWindow::SaveChannelSettings() {
  QString mask;
  for (int g = 0; g < channels_->count(); ++g) mask += channels_->item(g)->checkState() == Qt::Checked ? '1' : '0';
  QSettings().setValue(ChannelSettingsKey(), mask);
}

void MainWindow::SelectAll() {
  if (document_.Kind() == SourceKind::kArchive) document_.Select(Selection{});
  AfterSelection();
  plot_->ResetView();
}

void MainWindow::SelectRun(int run) {
  if (run < 0 || run >= static_cast<int>(document_.Runs().size())) return;
  if (document_.Kind() == SourceKind::kArchive) {
    Selection s;
    s.Mode = Selection::Kind::kRun;
    s.Run = static_cast<std::uint32_t>(run);
    document_.Select(s);
    AfterSelection();
  } else {
    // A folder's stretch: its time span.
    const TimelineRun& r = document_.Runs()[static_cast<std::size_t>(run)];
    timeline_->SetSelectedRun(run);
    plot_->SetWindow(r.From - 1, r.To + 1);
  }
  filling_ = true;
  runs_->setCurrentRow(run);
  filling_ = false;
}

void MainWindow::SelectRange(double from, double to) {
  if (!(to > from)) return;
  if (document_.Kind() == SourceKind::kArchive) {
    Selection s;
    s.Mode = Selection::Kind::kRange;
    s.From = from;
    s.To = to;
    document_.Select(s);
    AfterSelection();
  } else {
    timeline_->SetSelectedRange(from, to);
    plot_->SetWindow(from, to);
  }
}

void MainWindow::AfterSelection() {
  const Selection& s = document_.CurrentSelection();
  QStringList names;
  for (const std::string& name : document_.ChannelNames()) names << QString::fromStdString(name);
  plot_->SetSeries(document_.Kind() == SourceKind::kNone ? nullptr : &document_.Series(), names);
  if (document_.Kind() == SourceKind::kArchive) {
    timeline_->SetSelectedRun(s.Mode == Selection::Kind::kRun ? static_cast<int>(s.Run) : -1);
    if (s.Mode == Selection::Kind::kRange) timeline_->SetSelectedRange(s.From, s.To);
    else timeline_->SetSelectedRange(0, 0);
    if (s.Mode != Selection::Kind::kRun) {
      filling_ = true;
      runs_->setCurrentRow(-1);
      filling_ = false;
    }
  }
  timeline_->SetViewWindow(plot_->WindowFrom(), plot_->WindowTo());
  QString what;
  switch (s.Mode) {
    case Selection::Kind::kAll:
      what = tr("всё");
      break;
    case Selection::Kind::kRun:
      what = tr("прогон %1").arg(s.Run + 1);
      break;
    case Selection::Kind::kRange:
      what = tr("%1 — %2").arg(QString::fromStdString(TimeText(s.From)), QString::fromStdString(TimeText(s.To)));
      break;
  }
  if (document_.Kind() == SourceKind::kNone) {
    status_->setText(tr("Откройте архив (Ctrl+O) или перетащите его в окно"));
  } else {
    status_->setText(tr("Выбрано: %1; записей: %2; наложений: %3")
                         .arg(what)
                         .arg(document_.Series().Rows())
                         .arg(document_.Runs().empty() ? 0 : document_.Runs().size() - 1));
  }
}

QString MainWindow::ConvertSelection() {
  if (!document_.CanConvert()) return {};
  const Selection& s = document_.CurrentSelection();
  IntervalChoice choice;
  choice.SelectDir = 0;
  if (s.Mode == Selection::Kind::kRun) {
    choice.SelectInterval = 0;
    choice.BoxIntervalIndex = s.Run;
  } else {
    // A date range of whole days, as the interval dialog and --from/--to choose it.
    choice.SelectInterval = 1;
    choice.From = s.Mode == Selection::Kind::kRange ? DayOf(s.From) : DialogDate{1, 1, 2000};
    choice.To = s.Mode == Selection::Kind::kRange ? DayOf(s.To) : DialogDate{31, 12, 2063};
  }
  ConversionAnswers answers;
  answers.ChooseFolder = [this](std::string_view prompt) -> std::optional<std::filesystem::path> {
    const QString folder = unattended_ ? unattended_folder_
                                       : QFileDialog::getExistingDirectory(this, QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())));
    if (folder.isEmpty()) return std::nullopt;
    return ToPath(folder);
  };
  answers.ShowMessage = [this](std::string_view text, MessageKind kind, unsigned buttons_set) {
    return Message(text, kind, buttons_set);
  };

  const std::filesystem::path archive = document_.Path();
  const Selection kept = s;
  DiskFileSystem file_system;
  ConversionDriver driver(document_.Buffers(), file_system);
  driver.Settings().DecimalSeparator = UserDecimalSeparator();
  ViewConversionUi ui(this, archive, choice, answers);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  driver.BtnConvertClick(ui);
  QApplication::restoreOverrideCursor();

  // The driver read the archive again into the same buffers (and may have re-ordered it by date): read it
  // once more so what is shown is the archive as it is on disk.
  const double from = plot_->WindowFrom(), to = plot_->WindowTo();
  if (document_.OpenArchive(archive).Ok) {
    ShowDocument();
    document_.Select(kept);
    AfterSelection();
    if (kept.Mode == Selection::Kind::kRun) {
      filling_ = true;
      runs_->setCurrentRow(static_cast<int>(kept.Run));
      filling_ = false;
    }
    plot_->SetWindow(from, to);
  } else {
    ShowDocument();  // the archive can no longer be read
  }
  if (!driver.LastRunSucceeded()) return {};
  const QString folder = FromPath(driver.OutputFolder());
  status_->setText(tr("Записано в %1").arg(folder));
  if (!unattended_) {
    QMessageBox box(QMessageBox::Information, tr("ar4view"), tr("Преобразование записано в папку\n%1").arg(folder),
                    QMessageBox::Ok, this);
    QPushButton* show = box.addButton(tr("Открыть папку в ar4view"), QMessageBox::ActionRole);
    box.exec();
    if (box.clickedButton() == show) OpenPath(folder);
  }
  return folder;
}

bool MainWindow::ExportPicture(const QString& file) {
  const QSize size = plot_->size().expandedTo(QSize(800, 500));
  const bool ok = file.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive) ? plot_->SaveSvg(file, size)
                                                                               : plot_->SavePng(file, size);
  if (!ok) ShowError(tr("Не удалось записать файл\n%1").arg(file));
  return ok;
}

bool MainWindow::ExportTable(const QString& file) {
  if (!document_.CanConvert()) return false;
  const LoadedArchive& archive = document_.Archive();
  const RingGeometry ring = RingGeometry::Of(*archive.Profile, archive.PageCount);
  TableSelection selection{document_.Buffers().MainBlock.get(), ring, archive.Profile, document_.SelectionBounds()};
  TableOptions options;  // the defaults of `ar4conv table`
  const bool workbook = file.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
  options.Format = workbook ? TableFormat::kXlsx : TableFormat::kCsv;
  TableContext context;
  if (workbook) {
    context.ReportUtf8 = document_.ReportText();
    context.Runs = TableRuns(selection, document_.Intervals());
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool ok = true;
  try {
    const ExportResult result = WriteTableFile(selection, options, context, ToPath(file), {});
    status_->setText(tr("Записано строк таблицы: %1 — %2").arg(result.ExportedCells).arg(file));
  } catch (...) {  // the file cannot be written
    ok = false;
  }
  QApplication::restoreOverrideCursor();
  if (!ok) ShowError(QString::fromUtf8(messages::kErrors.data(), static_cast<qsizetype>(messages::kErrors.size())));
  return ok;
}

void MainWindow::ExportTableDialog() {
  QString filters = tr("Таблица CSV (*.csv)");
  if (XlsxSupported()) filters += tr(";;Книга Excel (*.xlsx)");
  QString chosen_filter;
  QString file = QFileDialog::getSaveFileName(this, tr("Сохранить таблицу выбранного"), QString(), filters, &chosen_filter);
  if (file.isEmpty()) return;
  const bool workbook = chosen_filter.contains(QStringLiteral("xlsx")) || file.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
  const QString suffix = workbook ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
  if (!file.endsWith(suffix, Qt::CaseInsensitive)) file += suffix;
  ExportTable(file);
}

void MainWindow::ExportPictureDialog(const QString& filter) {
  const QString file = QFileDialog::getSaveFileName(this, tr("Сохранить рисунок"), QString(), filter);
  if (file.isEmpty()) return;
  QString name = file;
  const QString suffix = filter.contains(QStringLiteral("svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
  if (!name.endsWith(suffix, Qt::CaseInsensitive)) name += suffix;
  ExportPicture(name);
}

void MainWindow::AddRecent(const QString& path) {
  QSettings settings;
  QStringList recent = settings.value(QStringLiteral("recent")).toStringList();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kMaxRecent) recent.removeLast();
  settings.setValue(QStringLiteral("recent"), recent);
  RebuildRecentMenu();
}

void MainWindow::RebuildRecentMenu() {
  recent_menu_->clear();
  const QStringList recent = QSettings().value(QStringLiteral("recent")).toStringList();
  for (const QString& path : recent) {
    recent_menu_->addAction(path, this, [this, path] { OpenPath(path); });
  }
  recent_menu_->setEnabled(!recent.isEmpty());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && event->mimeData()->urls().front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) {
    event->acceptProposedAction();
    OpenPath(urls.front().toLocalFile());
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  QSettings settings;
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("window/splitter"), splitter_->saveState());
  settings.setValue(QStringLiteral("window/plotSplitter"), right_->saveState());
  QMainWindow::closeEvent(event);
}

}  // namespace ar4::view
