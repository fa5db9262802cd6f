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
};

/// True when RunCli can give the program its own environment variables (POSIX shells only).
bool CanSetEnvironment();

/// Runs `program` with `arguments` (a command-line text, paths already quoted) and the extra
/// `environment` settings ("NAME=value"), catching stdout and stderr in files of `scratch`.
CliRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                  const std::filesystem::path& scratch, const std::vector<std::string>& environment = {});

/// `ar4conv ARGUMENTS`.
CliRun RunCli(const std::string& arguments, const std::filesystem::path& scratch,
              const std::vector<std::string>& environment = {});

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
