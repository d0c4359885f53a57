// Build tool: writes the udev rule that lets the person at the local seat open this family's
// USB printers, from the same hardware id prefixes the USB channel matches. Usage:
//   make_udev_rules OUTPUT
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "core/resources/constants.h"

namespace {

bool IsHexDigits(std::string_view text) {
  for (char c : text) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!hex) return false;
  }
  return true;
}

// "USB\VID_0E2A&PID_0101" -> vendor "0e2a", product "0101" (lower case, as sysfs shows them).
bool SplitHardwareId(std::string_view id, std::string& vendor, std::string& product) {
  constexpr std::string_view kVid = "USB\\VID_";
  constexpr std::string_view kPid = "&PID_";
  constexpr std::size_t kDigits = 4;
  if (id.size() != kVid.size() + kDigits + kPid.size() + kDigits) return false;
  if (!id.starts_with(kVid) || id.substr(kVid.size() + kDigits, kPid.size()) != kPid) return false;
  const std::string_view v = id.substr(kVid.size(), kDigits);
  const std::string_view p = id.substr(kVid.size() + kDigits + kPid.size());
  if (!IsHexDigits(v) || !IsHexDigits(p)) return false;
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
  };
  vendor = lower(v);
  product = lower(p);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_udev_rules OUTPUT\n";
    return 2;
  }
  std::string vendor;
  std::string products;
  for (std::string_view id : tavi::kUsbHardwareIdPrefixes) {
    std::string v;
    std::string p;
    if (!SplitHardwareId(id, v, p) || (!vendor.empty() && v != vendor)) {
      std::cerr << "make_udev_rules: cannot make a rule for the hardware id " << id << "\n";
      return 1;
    }
    vendor = v;
    products += (products.empty() ? "" : "|") + p;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << "# Tavi: the person at the local seat may open this family's USB printers.\n"
         "# This file sorts before the rule that applies the uaccess tag (73-seat-late.rules).\n"
         "# Remote sessions and the parallel port need membership of the group \""
      << tavi::kDeviceGroup
      << "\" instead.\n"
         "ACTION==\"remove\", GOTO=\"tavi_end\"\n"
         "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\""
      << vendor << "\", ATTR{idProduct}==\"" << products
      << "\", TAG+=\"uaccess\"\n"
         "LABEL=\"tavi_end\"\n";
  out.close();
  if (!out) {
    std::cerr << "make_udev_rules: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
