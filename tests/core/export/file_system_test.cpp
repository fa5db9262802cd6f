#include "core/export/file_system.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

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

std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(PathToUtf8(entry.path().filename()));
  return names;
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

TEST(DiskFileSystem, AFileReplacesTheEarlierOneOnlyWhenPublished) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto path = temp.Path() / PathFromUtf8("Файл.txt");
  std::ofstream(path) << "an older and longer content";
  auto file = fs.CreateOutputFile(path);
  file->Write("abc", 3);
  file->Write("", 0);
  file->Close();
  EXPECT_EQ(ReadAll(path), "an older and longer content");
  EXPECT_EQ(ReadAll(temp.Path() / PathFromUtf8(".Файл.txt.ar4tmp")), "abc");
  EXPECT_TRUE(fs.CanReplace(path));
  fs.PublishOutputFile(path);
  EXPECT_EQ(ReadAll(path), "abc");
  EXPECT_EQ(Names(temp.Path()), std::set<std::string>{"Файл.txt"});
  EXPECT_THROW(fs.CreateOutputFile(temp.Path() / "missing" / "x.txt"), ExportError);
  EXPECT_THROW(fs.PublishOutputFile(path), ExportError);  // nothing written for it since
  std::filesystem::create_directory(temp.Path() / "folder");
  EXPECT_FALSE(fs.CanReplace(temp.Path() / "folder"));
  EXPECT_TRUE(fs.CanReplace(temp.Path() / "absent"));
}

TEST(DiskFileSystem, WritesInPiecesAndGatheredGiveTheBytesAndTakeNoMoreRoom) {
  // Disk files take room ahead of their writes and give back what they did not fill when closed: the file
  // holds exactly the bytes written and, once closed, no blocks past its end.
  TempFolder temp;
  DiskFileSystem fs;
  const auto path = temp.Path() / "f";
  auto file = fs.CreateOutputFile(path);
  std::string expected;
  std::string piece(300 * 1024 + 7, ' ');
  for (int i = 0; i < 12; ++i) {
    for (std::size_t j = 0; j < piece.size(); ++j) piece[j] = static_cast<char>('a' + (i * 7 + j) % 26);
    if (i % 3 == 2) {
      file->WriteTwo(piece.data(), 1000, piece.data() + 1000, piece.size() - 1000);
    } else {
      file->Write(piece.data(), piece.size());
    }
    expected += piece;
  }
  file->WriteTwo("x", 1, nullptr, 0);
  file->WriteTwo(nullptr, 0, "yz", 2);
  expected += "xyz";
  file->Close();
  fs.PublishOutputFile(path);
  EXPECT_TRUE(ReadAll(path) == expected);
#ifndef _WIN32
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(static_cast<std::size_t>(status.st_size), expected.size());
  // Blocks of 512 bytes; whatever the file system's block size, not a megabyte more than the file.
  EXPECT_LT(static_cast<std::uint64_t>(status.st_blocks) * 512u, expected.size() + (1u << 20));
#endif
}

#ifndef _WIN32
/// Files larger than `bytes` cannot be written while it lives (EFBIG, as from a full disk).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &before_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &before_);
    std::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit before_{};
  void (*previous_handler_)(int) = nullptr;
};
#endif

TEST(DiskFileSystem, FailedWriteIsAnError) {
#ifdef _WIN32
  GTEST_SKIP() << "the file size limit is a POSIX resource limit";
#else
  TempFolder temp;
  DiskFileSystem fs;
  auto file = fs.CreateOutputFile(temp.Path() / "f");
  const FileSizeLimit limit(2);
  EXPECT_THROW(file->Write("abc", 3), ExportError);
  EXPECT_THROW(file->Close(), ExportError);  // the failed write is reported again, and the file is closed
  file->Close();
#endif
}

/// A type-76 export of `cells` cells of `value` into the tree under `root`; the files are committed when the
/// export succeeds, else removed. Returns the output folder, or nothing when the export failed.
std::optional<std::filesystem::path> Convert(DiskFileSystem& fs, const std::filesystem::path& root, float value,
                                             std::uint32_t cells) {
  Ring ring(76, (cells + 18) / 19);
  for (std::uint32_t c = 0; c < cells; ++c) {
    ring.Put({c / 19, c % 19}, ChannelCell(Stamp(2015, 1, 1, 0, 0, 0) + c, value));
  }
  const auto folder = BuildOutputFolder(OutputTarget::kChosenFolder, root, ring.Profile, 3, 0, fs);
  EXPECT_TRUE(folder.Ok());
  ExportFiles files;
  Pacer pacer;
  try {
    RunExport(ring.Block.data(), ring.Geometry, ring.Profile, WholeRing(), {}, folder.OutputFolder, files, fs, {},
              pacer);
  } catch (const ExportError&) {
    files.Discard();
    return std::nullopt;
  }
  if (!files.Commit()) return std::nullopt;
  return folder.OutputFolder;
}

/// The names and bytes of every entry of a folder.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files[PathToUtf8(entry.path().filename())] = entry.is_regular_file() ? ReadAll(entry.path()) : "<folder>";
  }
  return files;
}

TEST(DiskFileSystem, ConvertingTwiceLeavesTheSecondRunsFiles) {
  TempFolder temp;
  DiskFileSystem fs;
  ASSERT_TRUE(Convert(fs, temp.Path(), 1.0f, 10));
  const auto folder = Convert(fs, temp.Path(), 2.0f, 3);
  ASSERT_TRUE(folder);
  EXPECT_EQ(Names(*folder), (std::set<std::string>{"Pen.txt", "All_Chan.txt", "Chan1.pen", "Rele1.rel", "Rele2.rel",
                                                   "Rele3.rel", "Rele4.rel"}));
  EXPECT_EQ(ReadAll(*folder / "Chan1.pen").size(), 3u * 15u);
  EXPECT_EQ(ReadAll(*folder / "All_Chan.txt").size(), 3u * 76u);
  EXPECT_EQ(ReadAll(*folder / "Pen.txt"), "Chan1.pen\r\n\xB0" "C\r\n");
}

TEST(DiskFileSystem, AFailedConversionLeavesTheEarlierFilesWhole) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto first = Convert(fs, temp.Path(), 1.0f, 10);
  ASSERT_TRUE(first);
  const auto before = Snapshot(*first);
  {
    // A write fails half way (as on a full disk): nothing of the new run may be left.
#ifndef _WIN32
    const FileSizeLimit limit(4096);
    EXPECT_FALSE(Convert(fs, temp.Path(), 2.0f, 500));
    EXPECT_EQ(Snapshot(*first), before);
#endif
  }
  // A file of the new set cannot be created (a folder in the way of its temporary file).
  std::filesystem::create_directory(*first / ".Rele3.rel.ar4tmp");
  EXPECT_FALSE(Convert(fs, temp.Path(), 3.0f, 20));
  std::filesystem::remove(*first / ".Rele3.rel.ar4tmp");
  EXPECT_EQ(Snapshot(*first), before);
  // A final name cannot be replaced (a folder of that name): nothing is renamed at all.
  std::filesystem::remove(*first / "Rele3.rel");
  std::filesystem::create_directory(*first / "Rele3.rel");
  auto blocked = Snapshot(*first);
  EXPECT_FALSE(Convert(fs, temp.Path(), 4.0f, 20));
  EXPECT_EQ(Snapshot(*first), blocked);
}

#ifndef _WIN32
TEST(DiskFileSystem, PlantedSymbolicLinksAreReplacedNotWrittenThrough) {
  TempFolder temp;
  DiskFileSystem fs;
  const auto folder = Convert(fs, temp.Path(), 1.0f, 4);
  ASSERT_TRUE(folder);
  const auto victim = temp.Path() / "victim.txt";
  std::ofstream(victim) << "precious";
  // Another user's links: one in place of an output file, one in place of its temporary file.
  std::filesystem::remove(*folder / "Chan1.pen");
  std::filesystem::create_symlink(victim, *folder / "Chan1.pen");
  std::filesystem::create_symlink(victim, *folder / ".Rele1.rel.ar4tmp");
  ASSERT_TRUE(Convert(fs, temp.Path(), 2.0f, 4));
  EXPECT_EQ(ReadAll(victim), "precious");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(*folder / "Chan1.pen")));
  EXPECT_EQ(ReadAll(*folder / "Chan1.pen").size(), 4u * 15u);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(*folder / ".Rele1.rel.ar4tmp")));
}

TEST(DiskFileSystem, OutputFilesHaveThePermissionsOfOrdinaryNewFiles) {
  TempFolder temp;
  DiskFileSystem fs;
  const mode_t umask_before = ::umask(022);
  const auto folder = Convert(fs, temp.Path(), 1.0f, 4);
  ::umask(umask_before);
  ASSERT_TRUE(folder);
  struct stat info {};
  ASSERT_EQ(::stat((*folder / "All_Chan.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}
#endif

TEST(DiskFileSystem, AFolderIsLockedByOneConversionAtATime) {
  TempFolder temp;
  DiskFileSystem fs;
  auto first = fs.LockFolder(temp.Path(), [] { return true; });
  ASSERT_TRUE(first);
  // Another conversion (a second open of the folder, or of its lock file, conflicts as another process would).
  int waits = 0;
  auto second = fs.LockFolder(temp.Path(), [&waits] { return ++waits < 3; });
  EXPECT_FALSE(second);
  EXPECT_EQ(waits, 3);
  first.reset();
  second = fs.LockFolder(temp.Path(), [] { return false; });
  EXPECT_TRUE(second);
  second.reset();
  EXPECT_EQ(Names(temp.Path()), std::set<std::string>{});  // nothing stays in the folder
  EXPECT_THROW(fs.LockFolder(temp.Path() / "missing", [] { return false; }), ExportError);
}

TEST(MemoryFileSystem, FolderRulesMatchTheDisk) {
  MemoryFileSystem fs;
  EXPECT_FALSE(fs.CreateFolder("/a/b"));
  EXPECT_TRUE(fs.CreateFolder("/a"));
  EXPECT_TRUE(fs.IsDirectory("/a/"));
  fs.CreateOutputFile("/a/f")->Close();
  EXPECT_TRUE(fs.Exists("/a/.f.ar4tmp"));
  EXPECT_FALSE(fs.Exists("/a/f"));
  fs.PublishOutputFile("/a/f");
  EXPECT_TRUE(fs.Temporaries().empty());
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
