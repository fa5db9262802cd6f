#pragma once
/// The fixed buffers of a process: the 256-byte header, the 32 MiB MainBlock and the 32 MiB SortBuffer.
/// One object per program, created once; every archive is read into it and nothing is allocated per file.

#include <array>
#include <cstdint>
#include <memory>

#include "core/archive/format.hpp"

namespace ar4 {

struct ArchiveBuffers {
  // Not cleared: every pass reads only the pages an archive filled, so the memory of a buffer is taken
  // from the system only as far as archives (and the re-ordering) use it.
  ArchiveBuffers()
      : MainBlock(std::make_unique_for_overwrite<std::uint8_t[]>(kMainBlockCapacity)),
        SortBuffer(std::make_unique_for_overwrite<std::uint8_t[]>(kMainBlockCapacity)) {}
  ArchiveBuffers(const ArchiveBuffers&) = delete;
  ArchiveBuffers& operator=(const ArchiveBuffers&) = delete;

  std::array<std::uint8_t, kHeaderSize> ArchiveHeader{};
  /// Bytes beyond what the current file supplied keep whatever an earlier file left there.
  std::unique_ptr<std::uint8_t[]> MainBlock;
  std::unique_ptr<std::uint8_t[]> SortBuffer;
};

}  // namespace ar4
