#include "cli/interrupt.hpp"

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace ar4::cli {
namespace {

// A signal handler can only reach state of the process: the one signal noted, written by the handler and
// read by the conversion's breaths.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event) {
  const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
  int none = 0;
  if (!g_signal.compare_exchange_strong(none, signal)) return FALSE;  // the second one ends the program
  return TRUE;
}
#else
extern "C" void OnSignal(int signal) { g_signal.store(signal); }

struct sigaction g_previous_int {};
struct sigaction g_previous_term {};
#endif

}  // namespace

InterruptWatch::InterruptWatch() {
  g_signal.store(0);
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // The handler is used once: a second signal has the default effect and ends the program at once.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
#endif
}

InterruptWatch::~InterruptWatch() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
#endif
}

int InterruptWatch::Signal() const { return g_signal.load(); }

int InterruptedExitCode(int signal) { return 128 + signal; }

int ReportInterrupted(int signal) {
  std::fprintf(stderr, "ar4conv: interrupted by %s; the output files are as they were before\n",
               signal == SIGINT ? "SIGINT" : "SIGTERM");
  return InterruptedExitCode(signal);
}

}  // namespace ar4::cli
