#include "core/protocol/reply_framing.h"

#include <algorithm>
#include <limits>
#include <new>

namespace tavi {
namespace {

// White space as the C library sees it in the "C" locale.
bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

// Value of a hexadecimal digit, or -1.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Decimal {
  std::int32_t value = 0;
  std::size_t end = 0;  // where reading stopped; `from` when there was no number
};

// Base-10 reading from `from`: white space, optional sign, digits; clamped to the 32-bit range.
Decimal ReadDecimal(std::string_view s, std::size_t from) {
  std::size_t i = from;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  const std::size_t first_digit = i;
  // Saturates one past the largest magnitude either sign can hold.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  while (i < s.size() && IsDecimalDigit(s[i])) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (s[i] - '0');
    ++i;
  }
  if (i == first_digit) return Decimal{0, from};
  std::int64_t v = negative ? -magnitude : magnitude;
  v = std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max());
  return Decimal{static_cast<std::int32_t>(v), i};
}

}  // namespace

std::string ExtractReplyField(std::string_view text, std::string_view marker) {
  const std::size_t at = text.find(marker);
  if (at == std::string_view::npos) return {};
  const std::size_t semicolon = text.find(';', at);
  const std::size_t begin = at + marker.size();
  if (semicolon == std::string_view::npos || semicolon < begin) return {};
  return std::string(text.substr(begin, semicolon - begin));
}

std::string_view WorkingPayload(std::string_view payload) {
  const std::size_t zero = payload.find('\0');
  if (zero != std::string_view::npos) payload = payload.substr(0, zero);
  return payload.substr(0, std::min(payload.size(), kMaxPayloadLength));
}

PayloadIndex ReadPayloadIndex(std::string_view payload) {
  const Decimal d = ReadDecimal(WorkingPayload(payload), 0);
  return PayloadIndex{d.value, d.end};
}

std::int32_t ReadHeaderCount(std::string_view payload, std::size_t stop) {
  const std::string_view w = WorkingPayload(payload);
  if (stop >= w.size()) return 0;  // the payload ends right after its index
  const std::int32_t n = ReadDecimal(w, stop + 1).value;
  return (n < 0 || n > kMaxChunkCount) ? 0 : n;
}

std::uint8_t DecodeHexPair(char high, char low) {
  int sign = 1;
  // Only the second character can follow skipped white space or a sign.
  if (IsCSpace(high) || high == '+' || high == '-') {
    if (high == '-') sign = -1;
    const int v = HexValue(low);
    return v < 0 ? 0 : static_cast<std::uint8_t>((sign * v) & 0xFF);
  }
  const int h = HexValue(high);
  if (h < 0) return 0;
  const int l = HexValue(low);
  return static_cast<std::uint8_t>(l < 0 ? h : h * 16 + l);
}

ChunkAssembly::ChunkAssembly(ChunkForm form, std::int32_t count) : form_(form) {
  if (count < 1 || count > kMaxChunkCount) return;
  const std::size_t n = static_cast<std::size_t>(count);
  try {
    seen_.assign(n, 0);
    buffer_.assign(n * kChunkDataBytes + (form == ChunkForm::kReport ? 1 : 0), 0);
  } catch (const std::bad_alloc&) {
    seen_.clear();
    buffer_.clear();
    ok_ = false;
    return;
  }
  count_ = count;
}

bool ChunkAssembly::Offer(std::string_view payload) {
  if (!ok_ || oversized_index_ != 0) return false;
  const std::string_view w = WorkingPayload(payload);
  const PayloadIndex at = ReadPayloadIndex(w);
  if (at.index < 1 || at.index > count_) return false;
  // Pairs of digits after the separator; a single trailing digit does not count.
  const std::size_t data_chars = w.size() > at.stop + 1 ? w.size() - (at.stop + 1) : 0;
  if (data_chars / 2 > kChunkDataBytes) {
    oversized_index_ = at.index;
    oversized_bytes_ = data_chars / 2;
    return false;
  }
  const std::size_t slot = static_cast<std::size_t>(at.index) - 1;
  if (seen_[slot] != 0) return false;
  seen_[slot] = 1;
  ++received_;

  std::uint8_t* out = buffer_.data() + slot * kChunkDataBytes;
  std::size_t stored = 0;
  std::size_t pos = at.stop + 1;  // one separator character skipped
  while (pos < w.size()) {
    const char high = w[pos++];
    if (pos >= w.size()) break;  // a single trailing digit is dropped
    const char low = w[pos++];
    if (stored < kChunkDataBytes) out[stored++] = DecodeHexPair(high, low);
  }
  if (at.index == count_) {
    if (form_ == ChunkForm::kReport) {
      out[stored] = 0;  // at most byte N*128, the report form's extra byte
    } else {
      last_length_ = static_cast<std::int32_t>(stored);
    }
  }
  return true;
}

std::string ChunkAssembly::ReportText() const {
  if (!complete() || form_ != ChunkForm::kReport) return {};
  const auto end = std::find(buffer_.begin(), buffer_.end(), std::uint8_t{0});
  return std::string(buffer_.begin(), end);
}

std::int32_t ChunkAssembly::CopyParameters(std::span<std::uint8_t> dest) const {
  if (!complete() || form_ != ChunkForm::kParameter) return -1;
  const std::size_t length = (static_cast<std::size_t>(count_) - 1) * kChunkDataBytes +
                             static_cast<std::size_t>(last_length_);
  const std::size_t capacity =
      std::min<std::size_t>(dest.size(), std::numeric_limits<std::int32_t>::max());
  const std::size_t copied = std::min(length, capacity);
  std::copy_n(buffer_.begin(), copied, dest.begin());
  return static_cast<std::int32_t>(copied);
}

}  // namespace tavi
