#include "core/export/file_system.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/export/export_walk.hpp"
#include "core/export/folders.hpp"
#include "core/export/memory_file_system.hpp"
#include "export_test_support.hpp"
#include "temp_folder.hpp"

namespace ar4 {
namespace {

using test::ChannelCell;
using test::Ring;
using test::Stamp;
using test::TempFolder;
using test::WholeRing;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DiskFileSystem, CreatesOneLevelOnly) {
  TempFolder temp;
  DiskFileSystem fs;
  EXPECT_TRUE(fs.IsDirectory(temp.Path()));
  EXPECT_FALSE(fs.CreateFolder(temp.Path() / "a" / "b"));  // the parent is missing
  EXPECT_FALSE(fs.IsDirectory(temp.Path() / "a"));
  EXPECT_TRUE(fs.CreateFolder(temp.Path() / "a"));
  EXPECT_TRUE(fs.CreateFolder(temp.Path() / "a" / "b"));
  std::ofstream(temp.Path() / "file") << "x";
  EXPECT_FALSE(fs.IsDirectory(temp.Path() / "file"));
  EXPECT_FALSE(fs.CreateFolder(temp.Path() / "file"));
}

TEST(DiskFileSystem, WritesReplaceAnEarlierFile) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto path = temp.Path() / PathFromUtf8("Файл.txt");
  std::ofstream(path) << "an older and longer content";
  auto file = fs.CreateOutputFile(path);
  file->Write("abc", 3);
  file->Write("", 0);
  file->Close();
  EXPECT_EQ(ReadAll(path), "abc");
  EXPECT_THROW(fs.CreateOutputFile(temp.Path() / "missing" / "x.txt"), ExportError);
}

TEST(DiskFileSystem, FullDiskIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  DiskFileSystem fs;
  auto file = fs.CreateOutputFile("/dev/full");
  EXPECT_THROW(file->Write("abc", 3), ExportError);
  EXPECT_THROW(file->Close(), ExportError);  // the failed write is reported again, and the file is closed
  file->Close();
}

TEST(DiskFileSystem, ExportOntoAFullDiskThrows) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempFolder temp;
  std::filesystem::create_symlink("/dev/full", temp.Path() / "Chan1.pen");
  Ring ring(73, 4);
  ring.FillRising(Stamp(2014, 1, 1));
  DiskFileSystem fs;
  ExportFiles files;
  Pacer pacer;
  EXPECT_THROW(RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, temp.Path() / "", files,
                         fs, {}, pacer),
               ExportError);
  files.CloseAll();
  EXPECT_EQ(files.OpenCount(), 0u);
}

TEST(DiskFileSystem, ConvertingTwiceLeavesTheSecondRunsFiles) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto convert = [&](float value, std::uint32_t cells) {
    Ring ring(76, 1);
    for (std::uint32_t c = 0; c < cells; ++c) ring.Put({0, c}, ChannelCell(Stamp(2015, 1, 1, 0, 0, c), value));
    const auto folder = BuildOutputFolder(OutputTarget::kChosenFolder, temp.Path(), ring.Profile, 3, 0, fs);
    EXPECT_TRUE(folder.Ok());
    ExportFiles files;
    Pacer pacer;
    RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, folder.OutputFolder, files, fs, {},
              pacer);
    EXPECT_TRUE(files.CloseAll());
    return folder.OutputFolder;
  };
  convert(1.0f, 10);
  const auto folder = convert(2.0f, 3);
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  EXPECT_EQ(count, 7u);  // Pen.txt, All_Chan.txt, Chan1.pen, Rele1..4.rel
  EXPECT_EQ(ReadAll(folder / "Chan1.pen").size(), 3u * 15u);
  EXPECT_EQ(ReadAll(folder / "All_Chan.txt").size(), 3u * 76u);
  EXPECT_EQ(ReadAll(folder / "Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
}

TEST(MemoryFileSystem, FolderRulesMatchTheDisk) {
  MemoryFileSystem fs;
  EXPECT_FALSE(fs.CreateFolder("/a/b"));
  EXPECT_TRUE(fs.CreateFolder("/a"));
  EXPECT_TRUE(fs.IsDirectory("/a/"));
  fs.CreateOutputFile("/a/f")->Close();
  EXPECT_FALSE(fs.CreateFolder("/a/f"));
  EXPECT_THROW(fs.CreateOutputFile("/b/f"), ExportError);
  EXPECT_EQ(fs.OpenFiles, 0u);
}

TEST(PathFromUtf8, KeepsCyrillicNames) {
  const auto path = PathFromUtf8("ЛС 260-5") / "DB";
  EXPECT_EQ(PathToUtf8(path.parent_path()), "ЛС 260-5");
  EXPECT_EQ(PathToUtf8(path.filename()), "DB");
}

}  // namespace
}  // namespace ar4
