#pragma once
// Running the built ar4conv as a program: stdout and stderr caught in files, the exit code decoded, and
// a scratch folder per test for archives and outputs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ar4::clitest {

struct CliRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
  /// The program was still running after its time limit and was killed.
  bool TimedOut = false;
};

/// The time limit of a program that must not block (a FIFO or a device given as a file): long enough for
/// a loaded machine and the sanitizers, short against "for ever".
inline constexpr int kNoBlockingSeconds = 20;

/// True when RunCli can give the program its own environment variables (POSIX shells only).
bool CanSetEnvironment();

/// Runs `program` with `arguments` (a command-line text, paths already quoted) and the extra
/// `environment` settings ("NAME=value"), catching stdout and stderr in files of `scratch`. With a
/// `time_limit_seconds` above 0 the program is killed when it runs longer (TimedOut); on Windows the limit
/// is not applied (the test program's own time limit is the only one there).
CliRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                  const std::filesystem::path& scratch, const std::vector<std::string>& environment = {},
                  int time_limit_seconds = 0);

/// `ar4conv ARGUMENTS`.
CliRun RunCli(const std::string& arguments, const std::filesystem::path& scratch,
              const std::vector<std::string>& environment = {}, int time_limit_seconds = 0);

/// Command-line arguments that name something other than a regular file, to be refused without blocking:
/// a FIFO without a writer (made in `scratch`), /dev/zero and /dev/null; on Windows "NUL".
std::vector<std::string> SpecialFileArguments(const std::filesystem::path& scratch);

/// A path in double quotes for the command line.
std::string Quoted(const std::filesystem::path& path);

std::string ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

/// A fresh folder under the temporary folder, named after the running test; removed at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace ar4::clitest
