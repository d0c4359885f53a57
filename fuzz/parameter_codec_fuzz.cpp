// Feeds arbitrary bytes to the run unpacker and the parameter-file decoder (exact-size copies,
// so that any read past the input is caught), checks that neither writes past its capacity, and
// that encoding the bytes as an image decodes back to them.
// fuzz-max-len: 131072
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/files/parameter_codec.h"

namespace {

constexpr std::size_t kGuard = 16;
constexpr std::uint8_t kGuardByte = 0xA5;

// A target of `capacity` bytes followed by guard bytes that must survive.
struct Guarded {
  explicit Guarded(std::size_t capacity)
      : bytes(capacity + kGuard, kGuardByte), capacity(capacity) {}
  std::span<std::uint8_t> target() { return std::span(bytes).first(capacity); }
  void CheckGuard() const {
    if (!std::all_of(bytes.end() - kGuard, bytes.end(),
                     [](std::uint8_t b) { return b == kGuardByte; })) {
      std::abort();
    }
  }
  std::vector<std::uint8_t> bytes;
  std::size_t capacity;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(tavi::kMaxParameterFileLength)) return 0;
  const std::vector<std::uint8_t> input(data, data + size);
  // The first byte picks a capacity: a small one to reach the overflow paths, or one that no
  // input of this size can exceed (a 2-byte run group writes at most 128 bytes).
  const std::size_t roomy = std::min<std::size_t>(size * 64, tavi::kMaxParameterImageLength);
  const std::size_t capacity = size == 0 ? 0 : (data[0] % 4 == 0 ? data[0] : roomy);

  Guarded unpacked(capacity);
  const std::int32_t n = tavi::UnpackRuns(input, unpacked.target());
  unpacked.CheckGuard();
  if (n < tavi::kRunsTruncated || n > static_cast<std::int32_t>(capacity)) std::abort();

  std::vector<std::uint8_t> file = input;
  Guarded decoded(capacity);
  const std::int32_t m = tavi::ParameterCodec(file, decoded.target(), false);
  decoded.CheckGuard();
  if (m < -1 || m > static_cast<std::int32_t>(capacity)) std::abort();

  // Round trip: the input taken as an image.
  std::vector<std::uint8_t> image = input;
  Guarded encoded(size * 2 + 2);  // packing grows by at most 4/3
  const std::int32_t e = tavi::ParameterCodec(image, encoded.target(), true);
  encoded.CheckGuard();
  if (e < 0 || image != input) std::abort();
  std::vector<std::uint8_t> packed_file(encoded.bytes.begin(), encoded.bytes.begin() + e);
  Guarded back(size);
  const std::int32_t r = tavi::ParameterCodec(packed_file, back.target(), false);
  back.CheckGuard();
  if (r != static_cast<std::int32_t>(size) ||
      !std::equal(input.begin(), input.end(), back.bytes.begin())) {
    std::abort();
  }
  return 0;
}
