#include "core/archive/fixed_buffer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/archive/format.hpp"

namespace ar4 {
namespace {

// The buffers are not filled when made, yet every byte must read as zero until written (the re-ordering
// copies the whole SortBuffer, untouched tail included), and what is written stays.
TEST(FixedBuffer, ReadsZeroUntilWrittenAndKeepsWhatIsWritten) {
  FixedBuffer buffer(kMainBlockCapacity);
  ASSERT_EQ(buffer.size(), kMainBlockCapacity);
  const std::uint8_t* bytes = buffer.get();
  EXPECT_TRUE(std::all_of(bytes, bytes + kMainBlockCapacity, [](std::uint8_t b) { return b == 0; }));
  buffer[0] = 0xA5;
  buffer[kMainBlockCapacity / 2 + 17] = 0x11;
  buffer[kMainBlockCapacity - 1] = 0x5C;
  EXPECT_EQ(buffer[0], 0xA5);
  EXPECT_EQ(buffer[kMainBlockCapacity / 2 + 17], 0x11);
  EXPECT_EQ(buffer[kMainBlockCapacity - 1], 0x5C);
  EXPECT_EQ(buffer[1], 0);
}

#ifndef _WIN32
/// A file of `size` bytes, byte i being i * 7 mod 251, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(std::size_t size) {
    char name[] = "/tmp/ar4-fixed-buffer-XXXXXX";
    descriptor_ = ::mkstemp(name);
    path_ = name;
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
    EXPECT_EQ(::write(descriptor_, bytes.data(), size), static_cast<ssize_t>(size));
  }
  ~TempFile() {
    ::close(descriptor_);
    ::unlink(path_.c_str());
  }
  int Descriptor() const { return descriptor_; }
  static std::uint8_t Byte(std::size_t i) { return static_cast<std::uint8_t>(i * 7 % 251); }

 private:
  int descriptor_ = -1;
  std::string path_;
};

// The file's bytes from 256 on become the buffer's; the rest of the buffer is zero; writes change the
// buffer and never the file; a shorter file mapped after a longer one leaves zeros behind it.
TEST(FixedBuffer, AMappedFileIsTheBuffersFrontAndTheFileIsNeverWritten) {
  FixedBuffer buffer(1 << 20, kHeaderSize);
  const TempFile longer(300000);
  ASSERT_TRUE(buffer.MapFile(longer.Descriptor(), kHeaderSize, 300000 - kHeaderSize));
  EXPECT_TRUE(buffer.Mapped());
  EXPECT_FALSE(buffer.LostPages());
  for (std::size_t i = 0; i < 300000 - kHeaderSize; i += 997) ASSERT_EQ(buffer[i], TempFile::Byte(i + kHeaderSize)) << i;
  EXPECT_EQ(buffer[300000 - kHeaderSize], 0);
  EXPECT_EQ(buffer[(1 << 20) - 1], 0);
  buffer[5] = 0xEE;
  std::uint8_t stored = 0;
  ASSERT_EQ(::pread(longer.Descriptor(), &stored, 1, kHeaderSize + 5), 1);
  EXPECT_EQ(stored, TempFile::Byte(kHeaderSize + 5));

  const TempFile shorter(5000);
  ASSERT_TRUE(buffer.MapFile(shorter.Descriptor(), kHeaderSize, 5000 - kHeaderSize));
  EXPECT_EQ(buffer[5], TempFile::Byte(kHeaderSize + 5));
  EXPECT_TRUE(std::all_of(buffer.get() + 5000 - kHeaderSize, buffer.get() + (1 << 20),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_FALSE(buffer.MapFile(shorter.Descriptor(), 0, 100));  // not where the buffer begins in a page
  buffer.Clear();
  EXPECT_FALSE(buffer.Mapped());
  EXPECT_TRUE(std::all_of(buffer.get(), buffer.get() + (1 << 20), [](std::uint8_t b) { return b == 0; }));
}

// Another program cuts the file short while it is mapped: its pages can no longer be read. They read as
// zero instead of ending the program, and the buffer says they were lost, until the next file is mapped.
TEST(FixedBuffer, PagesOfAFileCutShortReadAsZeroAndAreReportedLost) {
  FixedBuffer buffer(1 << 20, kHeaderSize);
  const TempFile file(200000);
  ASSERT_TRUE(buffer.MapFile(file.Descriptor(), kHeaderSize, 200000 - kHeaderSize));
  buffer[3] = 0x77;  // a page of the buffer's own
  ASSERT_EQ(::ftruncate(file.Descriptor(), 8192), 0);
  EXPECT_EQ(buffer[100], TempFile::Byte(kHeaderSize + 100));  // within the file still
  std::uint32_t sum = 0;
  for (std::size_t i = 8192; i < 200000 - kHeaderSize; ++i) sum += buffer[i];
  EXPECT_EQ(sum, 0u);
  EXPECT_TRUE(buffer.LostPages());

  FixedBuffer other(1 << 20, kHeaderSize);
  EXPECT_FALSE(other.LostPages());
  other.swap(buffer);  // the loss goes with the memory
  EXPECT_TRUE(other.LostPages());
  EXPECT_FALSE(buffer.LostPages());
  const TempFile next(10000);
  ASSERT_TRUE(other.MapFile(next.Descriptor(), kHeaderSize, 10000 - kHeaderSize));
  EXPECT_FALSE(other.LostPages());
}
#endif

}  // namespace
}  // namespace ar4
