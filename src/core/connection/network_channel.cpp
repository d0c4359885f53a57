#include "core/connection/network_channel.h"

#include "core/net/snmp_request.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/ui/progress_status.h"

namespace tavi {

NetworkChannel::NetworkChannel(const ChannelContext& context, NetworkPorts ports)
    : settings_(context.settings),
      progress_(context.progress),
      clock_(context.clock),
      trace_(context.trace),
      ports_(ports) {}

std::optional<std::string> NetworkChannel::SelectedHost(Failure& failure) const {
  const std::int32_t index = settings_.host_sel;
  if (index < 0 || static_cast<std::size_t>(index) >= settings_.hosts.size()) {
    failure.message_id = kIdsFailedToConnect;
    failure.details = "The selected host (index " + std::to_string(index) +
                      ") is not in the host list of " + std::to_string(settings_.hosts.size()) +
                      " hosts.";
    return std::nullopt;
  }
  return settings_.hosts[static_cast<std::size_t>(index)];
}

bool NetworkChannel::Open(Failure& failure) {
  resolved_.reset();
  round_trip_ = {};
  lpd_ = std::make_unique<LpdClient>(ports_.lpd, trace_);
  lpd_->SetCancelSource(&progress_);
  const std::optional<std::string> host = SelectedHost(failure);
  if (!host) return false;
  const std::int32_t started = lpd_->StartJob(*host, kLpdQueue);
  // The host is looked up once per operation: every reply read goes to this address.
  if (lpd_->resolved()) resolved_ = lpd_->address();
  if (started != 0) {
    failure = lpd_->failure();
    failure.message_id = kIdsFailedToConnect;
    return false;
  }
  return true;
}

bool NetworkChannel::Write(std::span<const std::byte> bytes, Failure& failure) {
  failure.message_id = kIdsFailedToSend;
  if (!lpd_) {
    failure.details = "No print job is open.";
    return false;
  }
  if (lpd_->SendDataFile(bytes) != 0) {
    failure = lpd_->failure();
    failure.message_id = kIdsFailedToSend;
    return false;
  }
  failure.message_id = 0;
  return true;
}

bool NetworkChannel::ReadReply(std::string& out, Failure& failure) {
  // The host this operation opened, even if the settings changed since.
  const std::optional<std::string> host =
      resolved_ && lpd_ ? std::optional<std::string>(lpd_->host()) : SelectedHost(failure);
  if (!host) return false;
  SnmpOutcome outcome =
      ReadSnmpReply({*host, ports_.snmp, &progress_, trace_, &round_trip_, &clock_,
                     resolved_ ? &*resolved_ : nullptr, settings_.community});
  if (!outcome.ok()) {
    failure = std::move(outcome.failure);
    return false;
  }
  out = std::move(outcome.value_text);
  return true;
}

void NetworkChannel::Close() {
  lpd_.reset();
  resolved_.reset();
}

std::string NetworkChannel::PortWords() const {
  const std::int32_t sel = settings_.host_sel;
  if (sel >= 0 && static_cast<std::size_t>(sel) < settings_.hosts.size()) {
    return NetworkPrinterWords(settings_.hosts[static_cast<std::size_t>(sel)]);
  }
  return "network, no host selected";
}

}  // namespace tavi
