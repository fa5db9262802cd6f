// Several archives in one call, run as a program: the order of the output, a failing archive among good
// ones, the exit codes, and the progress line on a pseudo-terminal.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_runner.hpp"

namespace {

namespace fs = std::filesystem;
using ar4::clitest::CliRun;
using ar4::clitest::Quoted;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ArchiveBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(AR4_CLI_PATH)) << "build the ar4conv target first";
    // Three instruments under names of our own; "missing.ar4" is never written.
    for (const auto& [sample, name] : {std::pair{"vr7733.ar4", "c.ar4"}, std::pair{"vr7731.ar4", "a.ar4"},
                                       std::pair{"grv300.ar4", "b.ar4"}}) {
      fs::copy_file(fs::path(AR4_SOURCE_DIR) / "samples" / sample, Dir() / name);
    }
    fs::create_directory(out_);
  }
  const fs::path& Dir() const { return scratch_.Path(); }
  std::string Arg(const char* name) const { return Quoted(Dir() / name); }
  CliRun Run(const std::string& arguments) { return ar4::clitest::RunCli(arguments, Dir()); }

  ar4::clitest::ScratchFolder scratch_{"ar4conv_batch_test_"};
  fs::path out_ = scratch_.Path() / "out";
};

TEST_F(ArchiveBatchTest, ConvertPrintsTheFoldersInTheOrderGivenAndGoesOnAfterAFailure) {
  const CliRun run = Run("convert " + Arg("c.ar4") + " " + Arg("missing.ar4") + " " + Arg("a.ar4") + " " +
                         Arg("b.ar4") + " --out " + Quoted(out_) + " --from 2000-01-01");
  EXPECT_EQ(run.ExitCode, 1);
  const std::vector<std::string> folders = Lines(run.Out);
  ASSERT_EQ(folders.size(), 3u) << run.Out;
  EXPECT_NE(folders[0].find("VR7733-"), std::string::npos);
  EXPECT_NE(folders[1].find("VR7731-"), std::string::npos);
  EXPECT_NE(folders[2].find("GRV 300-"), std::string::npos);
  for (const std::string& folder : folders) EXPECT_TRUE(fs::exists(fs::path(folder) / "All_Chan.txt")) << folder;
  // The failure and the overlap warnings of the good archives, each after its archive's path.
  const std::string missing = (Dir() / "missing.ar4").string() + ": Ошибки\n";
  EXPECT_NE(run.Err.find(missing), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find((Dir() / "a.ar4").string() + ": Количество перекрытий по времени : "), std::string::npos)
      << run.Err;
  // Nothing but the messages: no progress line when stderr is not a terminal.
  EXPECT_EQ(run.Err.find('\r'), std::string::npos);

  // All good: exit 0, the same folders again.
  const CliRun good = Run("convert " + Arg("c.ar4") + " " + Arg("a.ar4") + " " + Arg("b.ar4") + " --out " +
                          Quoted(out_) + " --from 2000-01-01");
  EXPECT_EQ(good.ExitCode, 0) << good.Err;
  EXPECT_EQ(Lines(good.Out), folders);
}

TEST_F(ArchiveBatchTest, UsageErrorsComeBeforeAnythingIsWrittenAndRunBeyondTheListFailsOneArchive) {
  const std::string archives = Arg("a.ar4") + " " + Arg("b.ar4");
  for (const std::string& options : {std::string(" --from 2014-13-01"), std::string(" --run 1 --sort"),
                                     std::string(" --decimal-separator ab")}) {
    SCOPED_TRACE(options);
    const CliRun run = Run("convert " + archives + " --out " + Quoted(out_) + options);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Out.empty());
  }
  EXPECT_TRUE(fs::is_empty(out_));

  // --run 3 is beyond the list of both samples (two runs each): alone a usage error, among several a
  // failure of each archive, with its path in front of the message.
  const CliRun alone = Run("convert " + Arg("a.ar4") + " --out " + Quoted(out_) + " --run 3");
  EXPECT_EQ(alone.ExitCode, 2);
  EXPECT_EQ(alone.Err.rfind("ar4conv: --run 3: ", 0), 0u) << alone.Err;
  const CliRun several = Run("convert " + archives + " --out " + Quoted(out_) + " --run 3");
  EXPECT_EQ(several.ExitCode, 1);
  EXPECT_TRUE(several.Out.empty());
  EXPECT_EQ(several.Err.rfind((Dir() / "a.ar4").string() + ": --run 3: ", 0), 0u) << several.Err;
  EXPECT_NE(several.Err.find((Dir() / "b.ar4").string() + ": --run 3: "), std::string::npos) << several.Err;
}

TEST_F(ArchiveBatchTest, ReportAndRunsOfSeveralArchives) {
  // --json: one object a line, in the order given; the rejected file's message on stderr.
  fs::copy_file(fs::path(AR4_SOURCE_DIR) / "README.md", Dir() / "text.ar4");
  const CliRun json = Run("report --json " + Arg("b.ar4") + " " + Arg("text.ar4") + " " + Arg("c.ar4"));
  EXPECT_EQ(json.ExitCode, 1);
  const std::vector<std::string> objects = Lines(json.Out);
  ASSERT_EQ(objects.size(), 2u) << json.Out;
  EXPECT_EQ(nlohmann::json::parse(objects[0])["DeviceType"], 89);
  EXPECT_EQ(nlohmann::json::parse(objects[1])["DeviceType"], 75);
  EXPECT_EQ(json.Err, (Dir() / "text.ar4").string() + ": Ошибочный формат файла\n");

  // Text: each archive's output after its "==" line; alone, exactly the output of one call.
  const CliRun runs = Run("runs " + Arg("a.ar4") + " " + Arg("b.ar4"));
  EXPECT_EQ(runs.ExitCode, 0) << runs.Err;
  const CliRun a = Run("runs " + Arg("a.ar4"));
  const CliRun b = Run("runs " + Arg("b.ar4"));
  EXPECT_EQ(runs.Out, "== " + (Dir() / "a.ar4").string() + "\n" + a.Out + "== " + (Dir() / "b.ar4").string() +
                          "\n" + b.Out);
  EXPECT_TRUE(runs.Err.empty());
  const CliRun report = Run("report " + Arg("c.ar4") + " " + Arg("a.ar4"));
  EXPECT_EQ(report.ExitCode, 0);
  EXPECT_EQ(report.Out, "== " + (Dir() / "c.ar4").string() + "\n" + Run("report " + Arg("c.ar4")).Out + "== " +
                            (Dir() / "a.ar4").string() + "\n" + Run("report " + Arg("a.ar4")).Out);
}

#ifndef _WIN32
TEST_F(ArchiveBatchTest, ProgressLineOnATerminalIsRedrawnAndErased) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a pseudo-terminal";
  // script(1) runs the call on a pseudo-terminal and copies what the terminal received.
  const fs::path typescript = Dir() / "typescript.txt";
  const std::string call = Quoted(AR4_CLI_PATH) + " convert " + Arg("a.ar4") + " " + Arg("b.ar4") + " --out " +
                           Quoted(out_) + " --from 2000-01-01";
  const std::string command = "script -qec '" + call + "' /dev/null >" + Quoted(typescript) + " 2>&1 </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string screen = ar4::clitest::ReadAll(typescript);
  const std::size_t first = screen.find("\rarchive 1 of 2, a.ar4");
  const std::size_t second = screen.find("\rarchive 2 of 2, b.ar4");
  ASSERT_NE(first, std::string::npos) << screen;
  ASSERT_NE(second, std::string::npos) << screen;
  EXPECT_LT(first, second);
  EXPECT_NE(screen.find(", a.ar4: export 100 %"), std::string::npos) << screen;
  // Erased before each folder is printed and at the end: blanks between two returns after the last
  // drawing, and each folder at the start of a line.
  const std::size_t last_draw = screen.rfind("\rarchive ");
  const std::size_t erased = screen.find_first_not_of(' ', screen.find('\r', last_draw + 1) + 1);
  ASSERT_NE(erased, std::string::npos);
  EXPECT_EQ(screen[erased], '\r');
  for (const char* device : {"/ARHrep/VR7731-", "/ARHrep/GRV 300-"}) {
    const std::size_t folder = screen.find(out_.string() + device);
    ASSERT_NE(folder, std::string::npos) << screen;
    EXPECT_TRUE(screen[folder - 1] == '\r' || screen[folder - 1] == '\n') << screen;
  }
}
#endif

}  // namespace
