// Times one full-size conversion through the window program's main window, from the folder confirmed to
// the gauge hidden again, against the whole process `ar4conv convert` of the same archive, in turns in the
// same run. The window is the program's own TFormConvert with its gauge, labels and event processing; only
// the person is replaced: the archive, the report, the interval dialog (date range over the whole ring)
// and the folder are answered at once. Also prints the same part of the conversion without a window
// (the driver with a front-end that draws nothing), and the longest pause between two turns of the
// window's event processing during the export, which is what keeps it repainting and movable.
// Target: the window program within 10 % of ar4conv convert.
//
// Usage: gui_bench ARCHIVE OUTPUT-FOLDER AR4CONV [RUNS]   (QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "core/archive/archive_buffers.hpp"
#include "core/conversion/driver.hpp"
#include "core/conversion/user_interface.hpp"
#include "core/export/file_system.hpp"
#include "gui/form_convert.hpp"
#include "gui/form_date_select.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

/// Answers the driver as a person who confirms everything at once would; the window's own parts (gauge,
/// labels, event processing) are the form's, when there is one.
class TimedUi final : public ar4::UserInterface {
 public:
  TimedUi(ar4::TFormConvert* form, std::filesystem::path archive, std::filesystem::path out)
      : form_(form), archive_(std::move(archive)), out_(std::move(out)) {}

  double Elapsed() const { return Seconds(stop_ - start_); }
  double LongestPause() const { return Seconds(longest_pause_); }

  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path&) override {
    if (given_) return std::nullopt;
    given_ = true;
    return archive_;
  }
  ar4::DialogResult ShowMessageBox(std::string_view text, ar4::MessageKind, unsigned buttons_set) override {
    if (buttons_set == ar4::buttons::kOkCancel) return ar4::DialogResult::kOk;
    if (buttons_set == ar4::buttons::kYesNo) return ar4::DialogResult::kNo;
    if (text.find("Ошибк") != std::string_view::npos) failed_ = true;
    return buttons_set == ar4::buttons::kOkOnly ? ar4::DialogResult::kOk : ar4::DialogResult::kCancel;
  }
  std::optional<ar4::IntervalChoice> ShowIntervalDialog(const std::vector<std::string>&, bool) override {
    ar4::IntervalChoice choice;
    choice.SelectInterval = 1;
    choice.From = ar4::DialogDate{1, 1, 2000};
    choice.To = ar4::DialogDate{31, 12, 2063};
    choice.SelectDir = 0;
    return choice;
  }
  std::optional<std::filesystem::path> SelectDirectory(std::string_view) override {
    start_ = Clock::now();  // the folder is confirmed
    last_events_ = start_;
    timing_ = true;
    return out_;
  }
  void SetConvertEnabled(bool enabled) override {
    if (form_ != nullptr) form_->SetConvertEnabled(enabled);
  }
  void ShowGauge(bool visible) override {
    if (form_ != nullptr) form_->ShowGauge(visible);
    if (!visible && timing_) {
      stop_ = Clock::now();  // the gauge is hidden: the export is over
      timing_ = false;
    }
  }
  void SetGaugePosition(int percent) override {
    if (form_ != nullptr) form_->SetGaugePosition(percent);
  }
  void ShowLabelSort(bool visible) override {
    if (form_ != nullptr) form_->ShowLabelSort(visible);
  }
  void SetLabelPrc(std::optional<std::string_view> text) override {
    if (form_ != nullptr) form_->SetLabelPrc(text);
  }
  void ProcessEvents() override {
    if (timing_) {
      const Clock::time_point now = Clock::now();
      longest_pause_ = std::max(longest_pause_, now - last_events_);
      last_events_ = now;
    }
    if (form_ != nullptr) form_->ProcessEvents();
  }
  bool Failed() const { return failed_; }

 private:
  ar4::TFormConvert* form_;
  std::filesystem::path archive_, out_;
  bool given_ = false, timing_ = false, failed_ = false;
  Clock::time_point start_{}, stop_{}, last_events_{};
  Clock::duration longest_pause_{};
};

/// The whole process `ar4conv convert ARCHIVE --out OUT --from 2000-01-01`, its output thrown away.
double TimeCli(const std::string& cli, const std::string& archive, const std::string& out) {
  std::vector<std::string> words = {cli, "convert", archive, "--out", out, "--from", "2000-01-01"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "gui_bench: cannot start %s\n", cli.c_str());
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = Seconds(Clock::now() - start);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "gui_bench: ar4conv convert failed\n");
    std::exit(1);
  }
  return seconds;
}

struct Figures {
  std::vector<double> Values;
  void Add(double v) { Values.push_back(v); }
  double Median() const {
    std::vector<double> v = Values;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double Min() const { return *std::min_element(Values.begin(), Values.end()); }
  double Max() const { return *std::max_element(Values.begin(), Values.end()); }
};

void Print(const char* label, const Figures& f) {
  std::printf("  %-50s %7.1f ms  (%.1f–%.1f)\n", label, f.Median() * 1000, f.Min() * 1000, f.Max() * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: gui_bench ARCHIVE OUTPUT-FOLDER AR4CONV [RUNS]\n");
    return 2;
  }
  const std::filesystem::path archive = argv[1];
  const std::filesystem::path out = argv[2];
  const std::string cli = argv[3];
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  std::filesystem::create_directories(out);

  // The buffers, the file system and the driver of the process, created once, as the program does.
  ar4::ArchiveBuffers buffers;
  ar4::DiskFileSystem file_system;
  ar4::ConversionDriver driver(buffers, file_system);
  ar4::TFormConvert form(driver.Settings());
  ar4::TFormDateSelect date_select(&form);
  form.AttachDateSelect(&date_select);
  form.show();
  QCoreApplication::processEvents();
  driver.Settings().ViewerDataFolder.clear();  // a folder is chosen every time

  Figures window, headless, whole, pauses;
  const auto clear = [&] { std::filesystem::remove_all(out / "ARHrep"); };
  for (int i = 0; i <= runs; ++i) {  // the first round warms the caches and is not counted
    clear();
    TimedUi with_window(&form, archive, out);
    driver.BtnConvertClick(with_window);
    clear();
    TimedUi without(nullptr, archive, out);
    driver.BtnConvertClick(without);
    clear();
    const double cli_seconds = TimeCli(cli, archive.string(), out.string());
    if (with_window.Failed() || without.Failed() || !driver.LastRunSucceeded()) {
      std::fprintf(stderr, "gui_bench: the conversion failed\n");
      return 1;
    }
    if (i == 0) continue;
    window.Add(with_window.Elapsed());
    headless.Add(without.Elapsed());
    whole.Add(cli_seconds);
    pauses.Add(with_window.LongestPause());
  }
  clear();
  Print("ar4conv convert (whole process)", whole);
  Print("window program, folder confirmed to gauge hidden", window);
  Print("the same without a window", headless);
  std::printf("  window program / ar4conv convert: %.2f (target at most 1.10); longest pause between two turns of\n"
              "  the window's event processing during the export: %.0f ms (median), %.0f ms (worst)\n",
              window.Median() / whole.Median(), pauses.Median() * 1000, pauses.Max() * 1000);
  return 0;
}
