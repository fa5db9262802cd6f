#include "core/archive/fixed_buffer.hpp"

#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
}  // namespace ar4
