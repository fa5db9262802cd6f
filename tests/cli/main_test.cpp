// ar4conv as a whole program: what every command shares (the help and version output, a failure that no
// command foresaw).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "ar4gen/generator.hpp"
#include "cli_runner.hpp"

namespace {

namespace fs = std::filesystem;
using ar4::clitest::Quoted;
using ar4::clitest::ReadAll;

#ifndef _WIN32
/// Runs a shell command line and returns the program's exit code (-1 when it did not exit).
int ExitCodeOf(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliProgramTest, HelpAndVersionThatCannotBeWrittenAreFailures) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ar4::clitest::ScratchFolder scratch("ar4conv_main_test_");
  const fs::path err = scratch.Path() / "err.txt";
  for (const char* arguments : {"--help", "--version", "report --help", "convert --help"}) {
    SCOPED_TRACE(arguments);
    EXPECT_EQ(ExitCodeOf(Quoted(AR4_CLI_PATH) + " " + arguments + " >/dev/null"), 0);
    EXPECT_EQ(ExitCodeOf(Quoted(AR4_CLI_PATH) + " " + arguments + " >/dev/full 2>" + Quoted(err)), 1);
    EXPECT_EQ(ReadAll(err), "ar4conv: the standard output could not be written\n");
  }
}

// The sanitizers reserve far more address space than any limit below.
#if defined(__SANITIZE_ADDRESS__)
#define AR4_ADDRESS_SPACE_IS_RESERVED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AR4_ADDRESS_SPACE_IS_RESERVED 1
#endif
#endif

TEST(CliProgramTest, AnExceptionNoCommandCaughtIsAFailureWithTheMessageNotAnAbort) {
#ifdef AR4_ADDRESS_SPACE_IS_RESERVED
  GTEST_SKIP() << "an address-space limit and the address sanitizer do not go together";
#else
  // With 24 MB of address space the program starts, but the 64 MiB of archive buffers cannot be had.
  ar4::clitest::ScratchFolder scratch("ar4conv_main_test_");
  const fs::path archive = scratch.Path() / "a.ar4";
  ar4gen::GeneratorOptions options;
  options.Header.PageCount = 4;
  ar4::clitest::WriteAll(archive, ar4gen::GenerateArchive(options));
  const std::string limited = "ulimit -v 24000 && exec " + Quoted(AR4_CLI_PATH);
  if (ExitCodeOf("(" + limited + " --version) >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the program does not start in 24 MB of address space here";
  }
  const fs::path err = scratch.Path() / "err.txt";
  for (const char* command : {"report", "runs", "convert"}) {
    SCOPED_TRACE(command);
    const std::string target = std::string(command) == "convert" ? " --out " + Quoted(scratch.Path()) : "";
    EXPECT_EQ(ExitCodeOf("(" + limited + " " + command + " " + Quoted(archive) + target + ") >/dev/null 2>" +
                         Quoted(err)),
              1);
    EXPECT_EQ(ReadAll(err).rfind("Ошибки\n", 0), 0u) << ReadAll(err);
  }
#endif
}
#endif

}  // namespace
