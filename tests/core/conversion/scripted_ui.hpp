#pragma once
// A UserInterface for tests: answers from a script and records everything the driver asks or shows.

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/conversion/user_interface.hpp"

namespace ar4::testing {

/// One message box as shown.
struct ShownMessage {
  std::string Text;
  MessageKind Kind;
  unsigned Buttons;
  friend bool operator==(const ShownMessage&, const ShownMessage&) = default;
};

class ScriptedUi : public UserInterface {
 public:
  // Script: what the person answers, in order.
  std::deque<std::optional<std::filesystem::path>> Files;  // file dialog answers; empty queue = cancel
  std::deque<DialogResult> Answers;                        // message box answers; empty = the set's default
  std::deque<std::optional<IntervalChoice>> Intervals;     // interval dialog answers; empty queue = cancel
  std::deque<std::optional<std::filesystem::path>> Folders;  // folder browser answers; empty = cancel

  // Record.
  std::vector<ShownMessage> Messages;
  std::vector<std::filesystem::path> DialogFolders;  // initial folder of each file dialog
  std::vector<std::vector<std::string>> IntervalItems;
  std::vector<bool> ViewerKnown;
  std::vector<bool> ConvertEnabled;  // every call of SetConvertEnabled
  std::vector<std::string> BrowsePrompts;
  std::vector<std::string> LabelPrcTexts;
  std::vector<int> GaugePositions;
  bool GaugeVisible = false;
  bool LabelSortVisible = false;
  int ProcessEventsCalls = 0;
  int CancelQuestions = 0;

  // Stopping: the person asks to stop once the gauge has reached this position; and what else happens at
  // each ProcessEvents (another program releasing a folder, say).
  std::optional<int> CancelAtGauge;
  bool CancelNow = false;
  std::function<void()> OnProcessEvents;

  std::optional<std::filesystem::path> OpenArchiveDialog(const std::filesystem::path& initial_folder) override {
    DialogFolders.push_back(initial_folder);
    if (Files.empty()) return std::nullopt;
    auto f = Files.front();
    Files.pop_front();
    return f;
  }

  DialogResult ShowMessageBox(std::string_view text, MessageKind kind, unsigned buttons_set) override {
    Messages.push_back({std::string(text), kind, buttons_set});
    if (!Answers.empty()) {
      const DialogResult r = Answers.front();
      Answers.pop_front();
      return r;
    }
    if (buttons_set & buttons::kOk) return DialogResult::kOk;
    if (buttons_set & buttons::kYes) return DialogResult::kYes;
    return DialogResult::kCancel;
  }

  std::optional<IntervalChoice> ShowIntervalDialog(const std::vector<std::string>& items,
                                                   bool viewer_data_known) override {
    IntervalItems.push_back(items);
    ViewerKnown.push_back(viewer_data_known);
    if (Intervals.empty()) return std::nullopt;
    auto c = Intervals.front();
    Intervals.pop_front();
    return c;
  }

  std::optional<std::filesystem::path> SelectDirectory(std::string_view prompt) override {
    BrowsePrompts.emplace_back(prompt);
    if (Folders.empty()) return std::nullopt;
    auto f = Folders.front();
    Folders.pop_front();
    return f;
  }

  void SetConvertEnabled(bool enabled) override { ConvertEnabled.push_back(enabled); }
  void ShowGauge(bool visible) override { GaugeVisible = visible; }
  void SetGaugePosition(int percent) override {
    GaugePositions.push_back(percent);
    if (CancelAtGauge && percent >= *CancelAtGauge) CancelNow = true;
  }
  void ShowLabelSort(bool visible) override { LabelSortVisible = visible; }
  void SetLabelPrc(std::optional<std::string_view> text) override {
    if (text) LabelPrcTexts.emplace_back(*text);
  }
  void ProcessEvents() override {
    ++ProcessEventsCalls;
    if (OnProcessEvents) OnProcessEvents();
  }
  bool CancelRequested() override {
    ++CancelQuestions;
    return CancelNow;
  }
};

}  // namespace ar4::testing
