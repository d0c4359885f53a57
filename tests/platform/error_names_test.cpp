#include "os/error_names.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "os/socket.h"

namespace tavi {
namespace {

TEST(ErrorNamesTest, OutOfOrderAndSharedRows) {
  EXPECT_EQ(WsaErrorName(10101), "WSAEDISCON");
  EXPECT_EQ(WsaErrorName(11004), "WSANO_DATA");  // the first of the two rows with 11004
}

TEST(ErrorNamesTest, CodesInNoRowAreUnknown) {
  for (int code : {0, -1, 4, 10000, 10001, 10072, 10100, 10102, 11000, 11005}) {
    EXPECT_EQ(WsaErrorName(code), "WSA_UNKNOWN") << code;
  }
}

TEST(ErrorNamesTest, EveryCodeTheSocketLayerReportsHasADistinctName) {
  std::set<std::string> names;
  int codes = 0;
  for (int code = 10000; code <= 11010; ++code) {
    const std::string name(WsaErrorName(code));
    if (name == "WSA_UNKNOWN") continue;
    ++codes;
    EXPECT_EQ(name.rfind("WSA", 0), 0u) << code;
    names.insert(name);
  }
  // 52 rows, two of which share 11004: 51 codes with 51 distinct names.
  EXPECT_EQ(codes, 51);
  EXPECT_EQ(names.size(), 51u);
}

}  // namespace
}  // namespace tavi
