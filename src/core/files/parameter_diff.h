// Comparing two parameter blocks byte by byte: the ranges where they differ, and those ranges in
// words with both sides' values in hexadecimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavi {

// A run of offsets where the blocks differ. Within the length both blocks have, every byte of
// the run differs; a run that starts at the shorter block's end is the longer block's tail,
// which the other block lacks.
struct DiffRange {
  std::size_t offset = 0;
  std::size_t length = 0;
};

struct BlockDiff {
  std::size_t length_a = 0;
  std::size_t length_b = 0;
  std::vector<DiffRange> ranges;  // in offset order; the tail, if any, last

  [[nodiscard]] bool equal() const { return ranges.empty(); }
};

// Compares `a` with `b`.
[[nodiscard]] BlockDiff DiffBlocks(std::span<const std::uint8_t> a,
                                   std::span<const std::uint8_t> b);

// The bytes of `range` that `block` holds, as "0A FF 31"; empty when it holds none of them.
// With `max_bytes` > 0 at most that many are written, followed by " ..." when more there are.
[[nodiscard]] std::string RangeHex(std::span<const std::uint8_t> block, const DiffRange& range,
                                   std::size_t max_bytes = 0);

// One line for a range: "offset 16 (0x10), 3 bytes: 01 02 03 | 04 05 06", a side that lacks the
// bytes shown as "(none)". Each side shows at most `max_bytes` bytes (0: all).
[[nodiscard]] std::string DescribeRange(std::span<const std::uint8_t> a,
                                        std::span<const std::uint8_t> b, const DiffRange& range,
                                        std::size_t max_bytes);

// The first `max_ranges` ranges, one line each, then "... and N more ranges" when there are
// more; lines end with '\n'. A length difference is said first.
[[nodiscard]] std::string DescribeDiff(std::span<const std::uint8_t> a,
                                       std::span<const std::uint8_t> b, const BlockDiff& diff,
                                       std::size_t max_ranges, std::size_t max_bytes);

}  // namespace tavi
