#include "core/journal/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace tavi::sim {
namespace {

std::string Hex(std::string_view text) {
  return Sha256Hex(std::as_bytes(std::span(text.data(), text.size())));
}

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesGiveTheSameHashAsTheWhole) {
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  for (std::size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 999u}) {
    Sha256 h;
    for (std::size_t at = 0; at < data.size(); at += piece) {
      const std::string part = data.substr(at, piece);
      h.Update(std::as_bytes(std::span(part.data(), part.size())));
    }
    EXPECT_EQ(h.FinishHex(), Hex(data)) << piece;
  }
}

}  // namespace
}  // namespace tavi::sim
