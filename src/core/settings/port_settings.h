// The port settings kept between runs in section "Port" of the profile file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/resources/constants.h"

namespace tavi {

// Port kinds. Any other value (only a hand-edited settings file holds one) fails every
// printer operation at its open.
inline constexpr std::int32_t kPortParallel = 0;
inline constexpr std::int32_t kPortNetwork = 1;
inline constexpr std::int32_t kPortUsb = 2;

// True for a port kind that names a port (0, 1, 2).
inline constexpr bool IsPortKind(std::int32_t value) {
  return value == kPortParallel || value == kPortNetwork || value == kPortUsb;
}

// Machine types (printer families). Family number = machine type + 1.
inline constexpr std::int32_t kMachineType1 = 0;
inline constexpr std::int32_t kMachineType2 = 1;

struct PortSettings {
  std::int32_t port = kPortParallel;          // "Port"
  std::int32_t host_sel = 0;                  // "HostSel"
  std::vector<std::string> hosts;             // "NumHost", "Host0", "Host1", ...
  std::int32_t extra_delay_ms = 22000;        // "Win9X_ExtraDelay" (saved as "Win9x_ExtraDelay")
  std::int32_t machine_type = kMachineType2;  // "MachineType"
  // "SafetyCopy" (1: before Put Parameters writes, the printer's current block is kept in the
  // journal's folder); written only when set.
  bool safety_copy = false;
  // The SNMP community of every request to a networked printer. Always a valid community (see
  // CommunityFault): a load takes the default in place of anything else.
  std::string community{kSnmpCommunity};  // "Community"

  std::int32_t FamilyNumber() const { return machine_type + 1; }
};

// The port kind's word on tavi-cli's command line and in the journal ("parallel", "network",
// "usb"); nothing for others.
std::optional<std::string> PortKindName(std::int32_t port_kind);
// Why `community` cannot be used as the SNMP community, or nothing when it can: it must hold 1 to
// kMaxCommunityLength characters, each printable ASCII other than the space.
std::optional<std::string> CommunityFault(std::string_view community);

// The family in the technician's words: "Type1", "Type2", or the family number of any other
// machine type.
std::string FamilyWords(std::int32_t machine_type);

// The printer the operations will talk to, in one line for the main window, e.g.
// "Printer: network, host 192.0.2.7, Type2".
std::string PrinterSummary(const PortSettings& settings);
// The same in a few words, for the main window's narrow top line: "192.0.2.7, Type2",
// "USB, Type1", "Parallel, Type2", "Port 5?, Type2".
std::string PrinterBrief(const PortSettings& settings);

}  // namespace tavi
