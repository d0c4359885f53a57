#include "core/discovery/discover.h"

#include <random>

#include "core/discovery/targets.h"
#include "core/resources/constants.h"
#include "os/datagram.h"
#include "os/socket.h"

namespace tavi::discovery {

std::uint32_t NewRequestIdBase() {
  std::random_device seed;
  // Leave room above for every request of a sweep, and keep the ids positive.
  std::uniform_int_distribution<std::uint32_t> pick(1, 0x3FFFFFFF);
  return pick(seed);
}

Discovered Discover(const DiscoverRequest& request, Clock& clock, ProgressDialog* progress) {
  Discovered out;
  SweepPlan plan;
  plan.unicast = request.unicast;
  if (plan.unicast.empty()) plan.broadcast = InterfaceBroadcastAddresses();
  out.broadcast = plan.broadcast;
  plan.port = request.port != 0 ? request.port : ServicePort("snmp", "udp", kDefaultSnmpPort);
  plan.timeout_ms = request.timeout_ms;
  plan.community = request.community;
  plan.request_id_base = NewRequestIdBase();
  const auto endpoint = OpenDatagramEndpoint(out.failure);
  if (!endpoint) return out;
  out.opened = true;
  out.sweep = RunSweep(plan, *endpoint, clock, progress);
  return out;
}

std::vector<FoundHost> Listed(const std::vector<FoundHost>& hosts, bool all) {
  std::vector<FoundHost> out;
  for (const FoundHost& h : hosts) {
    if (all || h.family) out.push_back(h);
  }
  return out;
}

std::int32_t MachineTypeOf(const FoundHost& host) {
  for (std::size_t i = 0; i < std::size(kFamilyNames); ++i) {
    if (!host.family_name.empty() && host.family_name == kFamilyNames[i]) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

std::string KindText(const FoundHost& host) {
  if (!host.family_name.empty()) return host.family_name;
  return host.family ? "family" : "other";
}

std::string HostLine(const FoundHost& host) {
  return AddressText(host.address) + "\t" + KindText(host) + "\t" +
         (host.sys_name.empty() ? "-" : host.sys_name) + "\t" + host.sys_descr;
}

}  // namespace tavi::discovery
