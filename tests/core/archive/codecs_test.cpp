#include "core/archive/codecs.hpp"

#include <gtest/gtest.h>

namespace ar4 {
namespace {

TEST(CellChecksum, Examples) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  const std::uint8_t ff[] = {0xFF};
  EXPECT_EQ(CellChecksum(nullptr, 0), 0x01);
  EXPECT_EQ(CellChecksum(abc, 3), 0x5F);
  EXPECT_EQ(CellChecksum(ff, 1), 0x00);
}

}  // namespace
}  // namespace ar4
