// SHA-256 (FIPS 180-4), streaming, for the journal's file digests and what the virtual printer
// received as a firmware image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavi {

class Sha256 {
 public:
  Sha256() { Reset(); }
  void Reset();
  void Update(std::span<const std::byte> bytes);
  // Finishes the hash; the object must be Reset before it is used again.
  std::array<std::uint8_t, 32> Finish();
  // Finish as 64 lower-case hexadecimal digits.
  std::string FinishHex();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_{};
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t total_bytes_ = 0;
};

// The hash of a whole byte range, as hexadecimal.
std::string Sha256Hex(std::span<const std::byte> bytes);

}  // namespace tavi
