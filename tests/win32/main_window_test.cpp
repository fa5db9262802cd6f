#include "win32/main_window.hpp"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "ar4gen/generator.hpp"
#include "core/export/file_system.hpp"
#include "win32_test_support.hpp"

namespace ar4::win32 {
namespace {

namespace ids = main_ids;
using testing::HasDisplay;
using testing::TempFolder;
using testing::WindowText;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasDisplay()) GTEST_SKIP() << "no display";
    buffers_ = std::make_unique<ArchiveBuffers>();
    driver_ = std::make_unique<ConversionDriver>(*buffers_, file_system_);
  }
  void TearDown() override {
    window_.reset();
    testing::PumpMessages(10);  // also takes a quit message of a closed window off the queue
  }

  MainWindow& Make(const ScreenshotRecorder* recorder = nullptr) {
    window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), *driver_, recorder);
    return *window_;
  }

  /// Shown as a control of the window (the window itself may be hidden).
  bool Visible(int id) const { return (GetWindowLongPtrW(window_->Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }

  DiskFileSystem file_system_;
  std::unique_ptr<ArchiveBuffers> buffers_;
  std::unique_ptr<ConversionDriver> driver_;
  std::unique_ptr<MainWindow> window_;
};

/// A VR7732 archive with two clock set-backs: three runs, so a date-range conversion asks about the
/// re-ordering.
void WriteArchive(const std::filesystem::path& file) {
  ar4gen::GeneratorOptions options;
  options.Header.DeviceType = 74;
  options.Header.PageCount = 64;
  options.SetBacks = 2;
  const std::vector<std::uint8_t> bytes = ar4gen::GenerateArchive(options);
  testing::WriteFileBytes(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TEST_F(MainWindowTest, FixedWindowWithItsControls) {
  MainWindow& window = Make();
  HWND main = window.Handle();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(WindowText(main), L"РазборщикЗаписей");
  const SIZE client = testing::ClientSize(main);
  EXPECT_EQ(client.cx, 234);
  EXPECT_EQ(client.cy, 101);
  const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);  // cannot be maximised
  EXPECT_EQ(style & WS_THICKFRAME, 0);   // nor resized
  EXPECT_FALSE(IsWindowVisible(main));   // until the splash is gone

  struct Place {
    int Id;
    RECT Rect;
    const wchar_t* Text;
  };
  const Place places[] = {
      {ids::kBtnConvert, {8, 8, 225, 33}, L"Открыть архив"},
      {ids::kBtnShell, {8, 40, 225, 65}, L"Запустить TrendoraStudio"},
      {ids::kGauge, {8, 72, 225, 92}, L""},
      {ids::kLabelSort, {72, 75, 178, 91}, L"Сортировка ..."},
  };
  for (const Place& place : places) {
    const RECT rect = testing::ChildRect(window.Control(place.Id));
    EXPECT_EQ(rect.left, place.Rect.left) << place.Id;
    EXPECT_EQ(rect.top, place.Rect.top) << place.Id;
    EXPECT_EQ(rect.right, place.Rect.right) << place.Id;
    EXPECT_EQ(rect.bottom, place.Rect.bottom) << place.Id;
    EXPECT_EQ(WindowText(window.Control(place.Id)), place.Text);
  }
  EXPECT_TRUE(IsWindowEnabled(window.Control(ids::kBtnConvert)));
  EXPECT_FALSE(IsWindowEnabled(window.Control(ids::kBtnShell)));
  EXPECT_FALSE(Visible(ids::kGauge));
  EXPECT_FALSE(Visible(ids::kLabelSort));
  EXPECT_FALSE(Visible(ids::kLabelPrc));
  PBRANGE range{};
  SendMessageW(window.Control(ids::kGauge), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageW(window.Control(ids::kGauge), PBM_GETPOS, 0, 0), 0);
}

TEST_F(MainWindowTest, PortMovesTheButtonGaugeAndLabels) {
  MainWindow& window = Make();
  window.SetConvertEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(window.Control(ids::kBtnConvert)));
  window.SetConvertEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(window.Control(ids::kBtnConvert)));

  window.ShowGauge(true);
  window.SetGaugePosition(37);
  EXPECT_TRUE(Visible(ids::kGauge));
  EXPECT_EQ(SendMessageW(window.Control(ids::kGauge), PBM_GETPOS, 0, 0), 37);
  window.ShowGauge(false);
  EXPECT_FALSE(Visible(ids::kGauge));
  EXPECT_EQ(SendMessageW(window.Control(ids::kGauge), PBM_GETPOS, 0, 0), 37);  // kept while hidden

  window.ShowLabelSort(true);
  EXPECT_TRUE(Visible(ids::kLabelSort));
  window.SetLabelPrc("");
  EXPECT_TRUE(Visible(ids::kLabelPrc));
  EXPECT_EQ(WindowText(window.Control(ids::kLabelPrc)), L"");
  window.SetLabelPrc("100%");
  EXPECT_EQ(WindowText(window.Control(ids::kLabelPrc)), L"100%");
  // The label grows with its text, like a label that sizes itself.
  const RECT rect = testing::ChildRect(window.Control(ids::kLabelPrc));
  EXPECT_EQ(rect.left, 192);
  EXPECT_GT(rect.right - rect.left, 13);
  window.SetLabelPrc(std::nullopt);
  EXPECT_FALSE(Visible(ids::kLabelPrc));
  window.ShowLabelSort(false);
  EXPECT_FALSE(Visible(ids::kLabelSort));
}

TEST_F(MainWindowTest, WholeConversionRunsThroughTheWindows) {
  TempFolder work;
  const std::filesystem::path archive = work.Path() / L"архив.ar4";
  WriteArchive(archive);
  const std::filesystem::path output = work.Path() / L"выход";
  const std::filesystem::path pictures = work.Path() / L"pictures";
  std::filesystem::create_directory(output);
  std::filesystem::create_directory(pictures);
  ScreenshotRecorder recorder{pictures, archive, output, 10};

  MainWindow& window = Make(&recorder);
  window.Show();
  EXPECT_TRUE(IsWindowVisible(window.Handle()));
  window.BtnConvertClick();

  EXPECT_TRUE(driver_->LastRunSucceeded());
  const std::filesystem::path folder = output / L"ARHrep" / L"VR7732-1042" / L"StandartConfig" / L"DB";
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(driver_->OutputFolder().parent_path().parent_path(), folder);
  EXPECT_TRUE(std::filesystem::exists(driver_->OutputFolder() / L"Pen.txt"));
  EXPECT_TRUE(std::filesystem::exists(driver_->OutputFolder() / L"Chan8.pen"));
  EXPECT_TRUE(std::filesystem::exists(driver_->OutputFolder() / L"All_Chan.txt"));
  // The report box, the dialog in both modes, the re-ordering question and the gauge were on the screen.
  for (const wchar_t* name : {L"report", L"interval", L"interval-range", L"question", L"progress"}) {
    const std::filesystem::path picture = pictures / (std::wstring(L"win32-") + name + L".png");
    EXPECT_TRUE(std::filesystem::exists(picture)) << picture.string();
  }
  EXPECT_TRUE(IsWindowEnabled(window.Control(ids::kBtnConvert)));
  EXPECT_FALSE(Visible(ids::kGauge));
  EXPECT_FALSE(Visible(ids::kLabelSort));
}

TEST_F(MainWindowTest, ClosingDuringAConversionWaitsForItsEnd) {
  TempFolder work;
  const std::filesystem::path archive = work.Path() / L"a.ar4";
  WriteArchive(archive);
  const std::filesystem::path pictures = work.Path() / L"pictures";
  std::filesystem::create_directory(pictures);
  std::filesystem::create_directory(work.Path() / L"out");
  ScreenshotRecorder recorder{pictures, archive, work.Path() / L"out", 10};
  MainWindow& window = Make(&recorder);
  window.Show();
  HWND main = window.Handle();
  // The close request arrives while the conversion's dialogs run their message loops.
  PostMessageW(main, WM_CLOSE, 0, 0);
  window.BtnConvertClick();
  EXPECT_TRUE(driver_->LastRunSucceeded());
  EXPECT_TRUE(IsWindow(main));
  testing::PumpMessages(100);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(window.Handle(), nullptr);
}

}  // namespace
}  // namespace ar4::win32
