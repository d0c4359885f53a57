#include "os/error_names.h"

#include <cerrno>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "os/socket.h"

namespace tavi {
namespace {

// One name function for the three code spaces: the same number names a different error in each,
// and a code outside its space's table is that space's unknown name, never another space's.
TEST(ErrorNamesTest, EachSpaceNamesItsOwnCodes) {
  struct Row {
    SystemCode code;
    std::string_view name;
  };
  const Row rows[] = {
      {SystemCode::Winsock(wsa::kEconnrefused), "WSAECONNREFUSED"},
      {SystemCode::Winsock(wsa::kEdiscon), "WSAEDISCON"},  // out of numeric order in the table
      {SystemCode::Winsock(11004), "WSANO_DATA"},          // the first of the two rows of 11004
      {SystemCode::Winsock(wsa::kNotinitialised), "WSANOTINITIALISED"},
      {SystemCode::Winsock(0), "WSA_UNKNOWN"},
      {SystemCode::Winsock(5), "WSA_UNKNOWN"},  // a Win32 code is no Windows Sockets code
      {SystemCode::Errno(ENOENT), "ENOENT"},
      {SystemCode::Errno(EACCES), "EACCES"},
      {SystemCode::Errno(ECANCELED), "ECANCELED"},
      {SystemCode::Errno(ECONNREFUSED), "ECONNREFUSED"},
      {SystemCode::Errno(0), "E_UNKNOWN"},
      {SystemCode::Errno(wsa::kEconnrefused), "E_UNKNOWN"},
      {SystemCode::Win32(2), "ERROR_FILE_NOT_FOUND"},
      {SystemCode::Win32(5), "ERROR_ACCESS_DENIED"},
      {SystemCode::Win32(112), "ERROR_DISK_FULL"},
      {SystemCode::Win32(1167), "ERROR_DEVICE_NOT_CONNECTED"},
      {SystemCode::Win32(0), "ERROR_UNKNOWN"},
      {SystemCode::Win32(static_cast<std::uint32_t>(wsa::kEconnrefused)), "ERROR_UNKNOWN"},
      {SystemCode{}, ""},
  };
  for (const Row& row : rows) {
    const std::string_view name = ErrorName(row.code);
    EXPECT_EQ(name, row.name) << static_cast<int>(row.code.space) << " " << row.code.value;
    EXPECT_EQ(name.data()[name.size()], '\0');  // ready for "%s"
  }
}

TEST(ErrorNamesTest, OnlyRefusalsOfThisUserDenyAccess) {
  EXPECT_TRUE(DeniesAccess(SystemCode::Errno(EACCES)));
  EXPECT_TRUE(DeniesAccess(SystemCode::Errno(EPERM)));
  EXPECT_TRUE(DeniesAccess(SystemCode::Win32(5)));
  EXPECT_TRUE(DeniesAccess(SystemCode::Winsock(wsa::kEacces)));
  EXPECT_FALSE(DeniesAccess(SystemCode::Errno(ENOENT)));
  EXPECT_FALSE(DeniesAccess(SystemCode::Winsock(5)));
  EXPECT_FALSE(DeniesAccess(SystemCode::Win32(static_cast<std::uint32_t>(EACCES))));
  EXPECT_FALSE(DeniesAccess(SystemCode{}));
}

TEST(ErrorNamesTest, CodesInNoRowAreUnknown) {
  for (int code : {0, -1, 4, 10000, 10001, 10072, 10100, 10102, 11000, 11005}) {
    EXPECT_EQ(ErrorName(SystemCode::Winsock(code)), "WSA_UNKNOWN") << code;
  }
}

TEST(ErrorNamesTest, EveryCodeTheSocketLayerReportsHasADistinctName) {
  std::set<std::string> names;
  int codes = 0;
  for (int code = 10000; code <= 11010; ++code) {
    const std::string name(ErrorName(SystemCode::Winsock(code)));
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
