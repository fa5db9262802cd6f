// ar4conv convert against other processes: interrupted by SIGINT or SIGTERM, and two conversions into the
// same folder at once. Each case runs the program as a real process next to this one (POSIX only).

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli_runner.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ar4::clitest::ReadAll;

/// The output folder of the generated type-73 archives (serial 1042, created 2014-01-01 00:00).
fs::path OutputFolder(const fs::path& out) {
  return out / "ARHrep" / "VR7731-1042" / "StandartConfig" / "DB" / "140101000000";
}

/// A file's size and a 64-bit FNV-1a hash of its bytes, read in pieces (the files run to hundreds of MB).
std::string Fingerprint(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> piece(1 << 20);
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::uint64_t size = 0;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    const auto count = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ static_cast<unsigned char>(piece[i])) * 0x100000001b3ull;
    size += count;
  }
  return std::to_string(size) + ":" + std::to_string(hash);
}

/// The names of every entry of a folder with their fingerprints.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = Fingerprint(entry.path());
  }
  return files;
}

/// ar4conv started in the background, its output in files of `scratch`.
class Conversion {
 public:
  Conversion(const fs::path& archive, const fs::path& out, const fs::path& scratch, const std::string& name)
      : Conversion({"convert", archive.string(), "--out", out.string()}, scratch, name) {}
  /// Any command of the program, with these arguments.
  Conversion(std::vector<std::string> arguments, const fs::path& scratch, const std::string& name)
      : out_path_(scratch / (name + ".out")), err_path_(scratch / (name + ".err")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words = {AR4_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, AR4_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;
  ~Conversion() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }

  pid_t Pid() const { return pid_; }
  void Signal(int signal) const { kill(pid_, signal); }
  /// Waits for the end; the exit code, or -1 when a signal ended the program.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Err() const { return ReadAll(err_path_); }

  /// True while the program has `folder` open (the lock it waits for or holds).
  bool HasOpen(const fs::path& folder) const {
    std::error_code error;
    const fs::path wanted = fs::canonical(folder, error);
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
      std::error_code link_error;
      if (fs::read_symlink(entry.path(), link_error) == wanted) return true;
    }
    return false;
  }

 private:
  fs::path out_path_;
  fs::path err_path_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

/// Holds the lock of a folder as another conversion would.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(flock(fd_, LOCK_EX), 0);
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  ~HeldLock() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

/// Waits until `condition` holds (at most about 60 s; the test harness's timeout is the real limit).
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 60000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

bool HasTemporaries(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().ends_with(".ar4tmp")) return true;
  }
  return false;
}

class ConcurrentConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first";
    out_ = Dir() / "out";
    fs::create_directories(out_);
  }
  const fs::path& Dir() const { return scratch_.Path(); }

  /// A generated type-73 archive (same instrument and creation date whatever the seed).
  fs::path Generate(const std::string& name, unsigned pages, unsigned seed) {
    const fs::path file = Dir() / name;
    const std::string command = std::string("\"") + AR4_GEN_PATH + "\" -o \"" + file.string() +
                                "\" --type 73 --pages " + std::to_string(pages) + " --seed " +
                                std::to_string(seed) + " --setbacks 0";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return file;
  }

  /// The files a conversion of `archive` writes, from a folder of their own.
  std::map<std::string, std::string> Reference(const fs::path& archive) {
    const fs::path out = Dir() / ("reference-" + archive.stem().string());
    fs::create_directories(out);
    Conversion run(archive, out, Dir(), "reference");
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    auto files = Snapshot(OutputFolder(out));
    fs::remove_all(out);
    return files;
  }

  /// Converts `archive` into out_ and returns the folder's files.
  std::map<std::string, std::string> ConvertFirst(const fs::path& archive) {
    Conversion run(archive, out_, Dir(), "first");
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    return Snapshot(OutputFolder(out_));
  }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_concurrent_test_"};
  fs::path out_;
};

TEST_F(ConcurrentConvertTest, ASignalWhileWaitingForTheFolderLeavesTheEarlierFiles) {
  const auto before = ConvertFirst(Generate("small.ar4", 4, 1));
  const fs::path large = Generate("large.ar4", 256, 2);
  const fs::path folder = OutputFolder(out_);
  for (const auto& [signal, code, name] :
       {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(name);
    HeldLock other(folder);
    Conversion run(large, out_, Dir(), "second");
    ASSERT_TRUE(Eventually([&] { return run.HasOpen(folder); }));  // it waits for the folder
    run.Signal(signal);
    EXPECT_EQ(run.Wait(), code);
    EXPECT_EQ(run.Err(), std::string("ar4conv: interrupted by ") + name +
                             "; the output files are as they were before\n");
    EXPECT_EQ(Snapshot(folder), before);
  }
}

TEST_F(ConcurrentConvertTest, ASignalDuringTheExportLeavesTheEarlierOrTheNewFilesNeverAMix) {
  const auto before = ConvertFirst(Generate("small.ar4", 4, 1));
  const fs::path large = Generate("large.ar4", 131072, 2);  // 311 MB of output
  const auto after = Reference(large);
  const fs::path folder = OutputFolder(out_);
  Conversion run(large, out_, Dir(), "second");
  // The export has begun when its first temporary file is there.
  ASSERT_TRUE(Eventually([&] { return fs::exists(folder / ".All_Chan.txt.ar4tmp"); }));
  run.Signal(SIGINT);
  const int code = run.Wait();
  // Stopped in time (nearly always), or finished before the signal was seen: never a mix.
  ASSERT_TRUE(code == 130 || code == 0) << code << run.Err();
  EXPECT_FALSE(HasTemporaries(folder));
  if (code == 130) {
    EXPECT_EQ(Snapshot(folder), before);
  } else {
    std::printf("note: the conversion ended before it saw the signal\n");
    EXPECT_EQ(Snapshot(folder), after);
  }
}

TEST_F(ConcurrentConvertTest, ASignalDuringATableLeavesTheEarlierFileAndNoTemporaryName) {
  const fs::path small = Generate("small.ar4", 4, 1);
  const fs::path large = Generate("large.ar4", 131072, 2);  // a workbook of 1.18 million rows: many seconds
  const fs::path folder = Dir() / "tables";
  fs::create_directories(folder);
  const fs::path table = folder / "t.xlsx";
  {
    Conversion first({"table", small.string(), "-o", table.string()}, Dir(), "first-table");
    ASSERT_EQ(first.Wait(), 0) << first.Err();
  }
  const auto before = Snapshot(folder);
  for (const auto& [signal, code, name] :
       {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(name);
    Conversion run({"table", large.string(), "-o", table.string()}, Dir(), "table");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // well inside the walk of the rows
    run.Signal(signal);
    EXPECT_EQ(run.Wait(), code);
    EXPECT_EQ(run.Err(), std::string("ar4conv: interrupted by ") + name +
                             "; the output files are as they were before\n");
    EXPECT_EQ(Snapshot(folder), before);  // the earlier table as it was, no temporary name beside it
  }
}

TEST_F(ConcurrentConvertTest, ASecondConversionIntoTheFolderWaitsForTheFirst) {
  const auto before = ConvertFirst(Generate("small.ar4", 4, 1));
  const fs::path large = Generate("large.ar4", 256, 2);
  const auto after = Reference(large);
  const fs::path folder = OutputFolder(out_);
  HeldLock other(folder);
  Conversion run(large, out_, Dir(), "second");
  ASSERT_TRUE(Eventually([&] { return run.HasOpen(folder); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Snapshot(folder), before);  // nothing written while the other one holds the folder
  other.Release();
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  EXPECT_EQ(Snapshot(folder), after);
}

TEST_F(ConcurrentConvertTest, TwoConversionsAtOnceLeaveTheFilesOfOneOfThem) {
  ConvertFirst(Generate("small.ar4", 4, 1));
  // Different sizes, the larger one started first: without the lock the smaller one truncates the files
  // the larger one is writing, which leaves holes and tails of the other.
  const fs::path one = Generate("one.ar4", 65536, 2);
  const fs::path two = Generate("two.ar4", 16384, 3);
  const auto files_one = Reference(one);
  const auto files_two = Reference(two);
  Conversion first(one, out_, Dir(), "one");
  Conversion second(two, out_, Dir(), "two");
  EXPECT_EQ(first.Wait(), 0) << first.Err();
  EXPECT_EQ(second.Wait(), 0) << second.Err();
  const auto files = Snapshot(OutputFolder(out_));
  EXPECT_TRUE(files == files_one || files == files_two);
}

}  // namespace
#endif
