// Large-file support for 32-bit targets: the size of a file of 2 GiB and more is a 64-bit value.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "core/archive/regular_file.hpp"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ar4 {

void RegularFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

#ifdef _WIN32

namespace {

/// Why a path could not be opened, from its attributes.
OpenFileStatus StatusOfUnopened(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenFileStatus::kMissing
                                                                         : OpenFileStatus::kFailed;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? OpenFileStatus::kFolder : OpenFileStatus::kFailed;
}

}  // namespace

OpenFileStatus RegularFile::Open(const std::filesystem::path& path) {
  Close();
  std::FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return StatusOfUnopened(path);
  // A console, "NUL", a pipe or a serial port opens like a file; only a disk file has a size to read.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  BY_HANDLE_FILE_INFORMATION information{};
  LARGE_INTEGER size{};
  OpenFileStatus status = OpenFileStatus::kOpened;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    status = OpenFileStatus::kNotRegular;
  } else if (!GetFileInformationByHandle(handle, &information)) {
    status = OpenFileStatus::kNotRegular;  // a volume or a disk device opened by its name
  } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    status = OpenFileStatus::kFolder;
  } else if (!GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
    status = OpenFileStatus::kNotRegular;
  }
  if (status != OpenFileStatus::kOpened) {
    std::fclose(file);
    return status;
  }
  file_ = file;
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return status;
}

#else

namespace {

OpenFileStatus StatusOfType(mode_t mode) {
  if (S_ISREG(mode)) return OpenFileStatus::kOpened;
  return S_ISDIR(mode) ? OpenFileStatus::kFolder : OpenFileStatus::kNotRegular;
}

OpenFileStatus StatusOfError(int error) {
  return error == ENOENT || error == ENOTDIR ? OpenFileStatus::kMissing : OpenFileStatus::kFailed;
}

}  // namespace

OpenFileStatus RegularFile::Open(const std::filesystem::path& path) {
  Close();
  // Looked at first, so that a device or a FIFO is not even opened ...
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) return StatusOfError(errno);
  if (const OpenFileStatus type = StatusOfType(before.st_mode); type != OpenFileStatus::kOpened) return type;

  // ... and the opened file tested again, for the path may have been replaced in between: opened without
  // blocking (a FIFO opened for reading would wait for a writer) and without becoming the controlling
  // terminal.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return StatusOfError(errno);
  struct stat opened {};
  OpenFileStatus status = ::fstat(descriptor, &opened) == 0 ? StatusOfType(opened.st_mode) : OpenFileStatus::kFailed;
  // Reads of a regular file never block; the flag is cleared so that they are plain reads all the same.
  if (status == OpenFileStatus::kOpened) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) status = OpenFileStatus::kFailed;
  }
  std::FILE* file = status == OpenFileStatus::kOpened ? ::fdopen(descriptor, "rb") : nullptr;
  if (file == nullptr) {
    ::close(descriptor);
    return status == OpenFileStatus::kOpened ? OpenFileStatus::kFailed : status;
  }
  file_ = file;
  size_ = static_cast<std::uint64_t>(opened.st_size);
  return status;
}

#endif

}  // namespace ar4
