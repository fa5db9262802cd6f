#pragma once
/// A fixed block of memory that costs nothing until it is used: the system hands out zero pages on first
/// touch, so a buffer that a run never writes (the SortBuffer of a conversion without re-ordering, the
/// tail of the MainBlock behind a small archive) is never filled, and one that is written is filled once.
/// Its bytes read as zero until written, as a value-initialised array would.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace ar4 {

class FixedBuffer {
 public:
  /// Reserves `size` bytes; throws std::bad_alloc when the system has none to give.
  explicit FixedBuffer(std::size_t size);
  ~FixedBuffer();
  FixedBuffer(const FixedBuffer&) = delete;
  FixedBuffer& operator=(const FixedBuffer&) = delete;

  std::uint8_t* get() const { return data_; }
  std::size_t size() const { return size_; }
  std::uint8_t& operator[](std::size_t i) const { return data_[i]; }
  /// Trades the memory of two buffers of the same size.
  void swap(FixedBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace ar4
