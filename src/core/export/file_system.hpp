#pragma once
/// The file system as the export sees it: a directory test, one-level folder creation, output files that
/// are byte sinks written under temporary names and published together, and the lock of an output folder.
/// The disk implementation is DiskFileSystem; tests and fuzzing use MemoryFileSystem.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace ar4 {

/// A file of the export could not be created, written or closed. The conversion run reports it as "Ошибки".
class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An open output file. Writes come in large chunks (the export buffers them). One file is written by one
/// thread at a time, but different files of an export may be written by different threads at once.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  /// Writes all `size` bytes or throws ExportError (disk full, I/O error).
  virtual void Write(const void* data, std::size_t size) = 0;
  /// Writes `first_size` bytes of `first`, then `second_size` bytes of `second`, as one write where the
  /// system can gather them (on Linux one writev). Throws ExportError as Write does.
  virtual void WriteTwo(const void* first, std::size_t first_size, const void* second, std::size_t second_size) {
    Write(first, first_size);
    Write(second, second_size);
  }
  /// Closes the file; throws ExportError when the close fails. The file is closed afterwards either way.
  virtual void Close() = 0;
  /// The size in which the file takes writes best, a power of two; 0 when it has none. With one, the export
  /// hands it whole multiples of that size at offsets that are multiples of it, all but the last write.
  virtual std::size_t WriteUnit() const { return 0; }
};

/// Held for the whole conversion into one output folder; released when destroyed.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

/// The name under which the file `path` is written until the export is published: a leading dot and the
/// suffix ".ar4tmp" beside the final name (".Chan1.pen.ar4tmp" for "Chan1.pen"). The viewer reads only the
/// files named in "Pen.txt" and the fixed names, never these.
std::filesystem::path TemporaryPath(const std::filesystem::path& path);

/// Name suffix of the temporary files.
inline constexpr std::string_view kTemporarySuffix = ".ar4tmp";

class OutputFileSystem {
 public:
  virtual ~OutputFileSystem() = default;
  /// True when `path` names an existing folder.
  virtual bool IsDirectory(const std::filesystem::path& path) = 0;
  /// Creates exactly this one folder (its parent must exist); false on failure, also when a plain file of
  /// that name is in the way.
  virtual bool CreateFolder(const std::filesystem::path& path) = 0;
  /// Creates the file that is to become `path` under its TemporaryPath: exclusively, never through a
  /// symbolic link; a temporary file of that name left by an interrupted conversion is removed first. The
  /// final name is not touched. Throws ExportError when the file cannot be created.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::filesystem::path& path) = 0;
  /// True when `path` may be replaced by its temporary file: nothing of that name, or a file or symbolic
  /// link (not a folder; on Windows not a read-only file).
  virtual bool CanReplace(const std::filesystem::path& path) = 0;
  /// Gives the closed temporary file of `path` its final name, replacing the file or the symbolic link of
  /// that name itself (never the file a link points to). Throws ExportError when it fails.
  virtual void PublishOutputFile(const std::filesystem::path& path) = 0;
  /// Removes the temporary file of `path` when there is one. Never throws.
  virtual void DiscardOutputFile(const std::filesystem::path& path) noexcept = 0;
  /// Takes the exclusive lock of an output folder, so that two conversions never write into one folder at
  /// once. While another conversion holds it, waits, calling `keep_waiting` about every 50 ms, and gives up
  /// (nothing) when that returns false. Throws ExportError when the folder cannot be opened for locking.
  virtual std::unique_ptr<FolderLock> LockFolder(const std::filesystem::path& folder,
                                                 const std::function<bool()>& keep_waiting) = 0;
};

/// The real file system. Every write and close is checked: a full disk is an error, never a short file.
/// Output files are created with the permissions of an ordinary new file (0666 less the umask).
class DiskFileSystem final : public OutputFileSystem {
 public:
  bool IsDirectory(const std::filesystem::path& path) override;
  bool CreateFolder(const std::filesystem::path& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::filesystem::path& path) override;
  bool CanReplace(const std::filesystem::path& path) override;
  void PublishOutputFile(const std::filesystem::path& path) override;
  void DiscardOutputFile(const std::filesystem::path& path) noexcept override;
  /// Linux: flock on the folder itself (nothing is added to it); a file system without locks is written
  /// unlocked. Windows: LockFileEx on a hidden ".ar4conv.lock" in the folder, removed when released.
  std::unique_ptr<FolderLock> LockFolder(const std::filesystem::path& folder,
                                         const std::function<bool()>& keep_waiting) override;
};

/// A path from UTF-8 text (through std::u8string, so that it also holds on Windows).
std::filesystem::path PathFromUtf8(std::string_view utf8);

/// The UTF-8 text of a path.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace ar4
