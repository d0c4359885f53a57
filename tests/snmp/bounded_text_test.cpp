#include "core/net/bounded_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace tavi {
namespace {

TEST(BoundedText, HoldsAtMostCapacityMinusOneCharacters) {
  BoundedText text(8);
  text.Append("abc");
  text.AppendF("%d-%s", 42, "xyz");  // "42-xyz" fits only as "42-x"
  EXPECT_EQ(text.str(), "abc42-x");
  EXPECT_TRUE(text.full());
  text.Append("more");
  text.AppendF("%s", "more");
  EXPECT_EQ(text.str(), "abc42-x");
  EXPECT_EQ(std::string(text.c_str()), "abc42-x");

  for (std::size_t capacity : {0u, 1u}) {
    BoundedText empty(capacity);
    empty.Append("a");
    empty.AppendF("%c", 'b');
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_STREQ(empty.c_str(), "");
  }
}

TEST(BoundedText, ZeroCharactersAreNeverStored) {
  BoundedText text(16);
  text.Append(std::string_view("ab\0cd", 5));
  text.AppendF("%c", 0);
  text.AppendF("x%cy", 0);
  EXPECT_EQ(text.str(), "abx");
}

TEST(BoundedText, CopyToCutsAndTerminates) {
  BoundedText text(16);
  text.Append("hello");
  std::array<char, 4> small;
  EXPECT_EQ(text.CopyTo(small), 4u);
  EXPECT_STREQ(small.data(), "hel");
  std::array<char, 16> big;
  EXPECT_EQ(text.CopyTo(big), 6u);
  EXPECT_STREQ(big.data(), "hello");
  EXPECT_EQ(text.CopyTo({}), 0u);

  BoundedText copy = text;
  copy.Append("!");
  text.Clear();
  EXPECT_EQ(copy.str(), "hello!");
  EXPECT_EQ(copy.capacity(), 16u);
  EXPECT_EQ(text.str(), "");
  text = copy;
  EXPECT_EQ(text.str(), "hello!");
}

}  // namespace
}  // namespace tavi
