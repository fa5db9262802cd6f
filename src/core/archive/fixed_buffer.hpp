#pragma once
/// A fixed block of memory that costs nothing until it is used: the system hands out zero pages on first
/// touch, so a buffer that a run never writes (the SortBuffer of a conversion without re-ordering, the
/// tail of the MainBlock behind a small archive) is never filled, and one that is written is filled once.
/// Its bytes read as zero until written, as a value-initialised array would.
///
/// On Linux the buffer can also take the bytes of a file by mapping it privately in place of its first
/// pages (MapFile): the file's pages are then the buffer's without being copied, and a write changes the
/// buffer only, never the file. Should a mapped page become unreadable later (the file was cut short by
/// another program, its device failed), the buffer does not bring the program down: the page reads as
/// zero from then on and LostPages says so, so that nothing read from it is taken for the file's bytes.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace ar4 {

class FixedBuffer {
 public:
  /// Reserves `size` bytes; throws std::bad_alloc when the system has none to give. `lead` (below the
  /// system's page size) is where in a page the buffer begins: a file's byte `lead` can then be mapped to
  /// the buffer's first byte (the MainBlock of an archive begins at byte 256 of its file).
  explicit FixedBuffer(std::size_t size, std::size_t lead = 0);
  ~FixedBuffer();
  FixedBuffer(const FixedBuffer&) = delete;
  FixedBuffer& operator=(const FixedBuffer&) = delete;

  std::uint8_t* get() const { return data_; }
  std::size_t size() const { return size_; }
  std::uint8_t& operator[](std::size_t i) const { return data_[i]; }
  /// Trades the memory of two buffers of the same size and lead (a mapping goes with its memory).
  void swap(FixedBuffer& other) noexcept {
    std::swap(base_, other.base_);
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(reserved_, other.reserved_);
    std::swap(lead_, other.lead_);
    std::swap(guard_, other.guard_);
  }

  /// Makes the buffer's first `length` bytes (at most size()) the bytes of the open file `descriptor` from
  /// `offset` on, where offset modulo the page size is the buffer's lead, and the rest of it zero. The file
  /// may be closed afterwards. The file's pages are read in before this returns. False when the system
  /// cannot map the file or a page of it cannot be read: the buffer then holds zeros only.
  bool MapFile(int descriptor, std::uint64_t offset, std::size_t length);
  /// True while the buffer holds a file's pages (since MapFile, until Clear).
  bool Mapped() const { return guard_ >= 0; }
  /// A mapped page could not be read since MapFile and reads as zero.
  bool LostPages() const;
  /// Makes every byte zero again (fresh pages; a file's pages are let go).
  void Clear();

 private:
  void Unguard();

  std::uint8_t* base_ = nullptr;  // the page where the reservation begins
  std::uint8_t* data_ = nullptr;  // base_ + lead_
  std::size_t size_ = 0;
  std::size_t reserved_ = 0;  // whole pages from base_
  std::size_t lead_ = 0;
  int guard_ = -1;  // the slot of the fault guard that watches the mapped pages; -1 when none are
};

}  // namespace ar4
