// Large-file support for 32-bit targets: the size of an archive is a 64-bit value, and a file of 2 GiB and
// more must open like any other (only its first 256 + 32 MiB bytes are ever read).
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "core/archive/loader.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/archive/regular_file.hpp"

#ifndef _WIN32
#include <stdio.h>  // fileno
#endif

namespace ar4 {
namespace {

/// Closes the stream on every way out of the reading.
struct FileCloser {
  std::FILE* file = nullptr;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

/// The main-block bytes the reading takes from a file of `file_size` bytes: everything after the header,
/// at most the 32 MiB of the buffer. A shorter file fills only the start of the buffer; the rest keeps what
/// an earlier file left there.
std::size_t MainBlockBytesToRead(std::uint64_t file_size) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(file_size - kHeaderSize, kMainBlockCapacity));
}

/// The rules after the header has been read, in their order: signature, type, the size rules of a known
/// type. The header must already be in `buffers`.
LoadStatus CheckHeader(const ArchiveBuffers& buffers, std::uint64_t file_size, LoadedArchive& out) {
  const std::uint8_t* header_bytes = buffers.ArchiveHeader.data();
  if (header_bytes[header::kSignature] != header::kSignature0 ||
      header_bytes[header::kSignature + 1] != header::kSignature1) {
    return LoadStatus::kWrongFormat;
  }
  out.DeviceType = ReadU16(header_bytes + header::kDeviceType);
  out.SerialNumber = ReadU32(header_bytes + header::kSerialNumber);

  const DeviceProfile* profile = FindDeviceProfile(out.DeviceType);
  if (profile == nullptr) return LoadStatus::kUnknownType;  // reported by its header lines; no size test

  out.PageCount = PageCountOf(header_bytes);
  const std::uint64_t needed = kHeaderSize + std::uint64_t{out.PageCount} * kPageSize;
  if (out.PageCount == 0 || out.PageCount > kMaxPageCount || needed > file_size) return LoadStatus::kWrongSize;

  out.Profile = profile;
  return LoadStatus::kLoaded;
}

}  // namespace

LoadStatus LoadArchive(const std::filesystem::path& path, ArchiveBuffers& buffers, LoadedArchive& out) {
  out = LoadedArchive{};
  buffers.ValidCellMasksCurrent = false;  // the MainBlock is about to change
  // Only a regular file is an archive: a folder, a FIFO or a device is refused without blocking on it,
  // and the size is that of the file opened.
  RegularFile opened;
  if (opened.Open(path) != OpenFileStatus::kOpened) return LoadStatus::kReadError;
  out.FileSize = opened.Size();
  FileCloser stream{opened.Release()};
  if (out.FileSize < kMinFileSize) return LoadStatus::kWrongSize;  // before anything is read

  // The header is read; then as much main block as the file and the buffer allow is mapped, or read where
  // it cannot be. A read that comes back short (the file shrank, an I/O error) is a failure to read, never
  // a smaller archive.
  if (std::fread(buffers.ArchiveHeader.data(), 1, kHeaderSize, stream.file) != kHeaderSize) {
    return LoadStatus::kReadError;
  }
  const std::size_t main_bytes = MainBlockBytesToRead(out.FileSize);
  // A file's pages left in the SortBuffer by a re-ordering (the buffers trade places) are let go: from
  // here on only this file's pages are mapped.
  if (buffers.SortBuffer.Mapped()) buffers.SortBuffer.Clear();
#ifdef _WIN32
  const bool mapped = false;
#else
  // Mapped where the system can: the file's pages become the MainBlock's without a copy.
  const bool mapped = buffers.MainBlock.MapFile(::fileno(stream.file), kHeaderSize, main_bytes);
#endif
  if (!mapped && std::fread(buffers.MainBlock.get(), 1, main_bytes, stream.file) != main_bytes) {
    return LoadStatus::kReadError;
  }
  std::fclose(stream.file);
  stream.file = nullptr;

  return CheckHeader(buffers, out.FileSize, out);
}

LoadStatus LoadArchiveBytes(std::span<const std::uint8_t> file, ArchiveBuffers& buffers, LoadedArchive& out) {
  out = LoadedArchive{};
  buffers.ValidCellMasksCurrent = false;
  out.FileSize = file.size();
  if (out.FileSize < kMinFileSize) return LoadStatus::kWrongSize;
  std::memcpy(buffers.ArchiveHeader.data(), file.data(), kHeaderSize);
  if (buffers.MainBlock.Mapped()) buffers.MainBlock.Clear();
  if (buffers.SortBuffer.Mapped()) buffers.SortBuffer.Clear();
  std::memcpy(buffers.MainBlock.get(), file.data() + kHeaderSize, MainBlockBytesToRead(out.FileSize));
  return CheckHeader(buffers, out.FileSize, out);
}

std::string_view LoadStatusMessage(LoadStatus status) {
  switch (status) {
    case LoadStatus::kWrongSize: return "Ошибочный размер файла";
    case LoadStatus::kWrongFormat: return "Ошибочный формат файла";
    case LoadStatus::kReadError: return "Ошибки";
    case LoadStatus::kLoaded:
    case LoadStatus::kUnknownType: break;
  }
  return {};
}

}  // namespace ar4
