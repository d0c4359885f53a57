#include "frontends/cli/cli_json.h"

#include <nlohmann/json.hpp>

#include "core/settings/port_settings.h"
#include "frontends/cli/cli_texts.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

using nlohmann::json;

json OrNull(const std::optional<std::string>& value) {
  return value ? json(*value) : json(nullptr);
}

void AddDevices(json& out, std::string_view kind, const std::vector<ListedDevice>& devices) {
  for (const ListedDevice& d : devices) {
    out.push_back({{"kind", kind},
                   {"name", d.name},
                   {"device_id", OrNull(d.device_id)},
                   {"note", d.note.empty() ? json(nullptr) : json(d.note)},
                   {"used", d.used}});
  }
}

}  // namespace

std::string OutcomeName(int exit_status) {
  switch (exit_status) {
    case kExitSuccess:
      return "success";
    case kExitFailed:
      return "failed";
    case kExitUsage:
      return "invalid-input";
    case kExitTimedOut:
      return "timed-out";
    case kExitMismatch:
      return "mismatch";
    case kExitInterrupted:
      return "interrupted";
    default:
      return "exit " + std::to_string(exit_status);
  }
}

json PortListingJson(const PortListing& listing) {
  json devices = json::array();
  AddDevices(devices, "parallel", listing.parallel);
  AddDevices(devices, "usb", listing.usb);
  return devices;
}

json ResultJson(const CommandResult& result) {
  json object = {
      {"command", result.command},
      {"port", OrNull(result.port)},
      {"host", OrNull(result.host)},
      {"outcome", OutcomeName(result.exit_status)},
      {"exit_status", result.exit_status},
      {"message_id", result.message_id ? json(*result.message_id) : json(nullptr)},
      {"message", result.message},
      {"details", result.details},
      {"duration_ms", result.duration_ms},
  };
  if (result.ports) {
    object["ports"] = PortListingJson(*result.ports);
    json errors = json::object();
    if (!result.ports->parallel_error.empty()) errors["parallel"] = result.ports->parallel_error;
    if (!result.ports->usb_error.empty()) errors["usb"] = result.ports->usb_error;
    object["port_errors"] = errors;
  }
  if (result.block_length) object["block_length"] = *result.block_length;
  if (result.comparison) {
    const BlockComparison& c = *result.comparison;
    json ranges = json::array();
    for (const ComparedRange& r : c.ranges) {
      ranges.push_back(
          {{"offset", r.offset}, {"length", r.length}, {"a", OrNull(r.a)}, {"b", OrNull(r.b)}});
    }
    object["equal"] = c.ranges.empty();
    object["length_a"] = c.length_a;
    object["length_b"] = c.length_b;
    object["differences"] = ranges;
    if (result.exit_status == kExitDifferent) object["outcome"] = "different";
  }
  return object;
}

bool WriteJsonLine(std::FILE* out, const json& object) {
  // Texts from the printer or the system may hold bytes that are not UTF-8; they are replaced
  // rather than making the whole object unwritable.
  const std::string text = object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  const bool ok = WriteText(out, text);
  return std::fflush(out) == 0 && ok;
}

bool WriteResultLine(std::FILE* out, const CommandResult& result) {
  return WriteJsonLine(out, ResultJson(result));
}

}  // namespace tavi::cli
