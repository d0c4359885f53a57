#include "core/connection/device_ids.h"

#include <gtest/gtest.h>

#include "connection/device_fakes.h"

namespace tavi {
namespace {

using test::Bytes;
using test::DeviceId;
using namespace std::string_view_literals;

TEST(UsbHardwareId, FourUpperCaseHexDigitsEach) {
  EXPECT_EQ(UsbHardwareId(0x0e2a, 0x0101), "USB\\VID_0E2A&PID_0101");
  EXPECT_EQ(UsbHardwareId(0x0001, 0xabcd), "USB\\VID_0001&PID_ABCD");
}

TEST(MatchFamilyPrefix, ComparesTheBeginningOverEachPrefixInOrder) {
  EXPECT_EQ(MatchFamilyPrefix("USB\\VID_0E2A&PID_0101"), 0u);
  EXPECT_EQ(MatchFamilyPrefix("USB\\VID_0E2A&PID_0103&REV_0100"), 2u);
  // Written in lower case, it still matches the second prefix.
  EXPECT_EQ(MatchFamilyPrefix("usb\\vid_0e2a&pid_0102\\5&1a2b"), 1u);
  // A prefix in the middle of an id is no match.
  EXPECT_FALSE(MatchFamilyPrefix("ROOT\\USB\\VID_0E2A&PID_0101"));
  // Shorter than a prefix, another product, another vendor.
  EXPECT_FALSE(MatchFamilyPrefix("USB\\VID_0E2A&PID_010"));
  EXPECT_FALSE(MatchFamilyPrefix("USB\\VID_0E2A&PID_0104"));
  EXPECT_FALSE(MatchFamilyPrefix("USB\\VID_04B8&PID_0101"));
  EXPECT_FALSE(MatchFamilyPrefix(""));
}

TEST(PickFamilyDevice, FirstMatchByBusThenAddressDecides) {
  const std::vector<UsbCandidate> devices = {
      {2, 1, UsbHardwareId(0x0e2a, 0x0101)},  // matches, but on a later bus
      {1, 9, UsbHardwareId(0x0e2a, 0x0103)},  // matches: bus 1, address 9
      {1, 3, UsbHardwareId(0x046d, 0xc52b)},  // a mouse: skipped
      {1, 5, UsbHardwareId(0x0e2a, 0x0102)},  // matches: bus 1, address 5 -> decides
  };
  EXPECT_EQ(PickFamilyDevice(devices), 3u);
  EXPECT_EQ(FamilyDevicesInOrder(devices), (std::vector<std::size_t>{3, 1, 0}));
}

TEST(PickFamilyDevice, NoMatchingDeviceGivesNothing) {
  const std::vector<UsbCandidate> devices = {{1, 1, UsbHardwareId(0x1d6b, 0x0002)},
                                             {1, 2, "USB\\VID_0E2A&PID_0201"}};
  EXPECT_FALSE(PickFamilyDevice(devices));
  EXPECT_FALSE(PickFamilyDevice({}));
}

TEST(ReplyTextFromDeviceId, StripsTheLengthAndCutsAtTheFirstZero) {
  EXPECT_EQ(ReplyTextFromDeviceId(DeviceId("MFG:X;REPORT:1,3;")), "MFG:X;REPORT:1,3;");
  std::vector<std::byte> with_zero = DeviceId(std::string("REPORT:1,3;\0garbage", 19));
  EXPECT_EQ(ReplyTextFromDeviceId(with_zero), "REPORT:1,3;");
  // A zero right after the length gives an empty text, which is still a device ID.
  EXPECT_EQ(ReplyTextFromDeviceId(DeviceId(std::string("\0abc", 4))), "");
}

TEST(ReplyTextFromDeviceId, NeverReadsPastWhatArrived) {
  // The length field claims 0xFFFF bytes; only five follow and there is no zero byte.
  std::vector<std::byte> arrived = Bytes(
      "\xFF\xFF"
      "ABCDE"sv);
  EXPECT_EQ(ReplyTextFromDeviceId(arrived), "ABCDE");
  // A full 512-byte buffer without a zero byte yields its 510 bytes after the length.
  std::vector<std::byte> full = DeviceId(std::string(600, 'Q'));
  full.resize(512);
  EXPECT_EQ(ReplyTextFromDeviceId(full), std::string(510, 'Q'));
  // A length field that counts less than arrived does not cut the text either: printers
  // disagree on whether it counts itself.
  std::vector<std::byte> short_length = Bytes(
      "\x00\x03"
      "ABCDE"sv);
  EXPECT_EQ(ReplyTextFromDeviceId(short_length), "ABCDE");
}

TEST(ReplyTextFromDeviceId, NothingAfterTheLengthIsNoDeviceId) {
  EXPECT_FALSE(ReplyTextFromDeviceId({}));
  EXPECT_FALSE(ReplyTextFromDeviceId(Bytes("\x00"sv)));
  EXPECT_FALSE(ReplyTextFromDeviceId(DeviceId("")));
}

}  // namespace
}  // namespace tavi

namespace tavi {
namespace {

TEST(PickParallelPort, KernelOrderFirstThenLpt1sAddressThenTheFirstListed) {
  // The library sorts by name, so parport10 comes before parport2 and 0x278 before 0x378.
  const std::vector<std::string> kernel = {"parport1", "parport10", "parport2", "parport0x"};
  EXPECT_EQ(PickParallelPort(kernel), 0u);
  const std::vector<std::string> with_zero = {"parport1", "parport10", "parport0"};
  EXPECT_EQ(PickParallelPort(with_zero), 2u);
  const std::vector<std::string> guessed = {"0x278", "0x378", "0x3bc"};
  EXPECT_EQ(PickParallelPort(guessed), 1u);
  const std::vector<std::string> other = {"lpt9", "0x3bc"};
  EXPECT_EQ(PickParallelPort(other), 1u);
  EXPECT_EQ(PickParallelPort(std::vector<std::string>{"lpt9"}), 0u);
  EXPECT_FALSE(PickParallelPort({}));
}

}  // namespace
}  // namespace tavi
