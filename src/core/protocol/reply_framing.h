// Framing and assembly of chunked replies: the reply field "<marker><payload>;", the payload's
// index / separator / rest, hexadecimal pair decoding, and the assembly of chunks 1..N.
//
// The polling loops (header wait, chunk collection) sit on top of these pure functions:
//   payload = ExtractReplyField(reply_text, marker);
//   PayloadIndex at = ReadPayloadIndex(payload);
//   header:  if (at.index == 0) n = ReadHeaderCount(payload, at.stop);
//   chunks:  ChunkAssembly assembly(form, n); ... assembly.Offer(payload) ...
//
// Every reader first takes the working payload (WorkingPayload): at most 511 characters, ended
// early by a zero byte, as if copied into a 512-byte zero-terminated buffer. Nothing here reads
// outside the text it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// The working buffer that a payload is copied into holds 511 characters and a terminating zero.
inline constexpr std::size_t kPayloadBufferSize = 512;
inline constexpr std::size_t kMaxPayloadLength = kPayloadBufferSize - 1;
// Data bytes a chunk carries at most; chunk k owns bytes (k-1)*128 .. k*128-1.
inline constexpr std::size_t kChunkDataBytes = 128;
// Largest chunk count a header may announce (128 MiB of assembly); larger reads as 0.
inline constexpr std::int32_t kMaxChunkCount = 1048576;

// The payload of the first complete reply field of `marker` in `text`: the characters after the
// first occurrence of the marker up to the first ";" at or after the marker's start. Empty when
// the marker is missing or no ";" follows it (an empty payload is also possible).
std::string ExtractReplyField(std::string_view text, std::string_view marker);

// The part of a payload that is read: cut at the first zero byte and after 511 characters.
std::string_view WorkingPayload(std::string_view payload);

struct PayloadIndex {
  std::int32_t index = 0;  // 0 for a header, 1..N for a chunk
  std::size_t stop = 0;    // position in the working payload where reading stopped
};

// Reads the index at the start of the working payload by the C library's base-10 rules: leading
// white space, an optional sign, digits. No number: index 0, stop 0. A value outside the 32-bit
// range is clamped to INT32_MIN / INT32_MAX (all of its digits are still consumed).
PayloadIndex ReadPayloadIndex(std::string_view payload);

// Reads the header's chunk count one character after `stop` (the separator is skipped without
// being examined), by the same base-10 rules. Nothing after the index, no number, a negative
// count or one above kMaxChunkCount: 0.
std::int32_t ReadHeaderCount(std::string_view payload, std::size_t stop);

// One pair of characters read as a base-16 number by the C library's rules, low 8 bits kept:
// leading white space skipped, a sign applies to what follows, the leading valid part counts.
// "41" -> 0x41, "-1" -> 0xFF, "zz" -> 0x00, "4z" -> 0x04, " 7" -> 0x07.
std::uint8_t DecodeHexPair(char high, char low);

enum class ChunkForm {
  kReport,     // assembly N*128+1 bytes; a zero byte is stored right after chunk N's data
  kParameter,  // assembly N*128 bytes; chunk N's data length is remembered as the last length
};

// Collects chunks 1..N, each kept the first time it is offered, in any order. The assembly
// buffer starts zero-filled. A chunk that carries more data bytes than its 128-byte slot holds
// spoils the whole answer: the assembly refuses it and every chunk after it, and never
// completes (a cut or shifted block would pass for the printer's own).
class ChunkAssembly {
 public:
  // A count below 1 or above kMaxChunkCount gives an empty assembly that takes no chunk. When
  // the buffers cannot be had, ok() is false and no chunk is taken either.
  ChunkAssembly(ChunkForm form, std::int32_t count);

  // Stores the chunk of `payload` when its index is 1..N and not yet received; returns true
  // then. Out-of-range indexes and repeated chunks are ignored (false). A chunk of 1..N with
  // more than 128 data bytes is refused (false) and leaves the assembly oversized().
  bool Offer(std::string_view payload);

  // The index of the first chunk that carried more than its slot holds, 0 when none did.
  std::int32_t oversized() const { return oversized_index_; }
  // The data bytes that chunk carried.
  std::size_t oversized_bytes() const { return oversized_bytes_; }

  bool ok() const { return ok_; }
  std::int32_t count() const { return count_; }
  std::int32_t received() const { return received_; }
  bool complete() const {
    return ok_ && oversized_index_ == 0 && count_ > 0 && received_ == count_;
  }
  // Data bytes that chunk N carried (0 until it arrives).
  std::int32_t last_length() const { return last_length_; }

  // Report form, once complete: the assembled bytes up to the first zero byte. Otherwise "".
  std::string ReportText() const;

  // Parameter form, once complete: copies L = (N-1)*128 + last length bytes, at most
  // dest.size() (and at most INT32_MAX), and returns the count. -1 when not complete or not
  // the parameter form; nothing is copied then.
  std::int32_t CopyParameters(std::span<std::uint8_t> dest) const;

 private:
  ChunkForm form_;
  std::int32_t count_ = 0;
  std::int32_t received_ = 0;
  std::int32_t last_length_ = 0;
  std::int32_t oversized_index_ = 0;
  std::size_t oversized_bytes_ = 0;
  bool ok_ = true;
  std::vector<std::uint8_t> seen_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace tavi
