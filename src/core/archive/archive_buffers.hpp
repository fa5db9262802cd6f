#pragma once
/// The fixed buffers of a process: the 256-byte header, the 32 MiB MainBlock and the 32 MiB SortBuffer.
/// One object per program, created once; every archive is read into it and nothing is allocated per file.
/// The two large buffers cost nothing until written: the SortBuffer is touched only by a re-ordering.

#include <array>
#include <cstdint>
#include <memory>

#include "core/archive/fixed_buffer.hpp"
#include "core/archive/format.hpp"

namespace ar4 {

struct ArchiveBuffers {
  ArchiveBuffers()
      : MainBlock(kMainBlockCapacity),
        SortBuffer(kMainBlockCapacity),
        ValidCellMasks(std::make_unique_for_overwrite<std::uint32_t[]>(kMaxPageCount)) {}
  ArchiveBuffers(const ArchiveBuffers&) = delete;
  ArchiveBuffers& operator=(const ArchiveBuffers&) = delete;

  std::array<std::uint8_t, kHeaderSize> ArchiveHeader{};
  /// Bytes beyond what the current file supplied keep whatever an earlier file left there.
  FixedBuffer MainBlock;
  FixedBuffer SortBuffer;
  /// The validation scan's verdict on the MainBlock as it left it, one word per page (bit c: cell c is
  /// valid), so that the overlap analysis right after it need not check every cell again. 512 KiB,
  /// written only by the scan; stale once the MainBlock changes (re-ordering, next archive).
  std::unique_ptr<std::uint32_t[]> ValidCellMasks;
  /// Set by the conversion driver right after the scan; cleared whenever the MainBlock is rewritten
  /// (loading, re-ordering), so that stale masks are never taken for the block's cells.
  bool ValidCellMasksCurrent = false;
};

}  // namespace ar4
