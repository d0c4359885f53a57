#include "core/settings/port_settings.h"

#include <iterator>

#include "core/resources/constants.h"

namespace tavi {

std::string FamilyWords(std::int32_t machine_type) {
  if (machine_type >= 0 && machine_type < static_cast<std::int32_t>(std::size(kFamilyNames))) {
    return std::string(kFamilyNames[static_cast<std::size_t>(machine_type)]);
  }
  // Any other family number is spoken to with access code B.
  return "family " + std::to_string(machine_type + 1) + " (access code B)";
}

std::optional<std::string> CommunityFault(std::string_view community) {
  if (community.empty()) return std::string("The SNMP community is empty.");
  if (community.size() > kMaxCommunityLength) {
    return "The SNMP community has " + std::to_string(community.size()) + " characters; at most " +
           std::to_string(kMaxCommunityLength) + " are taken.";
  }
  for (const char c : community) {
    if (c <= ' ' || c > '~') {
      return std::string(
          "The SNMP community may hold only printable ASCII characters, without spaces.");
    }
  }
  return std::nullopt;
}

namespace {

// The selected host, or empty when the selection lies outside the list.
std::string SelectedHostOf(const PortSettings& settings) {
  const std::int32_t sel = settings.host_sel;
  if (sel < 0 || static_cast<std::size_t>(sel) >= settings.hosts.size()) return {};
  return settings.hosts[static_cast<std::size_t>(sel)];
}

}  // namespace

std::string PrinterBrief(const PortSettings& settings) {
  std::string port;
  switch (settings.port) {
    case kPortParallel:
      port = "Parallel";
      break;
    case kPortUsb:
      port = "USB";
      break;
    case kPortNetwork:
      port = SelectedHostOf(settings);
      if (port.empty()) port = "Network";
      break;
    default:
      port = "Port " + std::to_string(settings.port) + "?";
      break;
  }
  return port + ", " + FamilyWords(settings.machine_type);
}

std::string PrinterSummary(const PortSettings& settings) {
  std::string port;
  switch (settings.port) {
    case kPortParallel:
      port = "parallel port";
      break;
    case kPortUsb:
      port = "USB";
      break;
    case kPortNetwork: {
      const std::string host = SelectedHostOf(settings);
      port = host.empty() ? std::string("network, no host chosen") : "network, host " + host;
      break;
    }
    default:
      port = "port kind " + std::to_string(settings.port) + ", which is no port";
      break;
  }
  return "Printer: " + port + ", " + FamilyWords(settings.machine_type);
}

std::optional<std::string> PortKindName(std::int32_t port_kind) {
  switch (port_kind) {
    case kPortParallel:
      return "parallel";
    case kPortNetwork:
      return "network";
    case kPortUsb:
      return "usb";
    default:
      return std::nullopt;
  }
}

}  // namespace tavi
