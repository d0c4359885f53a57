// Build tool: writes, from the same hardware id prefixes the USB channel matches, the udev rule
// that lets the person at the local seat open this family's USB printers, and the AppStream
// <modalias> lines that tell a software centre which USB devices the program serves. Usage:
//   make_hardware_lists UDEV_RULE MODALIAS_XML
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

// The kernel's modalias of a USB device begins "usb:vVVVVpPPPPd", in upper-case hex.
std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
  return out;
}

bool Written(std::ofstream& out, const char* path) {
  out.close();
  if (!out) {
    std::cerr << "make_hardware_lists: cannot write " << path << "\n";
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_hardware_lists UDEV_RULE MODALIAS_XML\n";
    return 2;
  }
  std::string vendor;
  std::string products;
  std::string modaliases;
  for (std::string_view id : tavi::kUsbHardwareIdPrefixes) {
    std::string v;
    std::string p;
    if (!SplitHardwareId(id, v, p) || (!vendor.empty() && v != vendor)) {
      std::cerr << "make_hardware_lists: cannot make a rule for the hardware id " << id << "\n";
      return 1;
    }
    vendor = v;
    products += (products.empty() ? "" : "|") + p;
    modaliases += "    <modalias>usb:v" + Upper(v) + "p" + Upper(p) + "d*</modalias>\n";
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
  if (!Written(out, argv[1])) return 1;
  std::ofstream xml(argv[2], std::ios::binary | std::ios::trunc);
  xml << modaliases;
  return Written(xml, argv[2]) ? 0 : 1;
}
