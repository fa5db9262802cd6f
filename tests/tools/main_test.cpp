// The ar4gen command: its options reach the generator unchanged, and its exit codes.

#include <gtest/gtest.h>

#ifndef _WIN32  // the command is run through a POSIX shell
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ar4gen/generator.hpp"

namespace {

namespace fs = std::filesystem;

class Ar4genCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(AR4_GEN_PATH)) << "build the ar4gen target first";
    dir_ = fs::temp_directory_path() /
           ("ar4gen_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  /// Runs ar4gen with the arguments, output silenced; gives its exit code.
  int Run(const std::string& args) {
    const std::string command = std::string("'") + AR4_GEN_PATH + "' " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::uint8_t> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

TEST_F(Ar4genCommandTest, OptionsReachTheGenerator) {
  const fs::path out = dir_ / "a.ar4";
  ASSERT_EQ(Run("-o '" + out.string() +
                "' --type 89 --pages 7 --seed 9 --wrap-slot 5 --filled 17 --first-stamp 2016-02-28T23:00:00"
                " --step 30 --setbacks 2 --damage-marker 0.1 --damage-length 0.05 --damage-checksum 0.2"
                " --zero-stamps 0.1 --ones-stamps 0.15 --equal-stamps 0.2 --flagged 0.3 --special 0.25"
                " --samples 4 --sample-interval 0 --serial 4000000000 --created 0xFFFFFFFF"
                " --firmware-count 4 --format-version 513 --size-low 200 --size-high 77 --bad-signature"
                " --tail 19"),
            0);
  ar4gen::GeneratorOptions o;
  o.Header.DeviceType = 89;
  o.Header.PageCount = 7;
  o.Seed = 9;
  o.WrapSlot = 5;
  o.FilledCells = 17;
  o.FirstStamp = *ar4gen::ParseStampText("2016-02-28T23:00:00");
  o.StepSeconds = 30;
  o.SetBacks = 2;
  o.MarkerDamage = 0.1;
  o.LengthDamage = 0.05;
  o.ChecksumDamage = 0.2;
  o.ZeroStamps = 0.1;
  o.AllOnesStamps = 0.15;
  o.EqualStamps = 0.2;
  o.FlaggedChannels = 0.3;
  o.SpecialValues = 0.25;
  o.Samples = 4;
  o.SampleInterval = 0;
  o.Header.SerialNumber = 4000000000u;
  o.Header.CreationDate = 0xFFFFFFFFu;
  o.Header.FirmwareCount = 4;
  o.Header.FormatVersion = 513;
  o.Header.SizeLowByte = 200;
  o.Header.SizeHigh = 77;
  o.Header.BadSignature = true;
  o.FileTailBytes = 19;
  EXPECT_EQ(Read(out), ar4gen::GenerateArchive(o));
}

TEST_F(Ar4genCommandTest, DefaultsAreSixteenPagesOfType73) {
  const fs::path out = dir_ / "d.ar4";
  ASSERT_EQ(Run("-o '" + out.string() + "'"), 0);
  ar4gen::GeneratorOptions o;
  o.Header.PageCount = 16;
  o.Header.CreationDate = 0x38000000;
  EXPECT_EQ(Read(out), ar4gen::GenerateArchive(o));
}

TEST_F(Ar4genCommandTest, UsageErrorsExitWithTwo) {
  const std::string out = " -o '" + (dir_ / "u.ar4").string() + "'";
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_EQ(Run(""), 2);  // -o is required
  EXPECT_EQ(Run(out + " --no-such-option"), 2);
  EXPECT_EQ(Run(out + " --type 65536"), 2);
  EXPECT_EQ(Run(out + " --pages 16777216"), 2);
  EXPECT_EQ(Run(out + " --flagged 1.5"), 2);
  EXPECT_EQ(Run(out + " --samples 17"), 2);
  EXPECT_EQ(Run(out + " --sample-interval 256"), 2);
  EXPECT_EQ(Run(out + " --first-stamp 2014-13-01"), 2);
  EXPECT_EQ(Run(out + " --created yesterday"), 2);
  EXPECT_FALSE(fs::exists(dir_ / "u.ar4"));
}

TEST_F(Ar4genCommandTest, UnwritableOutputExitsWithOne) {
  EXPECT_EQ(Run("-o '" + (dir_ / "missing" / "x.ar4").string() + "'"), 1);
}

}  // namespace

#endif  // _WIN32
