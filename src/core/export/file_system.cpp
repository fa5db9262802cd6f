#include "core/export/file_system.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ar4 {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path, int error) {
  std::string text = what;
  text += " \"";
  text += PathToUtf8(path);
  text += "\"";
  if (error != 0) {
    text += ": ";
    text += std::strerror(error);
  }
  return text;
}

#ifndef _WIN32
/// The write size of disk files: a page-cache write of 256 KiB at a multiple of it costs the system about
/// as little per byte as one of a megabyte, while ragged writes of a hundred kilobytes cost twice as much.
constexpr std::size_t kDiskWriteUnit = 256 * 1024;

/// Room taken on the disk ahead of a file's writes, in steps that grow with the file. A page-cache write
/// into room taken so costs the system about half of one that must also set room aside for itself (on
/// ext4 the delayed allocation of every block). What is not filled is given back when the file is closed,
/// so the file ends up as it would have been without it. Only a hint: a file system that cannot take room
/// ahead, or one that is short of it, is simply written without.
class RoomAhead {
 public:
  /// Before writing `size` more bytes at `end`.
  void Before(int fd, std::uint64_t end, std::size_t size) {
    // A small file is written without: taking and giving back room costs more than it saves there, and a
    // conversion of many small archives writes thousands of them. A file is taken for large by its first
    // write of a whole write unit; from then on all of it lies in room taken ahead, so none of its blocks
    // waits for the delayed allocation, which ext4 would otherwise carry out (and start writing back) in
    // the rename that publishes the file over an earlier one.
    if (!enabled_ || end + size < kLargeFile || end + size <= reserved_) return;
    // Steps of the file's size so far, within 1..16 MiB, and never into the last GiB of free space.
    const std::uint64_t step = std::clamp<std::uint64_t>(end, kMinStep, kMaxStep);
    // The first room taken also covers what was written before, so that no block of the file is left to
    // the delayed allocation.
    const std::uint64_t wanted = end + size - reserved_ + step;
    struct statvfs room {};
    if (::fstatvfs(fd, &room) != 0 ||
        std::uint64_t{room.f_bavail} * room.f_frsize < wanted + kKeepFree ||
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_), static_cast<off_t>(wanted)) != 0) {
      enabled_ = false;
      return;
    }
    reserved_ += wanted;
  }
  /// Gives back the room past `end`, the file's size; true when nothing was taken or it was given back.
  bool GiveBack(int fd, std::uint64_t end) const {
    return reserved_ <= end || ::ftruncate(fd, static_cast<off_t>(end)) == 0;
  }

 private:
  static constexpr std::uint64_t kLargeFile = kDiskWriteUnit;
  static constexpr std::uint64_t kMinStep = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kMaxStep = std::uint64_t{16} << 20;
  static constexpr std::uint64_t kKeepFree = std::uint64_t{1} << 30;
  bool enabled_ = true;
  std::uint64_t reserved_ = 0;
};
#endif

/// A file without buffering of its own: the export hands over large chunks, each of which becomes one
/// system write (on Linux straight to the descriptor, with room taken ahead). Every result is checked.
class DiskFile final : public OutputFile {
 public:
  DiskFile(std::FILE* file, std::filesystem::path path) : file_(file), path_(std::move(path)) {}
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;
  ~DiskFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }

#ifdef _WIN32
  void Write(const void* data, std::size_t size) override {
    if (file_ == nullptr) throw ExportError(Describe("write after close of", path_, 0));
    if (size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
      throw ExportError(Describe("cannot write", path_, errno));
    }
  }
#else
  void Write(const void* data, std::size_t size) override { WriteTwo(data, size, nullptr, 0); }
  std::size_t WriteUnit() const override { return kDiskWriteUnit; }

  void WriteTwo(const void* first, std::size_t first_size, const void* second, std::size_t second_size) override {
    if (file_ == nullptr) throw ExportError(Describe("write after close of", path_, 0));
    // The stream has no buffer of its own, so its descriptor is written directly.
    const int fd = ::fileno(file_);
    room_.Before(fd, size_, first_size + second_size);
    std::array<iovec, 2> parts{iovec{const_cast<void*>(first), first_size},
                               iovec{const_cast<void*>(second), second_size}};
    iovec* part = parts.data();
    int left = 2;
    while (left > 0) {
      if (part->iov_len == 0) {
        ++part;
        --left;
        continue;
      }
      const ssize_t written = ::writev(fd, part, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        throw ExportError(Describe("cannot write", path_, errno));
      }
      if (written == 0) {
        failed_ = true;
        throw ExportError(Describe("cannot write", path_, ENOSPC));
      }
      auto rest = static_cast<std::size_t>(written);
      size_ += rest;
      while (left > 0 && rest >= part->iov_len) {
        rest -= part->iov_len;
        ++part;
        --left;
      }
      if (left > 0) {
        part->iov_base = static_cast<char*>(part->iov_base) + rest;
        part->iov_len -= rest;
      }
    }
  }
#endif

  void Close() override {
    if (file_ == nullptr) return;
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
#ifdef _WIN32
    const bool failed = std::ferror(file) != 0;
#else
    const bool failed = failed_ || std::ferror(file) != 0 || !room_.GiveBack(::fileno(file), size_);
#endif
    if (std::fclose(file) != 0 || failed) throw ExportError(Describe("cannot close", path_, errno));
  }

 private:
  std::FILE* file_;
  std::filesystem::path path_;
#ifndef _WIN32
  std::uint64_t size_ = 0;  // bytes written
  bool failed_ = false;     // a write failed; the close reports it again
  RoomAhead room_;
#endif
};

/// How often a conversion waiting for the lock of its folder tries again.
constexpr std::chrono::milliseconds kLockRetryPeriod(50);

#ifdef _WIN32
/// The lock file is opened by every conversion into the folder and removed when the last one closes it.
class WindowsFolderLock final : public FolderLock {
 public:
  explicit WindowsFolderLock(HANDLE handle) : handle_(handle) {}
  WindowsFolderLock(const WindowsFolderLock&) = delete;
  WindowsFolderLock& operator=(const WindowsFolderLock&) = delete;
  ~WindowsFolderLock() override { CloseHandle(handle_); }  // releases the lock

 private:
  HANDLE handle_;
};
#else
class FlockFolderLock final : public FolderLock {
 public:
  explicit FlockFolderLock(int fd) : fd_(fd) {}
  FlockFolderLock(const FlockFolderLock&) = delete;
  FlockFolderLock& operator=(const FlockFolderLock&) = delete;
  ~FlockFolderLock() override {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }

 private:
  int fd_;
};
#endif

}  // namespace

std::filesystem::path TemporaryPath(const std::filesystem::path& path) {
  std::filesystem::path name = PathFromUtf8(".");
  name += path.filename();
  name += PathFromUtf8(kTemporarySuffix);
  return path.parent_path() / name;
}

bool DiskFileSystem::IsDirectory(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool DiskFileSystem::CreateFolder(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directory(path, error);
  if (error) return false;
  return std::filesystem::is_directory(path, error);
}

std::unique_ptr<OutputFile> DiskFileSystem::CreateOutputFile(const std::filesystem::path& path) {
  const std::filesystem::path temporary = TemporaryPath(path);
  // A temporary file of an interrupted conversion is removed (a symbolic link itself, not its target);
  // the exclusive creation then refuses anything that appears in its place meanwhile.
  DiscardOutputFile(path);
  errno = 0;
#ifdef _WIN32
  // _O_EXCL with _O_CREAT is CREATE_NEW: the file must not exist, whatever it is.
  const int fd = _wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
#else
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
  if (fd < 0) throw ExportError(Describe("cannot create", temporary, errno));
#ifdef _WIN32
  std::FILE* file = _fdopen(fd, "wb");
#else
  std::FILE* file = ::fdopen(fd, "wb");
#endif
  if (file == nullptr) {
    const int error = errno;
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
    DiscardOutputFile(path);
    throw ExportError(Describe("cannot create", temporary, error));
  }
  // No buffering of the C library: the export buffers itself and writes large chunks.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return std::make_unique<DiskFile>(file, temporary);
}

bool DiskFileSystem::CanReplace(const std::filesystem::path& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
#else
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  return !S_ISDIR(info.st_mode);
#endif
}

void DiskFileSystem::PublishOutputFile(const std::filesystem::path& path) {
  const std::filesystem::path temporary = TemporaryPath(path);
#ifdef _WIN32
  if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    throw ExportError(Describe("cannot rename into", path, 0));
  }
#else
  // rename replaces a file or a symbolic link of the final name in one step.
  if (::rename(temporary.c_str(), path.c_str()) != 0) throw ExportError(Describe("cannot rename into", path, errno));
#endif
}

void DiskFileSystem::DiscardOutputFile(const std::filesystem::path& path) noexcept {
  try {
    const std::filesystem::path temporary = TemporaryPath(path);
#ifdef _WIN32
    _wremove(temporary.c_str());
#else
    ::unlink(temporary.c_str());
#endif
  } catch (...) {  // NOLINT(bugprone-empty-catch): a path that cannot even be built has no temporary file
  }
}

std::unique_ptr<FolderLock> DiskFileSystem::LockFolder(const std::filesystem::path& folder,
                                                      const std::function<bool()>& keep_waiting) {
#ifdef _WIN32
  const std::filesystem::path lock_path = folder / L".ar4conv.lock";
  for (;;) {
    HANDLE handle = CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // Closed on every way out, also when keep_waiting throws.
      auto lock = std::make_unique<WindowsFolderLock>(handle);
      for (bool first = true;; first = false) {
        OVERLAPPED whole{};
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) return lock;
        if (first && GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
          throw ExportError(Describe("cannot lock", folder, 0));
        }
        // Held by another conversion: wait with the file kept open, so that it stays until it is ours.
        if (!keep_waiting()) return nullptr;
        std::this_thread::sleep_for(kLockRetryPeriod);
      }
    }
    // The lock file of a conversion that just ended is being removed: open it again in a moment.
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
      throw ExportError(Describe("cannot lock", folder, 0));
    }
    if (!keep_waiting()) return nullptr;
    std::this_thread::sleep_for(kLockRetryPeriod);
  }
#else
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw ExportError(Describe("cannot lock", folder, errno));
  auto lock = std::make_unique<FlockFolderLock>(fd);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return lock;
    const int error = errno;
    if (error == EINTR) continue;
    // A file system without locks (some network mounts) is written as before, unlocked.
    if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL) return lock;
    if (error != EWOULDBLOCK) throw ExportError(Describe("cannot lock", folder, error));
    if (!keep_waiting()) return nullptr;
    std::this_thread::sleep_for(kLockRetryPeriod);
  }
#endif
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  std::u8string text(utf8.size(), u8'\0');
  for (std::size_t i = 0; i < utf8.size(); ++i) text[i] = static_cast<char8_t>(utf8[i]);
  return std::filesystem::path(text);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
  return out;
}

}  // namespace ar4
