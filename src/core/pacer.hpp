#pragma once
/// Lets a long loop (analysis, re-ordering, export) hand control to the front-end about every 30 ms,
/// so a window repaints and its gauge moves without slowing the loop down by a call per cell.

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace ar4 {

class Pacer {
 public:
  /// A pacer that never breathes (command line, tests).
  Pacer() = default;
  explicit Pacer(std::function<void()> breathe,
                 std::chrono::milliseconds period = std::chrono::milliseconds(30))
      : breathe_(std::move(breathe)), period_(period), last_(std::chrono::steady_clock::now()) {}

  /// One unit of work done; looks at the clock only every 1024 calls.
  void Step() {
    if (breathe_ && (++steps_ & 1023u) == 0) CheckClock();
  }
  /// Breathes now (after a phase of work, before a dialog).
  void Breathe() {
    if (breathe_) {
      breathe_();
      last_ = std::chrono::steady_clock::now();
    }
  }

 private:
  void CheckClock() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ >= period_) {
      breathe_();
      last_ = std::chrono::steady_clock::now();
    }
  }

  std::function<void()> breathe_;
  std::chrono::milliseconds period_{30};
  std::chrono::steady_clock::time_point last_{};
  std::uint32_t steps_ = 0;
};

}  // namespace ar4
