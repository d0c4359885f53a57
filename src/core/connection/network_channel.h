// The network channel: writes go out as LPD data files of one job per open, replies are read
// with one SNMP GetRequest of the reply object each.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/connection/channel.h"
#include "core/connection/default_channels.h"
#include "core/connection/lpd_client.h"
#include "core/net/round_trip.h"

namespace tavi {

class NetworkChannel final : public Channel {
 public:
  NetworkChannel(const ChannelContext& context, NetworkPorts ports);

  // A new LPD client starts a job on the selected host, queue "lp1". Any failure: 104. The
  // address the host was looked up as serves every reply read until close; the round-trip
  // bound starts afresh.
  bool Open(Failure& failure) override;
  // One data file of the job. Any failure: 105.
  bool Write(std::span<const std::byte> bytes, Failure& failure) override;
  // One GetRequest of the reply object through a fresh SNMP client, to the address the open
  // looked up (without an open, the client looks the host up); `out` becomes its value text
  // (an OCTET STRING in double quotes). Open 104, send 105, receive 106. The polls of one open
  // share a round-trip bound, so each starts from what the ones before it measured.
  bool ReadReply(std::string& out, Failure& failure) override;
  // Deletes the LPD client, which closes its connection and so ends the job.
  void Close() override;
  // "network, host 'printer7'" (or "network, no host selected").
  std::string PortWords() const override;
  // A write is a send (105), a read a receive (106).
  int WriteFailureId() const override { return kIdsFailedToSend; }
  int ReadFailureId() const override { return kIdsFailedToReceive; }

  // The LPD client of the open job (null before the first open and after close).
  const LpdClient* lpd_client() const { return lpd_.get(); }

 private:
  // The selected host, or nothing (with `failure` filled with 104) when the index lies outside
  // the host list.
  std::optional<std::string> SelectedHost(Failure& failure) const;

  const PortSettings& settings_;
  ProgressDialog& progress_;
  Clock& clock_;
  const Trace& trace_;
  NetworkPorts ports_;
  std::unique_ptr<LpdClient> lpd_;
  RoundTripEstimate round_trip_;
  // The selected host's address as the open looked it up, until close.
  std::optional<NetAddress> resolved_;
};

}  // namespace tavi
