#pragma once
/// The fixed buffers of a process: the 256-byte header, the 32 MiB MainBlock and the 32 MiB SortBuffer.
/// One object per program, created once; every archive is read into it and nothing is allocated per file.
/// The two large buffers cost nothing until written: the SortBuffer is touched only by a re-ordering. Where
/// the system can, an archive's main block is mapped into the MainBlock rather than copied (FixedBuffer).

#include <array>
#include <cstdint>
#include <memory>

#include "core/archive/fixed_buffer.hpp"
#include "core/archive/format.hpp"

namespace ar4 {

struct ArchiveBuffers {
  ArchiveBuffers()
      : MainBlock(kMainBlockCapacity, kHeaderSize),
        SortBuffer(kMainBlockCapacity, kHeaderSize),
        ValidCellMasks(std::make_unique_for_overwrite<std::uint32_t[]>(kMaxPageCount)) {}
  ArchiveBuffers(const ArchiveBuffers&) = delete;
  ArchiveBuffers& operator=(const ArchiveBuffers&) = delete;

  std::array<std::uint8_t, kHeaderSize> ArchiveHeader{};
  /// Bytes beyond what the current file supplied are zero or what an earlier file left there; no cell
  /// beyond the archive's pages is ever examined. Both buffers begin 256 bytes into a page, as the main
  /// block does in its file, so that the file can be mapped in place.
  FixedBuffer MainBlock;
  FixedBuffer SortBuffer;
  /// The validation scan's verdict on the MainBlock as it left it, one word per page (bit c: cell c is
  /// valid), so that the overlap analysis right after it need not check every cell again. 512 KiB,
  /// written only by the scan; stale once the MainBlock changes (re-ordering, next archive).
  std::unique_ptr<std::uint32_t[]> ValidCellMasks;
  /// Set by the conversion driver right after the scan; cleared whenever the MainBlock is rewritten
  /// (loading, re-ordering), so that stale masks are never taken for the block's cells.
  bool ValidCellMasksCurrent = false;

  /// A page of the archive's file could not be read after it was loaded (the file was cut short by another
  /// program or its device failed): what was read of it since is not the file's, and nothing made from it
  /// may be shown or written as if it were.
  bool ArchivePagesLost() const { return MainBlock.LostPages() || SortBuffer.LostPages(); }
};

}  // namespace ar4
