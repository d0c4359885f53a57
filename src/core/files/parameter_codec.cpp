#include "core/files/parameter_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "core/resources/constants.h"

namespace tavi {
namespace {

constexpr std::size_t kMaxLength =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
constexpr std::size_t kMaxGroup = 128;

// Lengths and capacities are 32-bit: a larger span counts as its first INT32_MAX bytes.
std::size_t Capacity(std::span<std::uint8_t> target) {
  return std::min(target.size(), kMaxLength);
}

// out[i] |= in[i] & mask for i < n, eight bytes at a time.
void OrMasked(std::uint8_t* out, const std::uint8_t* in, std::size_t n, std::uint8_t mask) {
  const std::uint64_t wide = 0x0101010101010101ull * mask;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, out + i, 8);
    std::memcpy(&b, in + i, 8);
    a |= b & wide;
    std::memcpy(out + i, &a, 8);
  }
  for (; i < n; ++i) out[i] |= static_cast<std::uint8_t>(in[i] & mask);
}

}  // namespace

std::int32_t PackRuns(std::span<const std::uint8_t> source, std::span<std::uint8_t> target) {
  const std::size_t n = source.size();
  if (n > kMaxLength) return -1;
  const std::size_t capacity = Capacity(target);
  std::size_t out = 0;
  std::size_t s = 0;
  while (s < n) {
    if (s + 1 == n) {  // the last byte alone: a one-byte literal
      if (out + 2 > capacity) return -1;
      target[out++] = 0x00;
      target[out++] = source[s];
      break;
    }
    std::size_t k = 1;
    if (source[s] == source[s + 1]) {
      while (s + k < n && k < kMaxGroup && source[s + k] == source[s]) ++k;
      if (out + 2 > capacity) return -1;
      target[out++] = static_cast<std::uint8_t>(257 - k);
      target[out++] = source[s];
    } else {
      // The literal ends before a byte that equals its successor (it starts the next run).
      while (s + k < n && k < kMaxGroup) {
        const std::size_t j = s + k;
        if (j + 1 < n && source[j] == source[j + 1]) break;
        ++k;
      }
      if (out + k + 1 > capacity) return -1;
      target[out++] = static_cast<std::uint8_t>(k - 1);
      std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(s), k,
                  target.begin() + static_cast<std::ptrdiff_t>(out));
      out += k;
    }
    s += k;
  }
  return static_cast<std::int32_t>(out);
}

std::int32_t UnpackRuns(std::span<const std::uint8_t> source, std::span<std::uint8_t> target) {
  const std::size_t n = std::min(source.size(), kMaxLength);
  const std::size_t capacity = Capacity(target);
  std::size_t in = 0;
  std::size_t out = 0;
  while (n - in > 1) {
    const std::uint8_t h = source[in++];
    if (h == 128) continue;
    const std::size_t c = h < 128 ? std::size_t{h} + 1 : 257 - std::size_t{h};
    if (out + c > capacity) return kRunsOverflow;
    if (h < 128) {
      if (n - in < c) return kRunsTruncated;
      std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(in), c,
                  target.begin() + static_cast<std::ptrdiff_t>(out));
      in += c;
    } else {
      std::fill_n(target.begin() + static_cast<std::ptrdiff_t>(out), c, source[in++]);
    }
    out += c;
  }
  if (n - in == 1) return kRunsTruncated;
  return static_cast<std::int32_t>(out);
}

void ApplyKeyStream(std::span<std::uint8_t> buffer, bool add) {
  const std::string_view code = AccessCodeA();
  static_assert(kKeyStreamPeriod == kAccessCodeLength + 1);
  // Walk the buffer one key period at a time; the period's last position is the zero byte.
  for (std::size_t start = 0; start < buffer.size(); start += kKeyStreamPeriod) {
    const std::size_t run = std::min(code.size(), buffer.size() - start);
    std::uint8_t* p = buffer.data() + start;
    for (std::size_t j = 0; j < run; ++j) {
      const auto key = static_cast<std::uint8_t>(code[j]);
      p[j] = static_cast<std::uint8_t>(add ? p[j] + key : p[j] - key);
    }
  }
}

std::int32_t InterleaveBits(std::span<std::uint8_t> buffer, bool forward) {
  const std::size_t length = buffer.size();
  if (length == 0) return 0;
  std::vector<std::uint8_t> copy;
  try {
    copy.assign(buffer.begin(), buffer.end());
  } catch (const std::bad_alloc&) {
    return -1;
  }
  std::array<std::size_t, 8> offset{};
  for (std::size_t k = 0; k < 8; ++k) {
    const std::size_t d =
        static_cast<std::size_t>((static_cast<std::uint64_t>(length) * (k + 1)) / 9);
    offset[k] = forward ? d : length - d;
  }
  // One pass per bit position, split where (i + d) wraps past the end.
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  std::uint8_t* out = buffer.data();
  const std::uint8_t* in = copy.data();
  for (std::size_t k = 0; k < 8; ++k) {
    const auto mask = static_cast<std::uint8_t>(1u << k);
    const std::size_t d = offset[k] == length ? 0 : offset[k];
    const std::size_t head = length - d;
    OrMasked(out, in + d, head, mask);
    OrMasked(out + head, in, length - head, mask);
  }
  return 0;
}

std::int32_t ParameterCodec(std::span<std::uint8_t> source, std::span<std::uint8_t> target,
                            bool encode) {
  if (encode) {
    const std::int32_t n = PackRuns(source, target);
    if (n < 0) return -1;
    const auto packed = target.first(static_cast<std::size_t>(n));
    ApplyKeyStream(packed, true);
    if (InterleaveBits(packed, true) != 0) return -1;
    return n;
  }
  if (source.size() > kMaxLength) return -1;
  if (InterleaveBits(source, false) != 0) return -1;
  ApplyKeyStream(source, false);
  const std::int32_t n = UnpackRuns(source, target);
  return n < 0 ? -1 : n;
}

bool IsValidParameterImage(std::span<const std::uint8_t> image) {
  if (image.empty()) return false;
  return image.back() == CheckByte(image.first(image.size() - 1));
}

}  // namespace tavi
