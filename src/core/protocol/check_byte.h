// The check byte that ends a parameter image and every console frame.
#pragma once

#include <cstdint>
#include <span>

namespace tavi {

// (sum of the bytes, taken as unsigned 8-bit values, + 1) mod 256.
std::uint8_t CheckByte(std::span<const std::uint8_t> bytes);

}  // namespace tavi
