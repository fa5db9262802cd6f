#pragma once
/// SIGINT and SIGTERM (on the Windows console Ctrl+C, Ctrl+Break and closing the window) while a conversion
/// runs: the first one is noted, and the conversion stops at its next breath, removes its temporary files
/// and leaves the output folder as it was; a second one ends the program at once.

namespace ar4::cli {

/// Watches for the two signals while it lives; the previous handling is restored afterwards.
class InterruptWatch {
 public:
  InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;
  ~InterruptWatch();

  /// The signal received (SIGINT or SIGTERM), 0 while none.
  int Signal() const;
};

/// The exit code of a program stopped by `signal`: 128 + its number (130 for SIGINT, 143 for SIGTERM).
int InterruptedExitCode(int signal);

/// "ar4conv: interrupted by SIGINT; ..." printed on stderr; returns InterruptedExitCode(signal).
int ReportInterrupted(int signal);

}  // namespace ar4::cli
