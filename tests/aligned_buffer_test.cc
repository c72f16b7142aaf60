// The owner of the unfolded diagram's blocks: zeroed, aligned (a large one
// on a huge-page boundary), moved without a copy, released once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "scoring/AlignedBuffer.h"

namespace KtZembra_940 {
namespace {

bool AllZero(const AlignedBuffer& buffer) {
  const unsigned char* bytes = static_cast<const unsigned char*>(buffer.data());
  for (size_t i = 0; i < buffer.size(); ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(AlignedBuffer, ZeroedAndAlignedForEverySize) {
  const struct {
    size_t bytes;
    size_t align;     // the boundary data() must sit on
    size_t reserved;  // what it holds, rounded up
  } rows[] = {
      {1, 128, 1},
      {200, 128, 200},
      {(size_t{1} << 20) - 1, 128, (size_t{1} << 20) - 1},  // the largest on ordinary pages
      {size_t{1} << 20, size_t{2} << 20, size_t{2} << 20},
      {(size_t{3} << 20) + 5, size_t{2} << 20, size_t{4} << 20},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes);
    AlignedBuffer buffer(row.bytes);
    ASSERT_NE(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), row.bytes);
    EXPECT_EQ(buffer.reserved(), row.reserved);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % row.align, 0u);
    EXPECT_TRUE(AllZero(buffer));
    // Every byte is writable, the last included.
    std::memset(buffer.data(), 0xA5, buffer.size());
    EXPECT_EQ(static_cast<unsigned char*>(buffer.data())[row.bytes - 1], 0xA5);
  }
}

TEST(AlignedBuffer, EmptyHoldsNothing) {
  AlignedBuffer none;
  EXPECT_EQ(none.data(), nullptr);
  AlignedBuffer zero(0);
  EXPECT_EQ(zero.data(), nullptr);
  EXPECT_EQ(zero.size(), 0u);
  EXPECT_EQ(zero.reserved(), 0u);
}

TEST(AlignedBuffer, MovesHandOverTheBytes) {
  for (size_t bytes : {size_t{300}, size_t{3} << 20}) {
    SCOPED_TRACE(bytes);
    AlignedBuffer first(bytes);
    static_cast<unsigned char*>(first.data())[7] = 42;
    void* const held = first.data();
    AlignedBuffer second(std::move(first));
    EXPECT_EQ(first.data(), nullptr);
    EXPECT_EQ(first.size(), 0u);
    EXPECT_EQ(second.data(), held);
    EXPECT_EQ(second.size(), bytes);
    // Assignment releases what the target held (a leak or a double
    // release shows under the sanitizers).
    AlignedBuffer third(64);
    third = std::move(second);
    EXPECT_EQ(third.data(), held);
    EXPECT_EQ(static_cast<unsigned char*>(third.data())[7], 42);
    EXPECT_EQ(second.data(), nullptr);
    third = AlignedBuffer();
    EXPECT_EQ(third.data(), nullptr);
  }
}

}  // namespace
}  // namespace KtZembra_940
