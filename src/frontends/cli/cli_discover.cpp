#include "frontends/cli/cli_discover.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "core/discovery/discover.h"
#include "core/discovery/targets.h"
#include "core/resources/strings.h"
#include "core/settings/settings_store.h"
#include "frontends/cli/cli_offline.h"
#include "frontends/cli/cli_seams.h"
#include "frontends/cli/cli_texts.h"
#include "os/device_backends.h"
#include "os/error_names.h"
#include "os/socket_startup.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

void Line(std::FILE* stream, std::string_view text) {
  (void)WriteText(stream, std::string(text) + "\n");
  std::fflush(stream);
}

nlohmann::json HostJson(const discovery::FoundHost& h) {
  const auto text_or_null = [](const std::string& s) {
    return s.empty() ? nlohmann::json() : nlohmann::json(s);
  };
  return {{"address", discovery::AddressText(h.address)},
          {"family", h.family},
          {"kind", discovery::KindText(h)},
          {"sysName", text_or_null(h.sys_name)},
          {"sysDescr", text_or_null(h.sys_descr)},
          {"sysObjectID", text_or_null(h.sys_object_id)}};
}

nlohmann::json DevicesJson(const std::vector<ListedDevice>& devices) {
  nlohmann::json out = nlohmann::json::array();
  for (const ListedDevice& d : devices) {
    out.push_back({{"name", d.name},
                   {"deviceId", d.device_id ? nlohmann::json(*d.device_id) : nlohmann::json()},
                   {"note", d.note},
                   {"used", d.used}});
  }
  return out;
}

std::string Json(const std::vector<discovery::FoundHost>& hosts, const PortListing& ports) {
  nlohmann::json network = nlohmann::json::array();
  for (const auto& h : hosts) network.push_back(HostJson(h));
  nlohmann::json doc = {{"network", network},
                        {"parallel", DevicesJson(ports.parallel)},
                        {"usb", DevicesJson(ports.usb)}};
  if (!ports.parallel_error.empty()) doc["parallelError"] = ports.parallel_error;
  if (!ports.usb_error.empty()) doc["usbError"] = ports.usb_error;
  // Every text was made printable ASCII (or came from our own listing); replace anything else.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

int RunDiscover(const Invocation& invocation, std::FILE* out, std::FILE* err) {
  discovery::DiscoverRequest request;
  std::string error;
  if (!discovery::ParseTargets(invocation.targets, request.unicast, error)) {
    Line(err, error);
    return kExitUsage;
  }
  request.port = invocation.snmp_port;
  // The stored community, unless --community names another.
  request.community = invocation.community.value_or(LoadSettings(invocation.settings_path.empty()
                                                                     ? DefaultSettingsPath()
                                                                     : invocation.settings_path)
                                                        .community);
  if (invocation.discover_timeout_seconds > 0) {
    request.timeout_ms = static_cast<int>(
        std::max<long long>(1, std::llround(invocation.discover_timeout_seconds * 1000.0)));
  }

  if (!StartSocketLayer()) {
    Line(err, std::string(LoadString(kIdsSocketInitFailed)));
    return kExitFailed;
  }
  InterruptCatcher interrupts;
  SteadyClock clock;
  CancelSource source([] { return InterruptCatcher::Interrupted(); }, clock, -1);
  CliProgress progress(source, !invocation.quiet && StderrIsTerminal() ? stderr : nullptr);
  progress.SetProgressRange(100);
  progress.Show(true);
  const discovery::Discovered found = discovery::Discover(request, clock, &progress);
  progress.Show(false);
  progress.Erase();
  if (!found.opened) {
    Line(err, "Cannot open a UDP socket: " + std::string(ErrorName(found.failure.code)));
    return kExitFailed;
  }
  if (request.unicast.empty() && found.broadcast.empty()) {
    Line(err, kTextNoBroadcast);
  }
  if (found.sweep.receive_failed) Line(err, kTextSweepReceiveFailed);

  const auto hosts = discovery::Listed(found.sweep.hosts, invocation.discover_all);
  auto parallel = MakeSystemParallelBackend();
  auto usb = MakeSystemUsbBackend();
  const PortListing ports = ListPorts(parallel.get(), usb.get());
  if (invocation.json) {
    Line(out, Json(hosts, ports));
  } else {
    if (hosts.empty()) Line(out, discovery::kTextNoNetworkPrinters);
    for (const auto& h : hosts) Line(out, discovery::HostLine(h));
    WritePortListing(ports, out, err);
  }
  if (found.sweep.cancelled) return kExitInterrupted;
  return found.sweep.receive_failed ? kExitFailed : kExitSuccess;
}

}  // namespace tavi::cli
