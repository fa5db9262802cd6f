#pragma once
/// Opening a file for reading only when it is a regular file. A FIFO, a device, a socket or a folder given
/// where a file is expected must neither block the program nor be read: such a path is refused before
/// anything is read from it.

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace ar4 {

enum class OpenFileStatus {
  kOpened,      // a regular file, open for reading
  kMissing,     // nothing at the path (or a link that leads nowhere)
  kFolder,      // a folder
  kNotRegular,  // a FIFO, a device, a socket or anything else that is not a regular file
  kFailed,      // there, but it cannot be opened (permissions, a link loop, ...)
};

/// An open regular file; closed when the object goes.
class RegularFile {
 public:
  RegularFile() = default;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile() { Close(); }

  /// Opens `path` for binary reading. On POSIX systems the path is opened without blocking (O_NONBLOCK,
  /// so that a FIFO without a writer does not wait for one) and tested with fstat on the descriptor; on
  /// Windows the handle must be of a disk file (GetFileType). The size is that of the opened file.
  OpenFileStatus Open(const std::filesystem::path& path);

  bool IsOpen() const { return file_ != nullptr; }
  std::FILE* Stream() const { return file_; }
  std::uint64_t Size() const { return size_; }
  void Close();
  /// The stream, which the caller now closes.
  std::FILE* Release() {
    std::FILE* file = file_;
    file_ = nullptr;
    return file;
  }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace ar4
