#include "core/protocol/reply_framing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace tavi {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "<index>,<hex of bytes>" for chunk payloads.
std::string ChunkPayload(int index, const Bytes& data) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string p = std::to_string(index) + ",";
  for (std::uint8_t b : data) {
    p += kHex[b >> 4];
    p += kHex[b & 0xF];
  }
  return p;
}

Bytes Filled(std::size_t n, std::uint8_t first) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i);
  return b;
}

TEST(ExtractReplyField, FindsPayloadBetweenMarkerAndSemicolon) {
  EXPECT_EQ(ExtractReplyField("xxREPORT:0,3;yy", "REPORT:"), "0,3");
  EXPECT_EQ(ExtractReplyField("REPORT:;", "REPORT:"), "");
  EXPECT_EQ(ExtractReplyField("REPORT:1,41;REPORT:2,42;", "REPORT:"), "1,41");
  EXPECT_EQ(ExtractReplyField("a;READ_PARAM:0 9;", "READ_PARAM:"), "0 9");
}

TEST(ExtractReplyField, IncompleteFieldGivesEmptyPayload) {
  EXPECT_EQ(ExtractReplyField("xxREPORT:0,3", "REPORT:"), "");
  EXPECT_EQ(ExtractReplyField("0,3;", "REPORT:"), "");
  EXPECT_EQ(ExtractReplyField("", "REPORT:"), "");
  EXPECT_EQ(ExtractReplyField("REPORT", "REPORT:"), "");
  // A semicolon before the marker does not end its field.
  EXPECT_EQ(ExtractReplyField(";REPORT:0,3", "REPORT:"), "");
}

TEST(PayloadIndex, NoNumberReadsAsHeaderAtPositionZero) {
  for (const char* p : {"", ",3", "x", "-", " +", "  "}) {
    const PayloadIndex at = ReadPayloadIndex(p);
    EXPECT_EQ(at.index, 0) << p;
    EXPECT_EQ(at.stop, 0u) << p;
  }
  // The separator is then the payload's first character.
  EXPECT_EQ(ReadHeaderCount(",3", 0), 3);
}

TEST(PayloadIndex, OverflowClampsAndConsumesAllDigits) {
  const PayloadIndex big = ReadPayloadIndex("99999999999999999999,1");
  EXPECT_EQ(big.index, INT32_MAX);
  EXPECT_EQ(big.stop, 20u);
  EXPECT_EQ(ReadPayloadIndex("-2147483648").index, INT32_MIN);
  EXPECT_EQ(ReadPayloadIndex("-2147483649").index, INT32_MIN);
  EXPECT_EQ(ReadPayloadIndex("2147483647").index, INT32_MAX);
  EXPECT_EQ(ReadPayloadIndex("2147483648").index, INT32_MAX);
}

TEST(HeaderCount, ReadsCountAfterOneSeparatorCharacter) {
  EXPECT_EQ(ReadHeaderCount("0,3", 1), 3);
  EXPECT_EQ(ReadHeaderCount("0X 12z", 1), 12);
  // Any one character separates, also a digit.
  EXPECT_EQ(ReadHeaderCount("0543", 1), 43);
  EXPECT_EQ(ReadHeaderCount("0,0", 1), 0);
  EXPECT_EQ(ReadHeaderCount("0,", 1), 0);
  // Nothing after the index: no count (never read past the payload).
  EXPECT_EQ(ReadHeaderCount("0", 1), 0);
  EXPECT_EQ(ReadHeaderCount("0", 500), 0);
}

TEST(HeaderCount, NegativeOrHugeCountsReadAsZero) {
  EXPECT_EQ(ReadHeaderCount("0,-3", 1), 0);
  EXPECT_EQ(ReadHeaderCount("0,1048576", 1), 1048576);
  EXPECT_EQ(ReadHeaderCount("0,1048577", 1), 0);
  EXPECT_EQ(ReadHeaderCount("0,99999999999", 1), 0);
}

TEST(WorkingPayload, CutAt511CharactersAndAtZeroByte) {
  std::string header = "0," + std::string(508, ' ') + "7";  // '7' is character 512
  ASSERT_EQ(header.size(), 511u);
  EXPECT_EQ(ReadHeaderCount(header, 1), 7);
  header.insert(2, " ");
  EXPECT_EQ(WorkingPayload(header).size(), 511u);
  EXPECT_EQ(ReadHeaderCount(header, 1), 0);

  const std::string with_zero(
      "0,1\0"
      "5",
      5);
  EXPECT_EQ(WorkingPayload(with_zero), "0,1");
  EXPECT_EQ(ReadHeaderCount(with_zero, 1), 1);
  EXPECT_EQ(ReadHeaderCount(std::string_view("0\0"
                                             "55",
                                             4),
                            1),
            0);
}

TEST(HexPair, SignAndInvalidDigits) {
  EXPECT_EQ(DecodeHexPair('4', '1'), 0x41);
  EXPECT_EQ(DecodeHexPair('-', '1'), 0xFF);
  EXPECT_EQ(DecodeHexPair('z', 'z'), 0x00);
  EXPECT_EQ(DecodeHexPair(' ', '7'), 0x07);
}

TEST(HexPair, AgreesWithTheCLibraryForEveryPair) {
  for (int hi = 1; hi < 256; ++hi) {
    for (int lo = 1; lo < 256; ++lo) {
      const char text[3] = {static_cast<char>(hi), static_cast<char>(lo), 0};
      const long expected = std::strtol(text, nullptr, 16);
      ASSERT_EQ(DecodeHexPair(text[0], text[1]), static_cast<std::uint8_t>(expected & 0xFF))
          << hi << " " << lo;
    }
  }
}

TEST(PayloadIndex, AgreesWithTheCLibraryOnShortTexts) {
  const std::string alphabet = " \t+-0123456789,x";
  std::mt19937 rng(7);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int len = static_cast<int>(rng() % 9);
    for (int i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
    char* end = nullptr;
    const long expected = std::strtol(text.c_str(), &end, 10);
    const PayloadIndex at = ReadPayloadIndex(text);
    ASSERT_EQ(at.index, expected) << text;
    ASSERT_EQ(at.stop, static_cast<std::size_t>(end - text.c_str())) << text;
  }
}

TEST(ChunkAssembly, KeepsFirstCopyInAnyOrder) {
  ChunkAssembly a(ChunkForm::kReport, 2);
  EXPECT_TRUE(a.Offer("2,4344"));
  EXPECT_EQ(a.received(), 1);
  EXPECT_FALSE(a.Offer("2,5A5A"));
  EXPECT_EQ(a.received(), 1);
  EXPECT_FALSE(a.complete());
  EXPECT_EQ(a.ReportText(), "");
  EXPECT_TRUE(a.Offer(ChunkPayload(1, Bytes(128, 'A'))));
  EXPECT_EQ(a.received(), 2);
  ASSERT_TRUE(a.complete());
  EXPECT_EQ(a.ReportText(), std::string(128, 'A') + "CD");
}

TEST(ChunkAssembly, IgnoresOutOfRangeIndexes) {
  ChunkAssembly a(ChunkForm::kParameter, 2);
  for (const char* p : {"0,41", "3,41", "-1,41", "x,41", "", "99999999999,41", "2147483647,41"}) {
    EXPECT_FALSE(a.Offer(p)) << p;
  }
  EXPECT_EQ(a.received(), 0);
  Bytes dest(8, 0xEE);
  EXPECT_EQ(a.CopyParameters(dest), -1);
  EXPECT_EQ(dest, Bytes(8, 0xEE));
}

TEST(ChunkAssembly, TrailingSingleDigitDropped) {
  ChunkAssembly a(ChunkForm::kParameter, 1);
  EXPECT_TRUE(a.Offer("1,41420"));
  EXPECT_EQ(a.last_length(), 2);
  Bytes dest(4, 0xEE);
  EXPECT_EQ(a.CopyParameters(dest), 2);
  EXPECT_EQ(dest, (Bytes{0x41, 0x42, 0xEE, 0xEE}));
}

TEST(ChunkAssembly, ParameterLengthFromLastChunkAndCapacity) {
  const Bytes first = Filled(128, 0);
  const Bytes last = Filled(10, 200);
  for (std::size_t capacity : {200u, 138u, 100u, 0u}) {
    ChunkAssembly a(ChunkForm::kParameter, 2);
    EXPECT_TRUE(a.Offer(ChunkPayload(2, last)));
    EXPECT_TRUE(a.Offer(ChunkPayload(1, first)));
    Bytes dest(capacity, 0xEE);
    const std::int32_t n = a.CopyParameters(dest);
    ASSERT_EQ(n, static_cast<std::int32_t>(std::min<std::size_t>(138, capacity)));
    Bytes expected = first;
    expected.insert(expected.end(), last.begin(), last.end());
    expected.resize(n);
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + n), expected);
    for (std::size_t i = n; i < capacity; ++i) EXPECT_EQ(dest[i], 0xEE);
  }
}

TEST(ChunkAssembly, ShortMiddleChunkLeavesZeroBytes) {
  ChunkAssembly p(ChunkForm::kParameter, 2);
  EXPECT_TRUE(p.Offer("1,4142"));
  EXPECT_TRUE(p.Offer("2,43"));
  Bytes dest(200, 0xEE);
  ASSERT_EQ(p.CopyParameters(dest), 129);
  EXPECT_EQ(dest[0], 0x41);
  EXPECT_EQ(dest[1], 0x42);
  for (int i = 2; i < 128; ++i) EXPECT_EQ(dest[i], 0x00) << i;
  EXPECT_EQ(dest[128], 0x43);

  // A report ends at the first zero byte, here the gap after the short chunk 1.
  ChunkAssembly r(ChunkForm::kReport, 2);
  EXPECT_TRUE(r.Offer("1,4142"));
  EXPECT_TRUE(r.Offer("2,43"));
  EXPECT_EQ(r.ReportText(), "AB");
}

TEST(ChunkAssembly, OversizedChunkSpoilsTheWholeAnswer) {
  // 128 data bytes and a single trailing digit fit; 129 data bytes do not.
  ChunkAssembly fits(ChunkForm::kParameter, 1);
  EXPECT_TRUE(fits.Offer(ChunkPayload(1, Bytes(128, 0x11)) + "7"));
  EXPECT_EQ(fits.last_length(), 128);
  EXPECT_EQ(fits.oversized(), 0);

  for (ChunkForm form : {ChunkForm::kParameter, ChunkForm::kReport}) {
    ChunkAssembly a(form, 2);
    EXPECT_TRUE(a.Offer(ChunkPayload(2, Bytes(3, 0x22))));
    EXPECT_FALSE(a.Offer(ChunkPayload(1, Bytes(129, 0x42))));
    EXPECT_EQ(a.oversized(), 1);
    EXPECT_EQ(a.oversized_bytes(), 129u);
    // The true chunk that follows is refused too: the answer never completes.
    EXPECT_FALSE(a.Offer(ChunkPayload(1, Bytes(128, 0x11))));
    EXPECT_FALSE(a.complete());
    Bytes dest(300, 0xEE);
    EXPECT_EQ(a.CopyParameters(dest), -1);
    EXPECT_EQ(dest, Bytes(300, 0xEE));
    EXPECT_EQ(a.ReportText(), "");
  }
}

TEST(ChunkAssembly, ZeroByteEndsChunkPayload) {
  ChunkAssembly r(ChunkForm::kReport, 1);
  EXPECT_TRUE(
      r.Offer(std::string_view("1,4142\0"
                               "4344",
                               11)));
  EXPECT_EQ(r.ReportText(), "AB");
}

TEST(ChunkAssembly, ChunkWithoutDataAndEmptyAssemblies) {
  ChunkAssembly p(ChunkForm::kParameter, 1);
  EXPECT_TRUE(p.Offer("1"));
  Bytes dest(4, 0xEE);
  EXPECT_EQ(p.CopyParameters(dest), 0);

  for (std::int32_t n : {0, -1, kMaxChunkCount + 1}) {
    ChunkAssembly a(ChunkForm::kReport, n);
    EXPECT_EQ(a.count(), 0);
    EXPECT_FALSE(a.Offer("1,41"));
    EXPECT_FALSE(a.complete());
  }

  // Each form answers only its own result.
  ChunkAssembly r(ChunkForm::kReport, 1);
  EXPECT_TRUE(r.Offer("1,41"));
  EXPECT_EQ(r.CopyParameters(dest), -1);
  EXPECT_EQ(p.ReportText(), "");
}

}  // namespace
}  // namespace tavi
