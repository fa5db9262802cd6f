#pragma once
/// The conversion driver: one press of "Открыть архив" — choose an archive, read and check it, show the
/// report, build the overlap list, ask for the interval — repeated until the interval dialog is confirmed
/// or the file dialog cancelled; then the conversion run. It talks to people only through UserInterface.

#include <filesystem>
#include <string>
#include <vector>

#include "core/archive/archive_buffers.hpp"
#include "core/conversion/user_interface.hpp"
#include "core/interval/overlap.hpp"

namespace ar4 {

class OutputFileSystem;

/// What the driver keeps from one press to the next; the buffers are the process's own.
struct ConversionSettings {
  bool DetailedMode = false;                 // "/S" as the first program argument
  char DecimalSeparator = '.';               // of the listing's numbers
  std::filesystem::path ViewerDataFolder;    // empty when the viewer's data folder is unknown
  std::filesystem::path InitialFolder;       // of the file-open dialog; the folder of the last file chosen
};

/// "/S" exactly (case-sensitive) as the first argument after the program name.
bool DetailedModeFromArguments(const std::vector<std::string>& arguments_after_program);

class ConversionDriver {
 public:
  ConversionDriver(ArchiveBuffers& buffers, OutputFileSystem& file_system);

  ConversionSettings& Settings() { return settings_; }
  const IntervalList& Intervals() const { return intervals_; }

  /// One press of the open button: the loop, then the run when the interval dialog was confirmed.
  /// The button is disabled for the whole press and enabled again on every way out.
  void BtnConvertClick(UserInterface& ui);

  /// The output folder of the last run (with its trailing separator); empty when none was built.
  const std::filesystem::path& OutputFolder() const { return output_folder_; }
  /// True when the last press ended with a completed export (no folder error, no failure, no cancel).
  bool LastRunSucceeded() const { return last_run_succeeded_; }
  /// True when the last press was stopped on the front-end's request (UserInterface::CancelRequested).
  bool LastRunCancelled() const { return last_run_cancelled_; }

 private:
  ArchiveBuffers& buffers_;
  OutputFileSystem& file_system_;
  ConversionSettings settings_;
  IntervalList intervals_;
  std::filesystem::path output_folder_;
  bool last_run_succeeded_ = false;
  bool last_run_cancelled_ = false;
};

}  // namespace ar4
