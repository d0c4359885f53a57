#include "core/files/parameter_diff.h"

#include <algorithm>

namespace tavi {
namespace {

std::string Hex(std::size_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return out;
}

std::string Bytes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace

BlockDiff DiffBlocks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  BlockDiff diff;
  diff.length_a = a.size();
  diff.length_b = b.size();
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < common) {
    if (a[i] == b[i]) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < common && a[i] != b[i]) ++i;
    diff.ranges.push_back({start, i - start});
  }
  if (a.size() != b.size()) {
    diff.ranges.push_back({common, std::max(a.size(), b.size()) - common});
  }
  return diff;
}

std::string RangeHex(std::span<const std::uint8_t> block, const DiffRange& range,
                     std::size_t max_bytes) {
  if (range.offset >= block.size()) return {};
  const std::size_t held = std::min(range.length, block.size() - range.offset);
  const std::size_t shown = max_bytes > 0 ? std::min(held, max_bytes) : held;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(shown * 3 + 4);
  for (std::size_t k = 0; k < shown; ++k) {
    const std::uint8_t byte = block[range.offset + k];
    if (k > 0) out += ' ';
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  if (shown < held) out += " ...";
  return out;
}

std::string DescribeRange(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                          const DiffRange& range, std::size_t max_bytes) {
  const auto side = [&](std::span<const std::uint8_t> block) {
    std::string hex = RangeHex(block, range, max_bytes);
    return hex.empty() ? std::string("(none)") : hex;
  };
  return "offset " + std::to_string(range.offset) + " (0x" + Hex(range.offset) + "), " +
         Bytes(range.length) + ": " + side(a) + " | " + side(b);
}

std::string DescribeDiff(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                         const BlockDiff& diff, std::size_t max_ranges, std::size_t max_bytes) {
  std::string text;
  if (diff.length_a != diff.length_b) {
    text += "The lengths differ: " + Bytes(diff.length_a) + " and " + Bytes(diff.length_b) + ".\n";
  }
  const std::size_t shown = std::min(diff.ranges.size(), max_ranges);
  for (std::size_t k = 0; k < shown; ++k) {
    text += DescribeRange(a, b, diff.ranges[k], max_bytes) + "\n";
  }
  if (shown < diff.ranges.size()) {
    const std::size_t more = diff.ranges.size() - shown;
    text += "... and " + std::to_string(more) + (more == 1 ? " more range\n" : " more ranges\n");
  }
  return text;
}

}  // namespace tavi
