#pragma once
/// Several archives in one call: each archive processed in turn by one process with the same buffers, its
/// output in the order given, its messages on stderr prefixed by its path when there are several, and a
/// progress line on stderr while stderr is a terminal. Shared by the commands that take ARCHIVE....

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ar4::cli {

/// The progress line: which archive of how many, its name, the phase of its work with its percent, and
/// the rate over the archives read so far. Drawn only when enabled (stderr is a terminal), redrawn in
/// place, and erased before any message and at the end, so nothing of it stays on the screen.
class ProgressLine {
 public:
  ProgressLine(std::FILE* stream, bool enabled);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool Enabled() const { return enabled_; }
  /// Archive `index` (from 0) of `count` begins; `bytes` is its size (0 when unknown).
  void BeginArchive(std::size_t index, std::size_t count, std::string_view name, std::uint64_t bytes);
  /// The current archive is done: its bytes count towards the rate.
  void EndArchive();
  /// The phase of the current archive ("export", "sorting by date") and how far it is, 0..100.
  void Show(std::string_view phase, int percent);
  /// Takes the line off the terminal; the next Show or BeginArchive draws it again.
  void Erase();

  /// The text of the line, as drawn (for tests).
  static std::string Text(std::size_t index, std::size_t count, std::string_view name, std::string_view phase,
                          int percent, double megabytes_per_second);

 private:
  void Draw();

  std::FILE* stream_;
  bool enabled_;
  std::size_t index_ = 0, count_ = 0;
  std::string name_;
  std::string phase_;
  int percent_ = -1;
  std::uint64_t current_bytes_ = 0;
  std::uint64_t done_bytes_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::size_t drawn_ = 0;  // characters on the screen now
};

/// One archive's turn, as a command sees it.
struct ArchiveTurn {
  const std::string& Archive;  // the path as given (UTF-8)
  std::size_t Index;           // from 0
  std::size_t Count;
  std::ostream& Err;           // the archive's messages: prefixed by its path when there are several
  ProgressLine& Progress;

  bool Several() const { return Count > 1; }
  /// Before the archive's output on stdout: the progress line taken off the terminal, then the line
  /// "== ARCHIVE" when there are several and `heading` is set.
  void BeginOutput(std::ostream& out, bool heading = true) const;
};

/// What a command does with one archive; returns its exit code as for a call with that archive alone.
using ArchiveAction = std::function<int(const ArchiveTurn&)>;

/// Runs `action` for every archive in the order given, also after one that failed. One archive: its exit
/// code as it is. Several: 0 when every archive succeeded, else 1.
int ForEachArchive(const std::vector<std::string>& archives, const ArchiveAction& action);

}  // namespace ar4::cli
