#include "cli_runner.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#endif

namespace ar4::clitest {

namespace fs = std::filesystem;

bool CanSetEnvironment() {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

std::string Quoted(const fs::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

std::vector<std::string> SpecialFileArguments(const fs::path& scratch) {
#ifdef _WIN32
  (void)scratch;
  return {"NUL"};
#else
  std::vector<std::string> arguments;
  const fs::path fifo = scratch / "fifo.ar4";
  if (mkfifo(fifo.c_str(), 0600) == 0) {
    arguments.push_back(Quoted(fifo));
  } else {
    ADD_FAILURE() << "mkfifo " << fifo;
  }
  for (const char* device : {"/dev/zero", "/dev/null"}) {
    if (fs::exists(device)) arguments.push_back(device);
  }
  return arguments;
#endif
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

CliRun RunProgram(const fs::path& program, const std::string& arguments, const fs::path& scratch,
                  const std::vector<std::string>& environment, int time_limit_seconds) {
  const fs::path out = scratch / "stdout.txt";
  const fs::path err = scratch / "stderr.txt";
  std::string command;
#ifdef _WIN32
  (void)time_limit_seconds;
#else
  if (time_limit_seconds > 0) {
    // timeout(1) ends the program with SIGTERM at the limit, with SIGKILL 5 s later, and exits 124.
    command = "timeout -k 5 " + std::to_string(time_limit_seconds) + " ";
  }
#endif
  if (!environment.empty()) {
    if (!CanSetEnvironment()) {
      ADD_FAILURE() << "environment settings need a POSIX shell";
      return {};
    }
    command += "env";
    for (const std::string& setting : environment) command += " '" + setting + "'";
    command += ' ';
  }
  command += Quoted(program) + " " + arguments + " >" + Quoted(out) + " 2>" + Quoted(err);
  CliRun run;
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
  run.ExitCode = std::system(command.c_str());
  // -1 is no exit code of the program: the command processor could not be started (seen under Wine while
  // other programs start at the same time). Nothing ran, so the command is tried again.
  for (int retry = 0; retry < 2 && run.ExitCode == -1; ++retry) {
    std::fprintf(stderr, "note: the command processor did not start; trying again: %s\n", command.c_str());
    run.ExitCode = std::system(command.c_str());
  }
#else
  const int status = std::system(command.c_str());
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.TimedOut = time_limit_seconds > 0 && (run.ExitCode == 124 || run.ExitCode == 128 + SIGKILL);
#endif
  run.Out = ReadAll(out);
  run.Err = ReadAll(err);
  return run;
}

CliRun RunCli(const std::string& arguments, const fs::path& scratch, const std::vector<std::string>& environment,
              int time_limit_seconds) {
  return RunProgram(AR4_CLI_PATH, arguments, scratch, environment, time_limit_seconds);
}

ScratchFolder::ScratchFolder(const std::string& prefix) {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  path_ = fs::temp_directory_path() /
          (prefix + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "_" + std::to_string(counter++) + "_" +
           (info != nullptr ? std::string(info->test_suite_name()) + "_" + info->name() : std::string("none")));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace ar4::clitest
