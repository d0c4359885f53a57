#include "core/files/parameter_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/resources/constants.h"

namespace tavi {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pack(const Bytes& in, std::size_t capacity = 1 << 18) {
  Bytes out(capacity);
  const std::int32_t n = PackRuns(in, out);
  if (n < 0) return {};
  out.resize(static_cast<std::size_t>(n));
  return out;
}

Bytes Distinct(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A parameter image: random block with runs here and there, then its check byte.
Bytes RandomImage(std::size_t block_length, std::mt19937& rng) {
  Bytes block(block_length);
  for (std::size_t i = 0; i < block_length; ++i) {
    block[i] = (rng() % 4 == 0 && i > 0) ? block[i - 1] : static_cast<std::uint8_t>(rng());
  }
  block.push_back(CheckByte(block));
  return block;
}

TEST(PackRuns, GroupsOfTheExamples) {
  EXPECT_EQ(Pack({0x41, 0x41, 0x41, 0x42}), (Bytes{0xFE, 0x41, 0x00, 0x42}));
  EXPECT_EQ(Pack({0x41, 0x42, 0x43, 0x44, 0x44, 0x44, 0x44, 0x45}),
            (Bytes{0x02, 0x41, 0x42, 0x43, 0xFD, 0x44, 0x00, 0x45}));
  EXPECT_EQ(Pack({0x41}), (Bytes{0x00, 0x41}));
  EXPECT_EQ(Pack({0x41, 0x42}), (Bytes{0x01, 0x41, 0x42}));
  EXPECT_EQ(Pack({0x41, 0x41}), (Bytes{0xFF, 0x41}));
  Bytes out(4, 0xEE);
  EXPECT_EQ(PackRuns({}, out), 0);
}

TEST(PackRuns, RunsAndLiteralsSplitAt128) {
  EXPECT_EQ(Pack(Bytes(128, 0x5A)), (Bytes{0x81, 0x5A}));
  EXPECT_EQ(Pack(Bytes(129, 0x5A)), (Bytes{0x81, 0x5A, 0x00, 0x5A}));
  EXPECT_EQ(Pack(Bytes(130, 0x5A)), (Bytes{0x81, 0x5A, 0xFF, 0x5A}));

  const Bytes d128 = Distinct(128);
  EXPECT_EQ(Pack(d128), Concat({{0x7F}, d128}));
  const Bytes d129 = Distinct(129);
  const Bytes packed = Pack(d129);
  ASSERT_EQ(packed.size(), 131u);
  EXPECT_EQ(packed, Concat({{0x7F}, Distinct(128), {0x00, 0x80}}));
}

TEST(PackRuns, RefusesWhenAGroupDoesNotFit) {
  Bytes out(3);
  EXPECT_EQ(PackRuns(Bytes{1, 2, 3}, out), -1);  // literal needs 4
  Bytes four(4);
  EXPECT_EQ(PackRuns(Bytes{1, 2, 3}, four), 4);
  Bytes one(1);
  EXPECT_EQ(PackRuns(Bytes{7, 7, 7}, one), -1);  // run needs 2
  EXPECT_EQ(PackRuns(Bytes{7}, one), -1);        // lone byte needs 2
  Bytes three(3);
  EXPECT_EQ(PackRuns(Bytes{7, 7, 8}, three), -1);  // run fits, the lone 8 does not
}

TEST(UnpackRuns, GroupsAndFailures) {
  Bytes out(16, 0xEE);
  EXPECT_EQ(UnpackRuns({}, out), 0);
  EXPECT_EQ(UnpackRuns(Bytes{0x00}, out), kRunsTruncated);
  EXPECT_EQ(UnpackRuns(Bytes{0x80}, out), kRunsTruncated);
  ASSERT_EQ(UnpackRuns(Bytes{0x80, 0x00, 0x41}, out), 1);
  EXPECT_EQ(out[0], 0x41);
  ASSERT_EQ(UnpackRuns(Bytes{0xFD, 0x44, 0x01, 0x01, 0x02}, out), 6);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0x44, 0x44, 0x44, 0x44, 0x01, 0x02}));
  // A literal whose data runs past the end; a stray byte after complete groups.
  EXPECT_EQ(UnpackRuns(Bytes{0x02, 0x41, 0x42}, out), kRunsTruncated);
  EXPECT_EQ(UnpackRuns(Bytes{0xFF, 0x41, 0x07}, out), kRunsTruncated);
}

TEST(UnpackRuns, CapacityIsTestedFirstAndNeverPassed) {
  Bytes guarded(8, 0xEE);
  std::span<std::uint8_t> two(guarded.data(), 2);
  EXPECT_EQ(UnpackRuns(Bytes{0xFE, 0x41}, two), kRunsOverflow);  // 3 copies into 2
  EXPECT_EQ(UnpackRuns(Bytes{0x05, 0x41}, two), kRunsOverflow);  // too long and truncated
  EXPECT_EQ(UnpackRuns(Bytes{0x00, 0x41, 0xFF, 0x42}, two), kRunsOverflow);
  EXPECT_EQ(UnpackRuns(Bytes{0x01, 0x41, 0x42}, two), 2);
  EXPECT_EQ(Bytes(guarded.begin() + 2, guarded.end()), Bytes(6, 0xEE));
}

TEST(KeyStream, PeriodIs501WithAZeroKeyAtItsEnd) {
  Bytes buffer(1002, 0x10);
  ApplyKeyStream(buffer, true);
  const std::string_view code = AccessCodeA();
  EXPECT_EQ(buffer[500], 0x10);
  EXPECT_EQ(buffer[1001], 0x10);
  EXPECT_EQ(buffer[0], static_cast<std::uint8_t>(0x10 + code[0]));
  EXPECT_EQ(buffer[501], static_cast<std::uint8_t>(0x10 + code[0]));
  EXPECT_EQ(buffer[499], static_cast<std::uint8_t>(0x10 + code[499]));
  EXPECT_EQ(buffer[1000], static_cast<std::uint8_t>(0x10 + code[499]));
  ApplyKeyStream(buffer, false);
  EXPECT_EQ(buffer, Bytes(1002, 0x10));

  Bytes wraps{0xFF};
  ApplyKeyStream(wraps, true);
  EXPECT_EQ(wraps[0], static_cast<std::uint8_t>(0xFF + code[0]));
}

TEST(InterleaveBits, VectorsForNineAndTenBytes) {
  Bytes nine{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x01};
  ASSERT_EQ(InterleaveBits(nine, true), 0);
  EXPECT_EQ(nine, (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF}));
  ASSERT_EQ(InterleaveBits(nine, false), 0);
  EXPECT_EQ(nine, (Bytes{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x01}));

  Bytes ten{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
  ASSERT_EQ(InterleaveBits(ten, true), 0);
  EXPECT_EQ(ten, (Bytes{0x06, 0x05, 0x04, 0x0F, 0x0A, 0x09, 0x00, 0x03, 0x00, 0x03}));
}

TEST(InterleaveBits, ShortBuffersAndRoundTrips) {
  Bytes empty;
  EXPECT_EQ(InterleaveBits(empty, true), 0);
  // Below 9 bytes some offsets are 0: with L = 1 nothing moves; with L = 2 bits 4..7 swap.
  Bytes one{0xA5};
  ASSERT_EQ(InterleaveBits(one, true), 0);
  EXPECT_EQ(one, Bytes{0xA5});
  Bytes two{0x0F, 0xF0};
  ASSERT_EQ(InterleaveBits(two, true), 0);
  EXPECT_EQ(two, (Bytes{0xFF, 0x00}));

  std::mt19937 rng(3);
  for (std::size_t n : {2u, 8u, 9u, 17u, 1000u, 131072u}) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    const Bytes original = b;
    ASSERT_EQ(InterleaveBits(b, true), 0);
    if (n >= 9) {
      EXPECT_NE(b, original) << n;
    }
    ASSERT_EQ(InterleaveBits(b, false), 0);
    EXPECT_EQ(b, original) << n;
  }
}

TEST(ParameterCodec, RoundTripOverImageSizes) {
  std::mt19937 rng(11);
  for (std::size_t block :
       {0u, 1u, 2u, 8u, 127u, 128u, 129u, 500u, 501u, 1001u, 65536u, 131070u, 131071u}) {
    Bytes image = RandomImage(block, rng);
    Bytes file(image.size() * 2 + 2);  // packing grows by at most 4/3
    const std::int32_t n = ParameterCodec(image, file, true);
    ASSERT_GT(n, 0) << block;
    file.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(file.size(), Pack(image).size());

    Bytes decoded(kMaxParameterImageLength);
    const std::int32_t m = ParameterCodec(file, decoded, false);
    ASSERT_EQ(m, static_cast<std::int32_t>(image.size())) << block;
    decoded.resize(static_cast<std::size_t>(m));
    EXPECT_EQ(decoded, image) << block;
    EXPECT_TRUE(IsValidParameterImage(decoded));
  }
}

TEST(ParameterCodec, CapacityAndEmptyInput) {
  Bytes empty;
  Bytes out(4, 0xEE);
  EXPECT_EQ(ParameterCodec(empty, out, true), 0);
  EXPECT_EQ(ParameterCodec(empty, out, false), 0);

  Bytes image = Distinct(10);
  Bytes exact(11);
  ASSERT_EQ(ParameterCodec(image, exact, true), 11);
  Bytes small(10);
  EXPECT_EQ(ParameterCodec(image, small, true), -1);

  Bytes file = exact;
  Bytes guarded(12, 0xEE);
  EXPECT_EQ(ParameterCodec(file, std::span(guarded.data(), 9), false), -1);
  EXPECT_EQ(Bytes(guarded.begin() + 9, guarded.end()), Bytes(3, 0xEE));
}

TEST(ParameterCodec, DamagedFilesFailOrDecodeInsideTheCapacity) {
  std::mt19937 rng(5);
  Bytes image = RandomImage(4000, rng);
  Bytes file(image.size() * 2);
  const std::int32_t n = ParameterCodec(image, file, true);
  ASSERT_GT(n, 1);
  file.resize(static_cast<std::size_t>(n));

  int failed = 0;
  int invalid = 0;
  for (int round = 0; round < 200; ++round) {
    Bytes damaged = file;
    if (round % 2 == 0) {
      damaged.resize(rng() % damaged.size());  // cut short
    } else {
      damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    }
    Bytes guarded(image.size() + 64, 0xEE);
    std::span<std::uint8_t> target(guarded.data(), image.size());
    const std::int32_t m = ParameterCodec(damaged, target, false);
    ASSERT_EQ(Bytes(guarded.end() - 64, guarded.end()), Bytes(64, 0xEE));
    if (m < 0) {
      ++failed;
    } else if (!IsValidParameterImage(target.first(static_cast<std::size_t>(m))) ||
               !std::equal(target.begin(), target.begin() + m, image.begin())) {
      ++invalid;
    }
  }
  // Every damage is seen: either decoding fails or the image differs from the original.
  EXPECT_EQ(failed + invalid, 200);
  EXPECT_GT(failed, 0);
}

// A parameter file worked out by hand from the format's rules rather than by the codec: the
// block 41 42 43 44 44 44 44 45 has the check byte (0x41 + 0x42 + 0x43 + 4 * 0x44 + 0x45 + 1)
// mod 256 = 0x1C; packing gives a literal of three, a run of four and a literal of two:
// 02 41 42 43 | FD 44 | 01 45 1C (9 bytes). The key stream adds access code A byte by byte; the
// interleave of 9 bytes then takes bit k of byte i from byte (i + k + 1) mod 9. Any other order
// of the stages gives another file.
TEST(ParameterCodec, FileWorkedOutByHandFromTheRules) {
  const Bytes block{0x41, 0x42, 0x43, 0x44, 0x44, 0x44, 0x44, 0x45};
  const Bytes packed{0x02, 0x41, 0x42, 0x43, 0xFD, 0x44, 0x01, 0x45, 0x1C};
  const std::string_view code = AccessCodeA();
  Bytes keyed(9);
  for (std::size_t i = 0; i < 9; ++i) keyed[i] = static_cast<std::uint8_t>(packed[i] + code[i]);
  Bytes expected(9, 0);
  for (std::size_t i = 0; i < 9; ++i) {
    for (unsigned k = 0; k < 8; ++k) expected[i] |= keyed[(i + k + 1) % 9] & (1u << k);
  }
  // The stages in the other order (interleave, then key) give another file for this code.
  Bytes swapped(9, 0);
  for (std::size_t i = 0; i < 9; ++i) {
    for (unsigned k = 0; k < 8; ++k) swapped[i] |= packed[(i + k + 1) % 9] & (1u << k);
    swapped[i] = static_cast<std::uint8_t>(swapped[i] + code[i]);
  }
  ASSERT_NE(expected, swapped) << "this access code cannot tell the order of the stages";

  Bytes image = block;
  image.push_back(0x1C);
  Bytes file(32);
  const std::int32_t n = ParameterCodec(image, file, true);
  ASSERT_EQ(n, 9);
  file.resize(9);
  EXPECT_EQ(file, expected);

  Bytes decoded(kMaxParameterImageLength);
  Bytes source = expected;
  ASSERT_EQ(ParameterCodec(source, decoded, false), 9);
  decoded.resize(9);
  EXPECT_EQ(decoded, image);
}

TEST(ParameterImage, CheckByteDecidesValidity) {
  EXPECT_FALSE(IsValidParameterImage({}));
  EXPECT_TRUE(IsValidParameterImage(Bytes{0x01}));  // empty block: check byte 1
  EXPECT_TRUE(IsValidParameterImage(Bytes{0x10, 0x20, 0x31}));
  EXPECT_FALSE(IsValidParameterImage(Bytes{0x10, 0x20, 0x30}));
  EXPECT_TRUE(IsValidParameterImage(Bytes{0xFF, 0x00}));
}

}  // namespace
}  // namespace tavi
