#include "core/protocol/console_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/protocol/check_byte.h"

namespace tavi {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ConsoleFrame, RsLineFrame) {
  const auto frame = BuildConsoleFrame("rs\n");
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(*frame, (Bytes{0x00, 0x03, 0x72, 0x73, 0x0A, 0xF3}));
}

TEST(ConsoleFrame, DefaultHeadRankTextAndFrame) {
  const std::string text = HeadRankConsoleText(0, "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB");
  EXPECT_EQ(text,
            "HeadInfo_SetHeadRank 0 \"7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB\"\n"
            "NvMemMan_Sync\nTask_Delay 80\nrs\n");
  EXPECT_EQ(text.size(), 92u);
  const auto frame = BuildConsoleFrame(text);
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->size(), 95u);
  EXPECT_EQ((*frame)[0], 0x00);
  EXPECT_EQ((*frame)[1], 0x5C);
  EXPECT_EQ(std::string(frame->begin() + 2, frame->end() - 1), text);
  EXPECT_EQ(frame->back(), 0x4C);
}

TEST(ConsoleFrame, HeadIndexAndShortStringGoInAsGiven) {
  EXPECT_EQ(HeadRankConsoleText(7, "ab c"),
            "HeadInfo_SetHeadRank 7 \"ab c\"\nNvMemMan_Sync\nTask_Delay 80\nrs\n");
}

TEST(ConsoleFrame, LengthIsBigEndianUpToTheBufferLimit) {
  const std::string longest(513, 'x');
  const auto frame = BuildConsoleFrame(longest);
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->size(), 516u);
  EXPECT_EQ((*frame)[0], 0x02);
  EXPECT_EQ((*frame)[1], 0x01);
  // 0x02 + 0x01 + 513 * 0x78 + 1 = 61,564 -> 0x7C mod 256
  EXPECT_EQ(frame->back(), 0x7C);
  EXPECT_FALSE(BuildConsoleFrame(std::string(514, 'x')).has_value());

  const auto empty = BuildConsoleFrame("");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(*empty, (Bytes{0x00, 0x00, 0x01}));
}

TEST(CheckByte, SumPlusOneWrapsModulo256) {
  EXPECT_EQ(CheckByte({}), 0x01);
  const Bytes wraps{0xFF};
  EXPECT_EQ(CheckByte(wraps), 0x00);
  const Bytes high{0x80, 0x80, 0xFE};
  EXPECT_EQ(CheckByte(high), 0xFF);
}

}  // namespace
}  // namespace tavi
