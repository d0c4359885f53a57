// The parameter-file codec. A parameter file is the encoded form of one parameter image (the
// parameter block followed by its check byte), with no header: PackBits-style run packing, then
// an additive key stream, then an 8-way bit interleave. Pure computation on caller-owned buffers;
// lengths and results are signed 32-bit, as the file flows expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol/check_byte.h"

namespace tavi {

// A parameter block is 1..131,071 bytes; with its check byte the image is at most 131,072.
inline constexpr std::int32_t kMaxParameterBlockLength = 131071;
inline constexpr std::int32_t kMaxParameterImageLength = 131072;
// At most this many bytes of a parameter file are read.
inline constexpr std::int32_t kMaxParameterFileLength = 131072;
// The key stream is access code A followed by one zero byte, so it repeats every 501 bytes.
inline constexpr std::size_t kKeyStreamPeriod = 501;

// Results of UnpackRuns besides the output length.
inline constexpr std::int32_t kRunsOverflow = -1;   // output would exceed the capacity
inline constexpr std::int32_t kRunsTruncated = -2;  // input ends inside a group / stray byte

// encode true: `source` is the parameter image and is only read; `target` receives the file
// bytes; returns the file length. encode false: `source` holds the file bytes and is used as
// working storage (its content is destroyed); `target` receives the parameter image; returns its
// length. -1 for every failure of a stage. The target's size is its capacity.
std::int32_t ParameterCodec(std::span<std::uint8_t> source, std::span<std::uint8_t> target,
                            bool encode);

// Packs `source` into `target` in groups: header 0..127 = literal of header+1 bytes, header
// 129..255 = run of 257-header copies of the next byte. Returns the packed length, or -1 when a
// group would not fit (the bytes already written are then of no use).
std::int32_t PackRuns(std::span<const std::uint8_t> source, std::span<std::uint8_t> target);

// Unpacks groups (header 128 writes nothing). Returns the output length, kRunsOverflow when a
// group would exceed the capacity (tested first), kRunsTruncated when the input ends inside a
// literal group or one byte is left over.
std::int32_t UnpackRuns(std::span<const std::uint8_t> source, std::span<std::uint8_t> target);

// Adds (add true) or subtracts the key stream, byte by byte mod 256, starting at key position 0.
void ApplyKeyStream(std::span<std::uint8_t> buffer, bool add);

// Bit k of byte i comes from byte (i + d_k) mod L, d_k = L*(k+1)/9 (forward) or L - that
// (backward, which undoes forward). Returns 0, or -1 when no working copy could be had (the
// buffer is then untouched).
std::int32_t InterleaveBits(std::span<std::uint8_t> buffer, bool forward);

// A decoded parameter image is valid when it has at least one byte and its last byte is the
// check byte of the others.
bool IsValidParameterImage(std::span<const std::uint8_t> image);

}  // namespace tavi
