#pragma once
/// The file system as the export sees it: a directory test, one-level folder creation and output files
/// that are byte sinks. The disk implementation is DiskFileSystem; tests and fuzzing use MemoryFileSystem.

#include <cstddef>
#include <filesystem>
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
  /// Closes the file; throws ExportError when the close fails. The file is closed afterwards either way.
  virtual void Close() = 0;
};

class OutputFileSystem {
 public:
  virtual ~OutputFileSystem() = default;
  /// True when `path` names an existing folder.
  virtual bool IsDirectory(const std::filesystem::path& path) = 0;
  /// Creates exactly this one folder (its parent must exist); false on failure, also when a plain file of
  /// that name is in the way.
  virtual bool CreateFolder(const std::filesystem::path& path) = 0;
  /// Creates (or truncates) a file for writing; throws ExportError when it cannot be created.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::filesystem::path& path) = 0;
};

/// The real file system. Every write and close is checked: a full disk is an error, never a short file.
class DiskFileSystem final : public OutputFileSystem {
 public:
  bool IsDirectory(const std::filesystem::path& path) override;
  bool CreateFolder(const std::filesystem::path& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::filesystem::path& path) override;
};

/// A path from UTF-8 text (through std::u8string, so that it also holds on Windows).
std::filesystem::path PathFromUtf8(std::string_view utf8);

/// The UTF-8 text of a path.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace ar4
