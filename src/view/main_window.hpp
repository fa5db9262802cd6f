#pragma once
/// The viewer's window: the report and the run list on the left, the timeline and the plot on the right;
/// File ▸ Open (an archive or a converted folder), drag and drop, recent files, picture export and the
/// conversion of the selection.

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/conversion/user_interface.hpp"
#include "view/document.hpp"
#include "view/plot_widget.hpp"
#include "view/timeline_widget.hpp"

namespace ar4::view {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  /// A window with a document of its own.
  explicit MainWindow(QWidget* parent = nullptr);
  /// A window over `document` (which outlives it), for a start-up that opens the first file on another
  /// thread while the window is being built.
  explicit MainWindow(Document& document, QWidget* parent = nullptr);
  ~MainWindow() override;

  /// Opens an archive or, for a folder, a converted folder. False (after the message) when rejected.
  bool OpenPath(const QString& path);
  /// Shows what the document opened from `path` (by OpenArchive or OpenFolder), or the message of a rejection.
  bool ShowOpened(const QString& path, const OpenResult& result);
  void SelectAll();
  void SelectRun(int run);
  void SelectRange(double from, double to);
  /// Runs the conversion of the selection; returns the output folder, empty when none was written.
  QString ConvertSelection();
  bool ExportPicture(const QString& file);
  /// Writes the selection's measurements as the table `ar4conv table` writes (CSV, or a workbook for a
  /// name ending in .xlsx), through the same writers. False (after the message) when it cannot.
  bool ExportTable(const QString& file);

  /// Tests and scripts: messages are recorded instead of shown, the sort question is answered "no" and
  /// the output folder of a conversion is `folder`.
  void SetUnattended(const QString& conversion_folder);
  const QStringList& Messages() const { return messages_; }

  Document& Doc() { return document_; }
  PlotWidget* Plot() const { return plot_; }
  TimelineWidget* Timeline() const { return timeline_; }
  QListWidget* RunList() const { return runs_; }
  QListWidget* ChannelList() const { return channels_; }
  QPlainTextEdit* ReportPane() const { return report_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void OpenArchiveDialog();
  void OpenFolderDialog();
  void ExportPictureDialog(const QString& filter);
  void ExportTableDialog();
  void ShowDocument();
  void AfterSelection();
  void FillChannels();
  void AddRecent(const QString& path);
  void RebuildRecentMenu();
  void SaveChannelSettings();
  void ShowError(const QString& text);
  DialogResult Message(std::string_view text, MessageKind kind, unsigned buttons_set);
  QString ChannelSettingsKey() const;

  std::unique_ptr<Document> owned_;
  Document& document_;
  PlotWidget* plot_ = nullptr;
  TimelineWidget* timeline_ = nullptr;
  QPlainTextEdit* report_ = nullptr;
  QListWidget* runs_ = nullptr;
  QListWidget* channels_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QSplitter* right_ = nullptr;
  QLabel* status_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  QAction* aux_action_ = nullptr;
  QAction* convert_action_ = nullptr;
  QAction* table_action_ = nullptr;
  QPushButton* convert_button_ = nullptr;
  bool unattended_ = false;
  QString unattended_folder_;
  QStringList messages_;
  bool filling_ = false;
};

}  // namespace ar4::view
