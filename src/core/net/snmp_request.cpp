#include "core/net/snmp_request.h"

#include <functional>

#include "core/net/snmp_client.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"

namespace tavi {
namespace {

SnmpOutcome Exchange(const SnmpPeer& peer, const std::function<void(SnmpClient&)>& build) {
  SnmpClient client(peer.port, peer.trace);
  client.SetCancelSource(peer.cancel_source);
  client.SetRoundTrip(peer.round_trip);
  client.SetClock(peer.clock);
  client.SetCommunity(peer.community);
  SnmpOutcome outcome;
  const auto failed = [&](int id) {
    outcome.failure = client.failure();
    outcome.failure.message_id = id;
    return outcome;
  };
  const std::int32_t opened =
      peer.address != nullptr ? client.Open(peer.host, *peer.address) : client.Open(peer.host);
  if (opened != 0) return failed(kIdsFailedToConnect);
  build(client);
  if (client.Send() < 0) return failed(kIdsFailedToSend);
  if (client.Receive() < 0) return failed(kIdsFailedToReceive);
  client.ValueText(outcome.value_text);
  return outcome;
}

}  // namespace

SnmpOutcome ReadSnmpReply(const SnmpPeer& peer) {
  return Exchange(peer,
                  [](SnmpClient& client) { client.BuildGet(kReplyOid, ber::kPduGetRequest); });
}

SnmpOutcome RequestSnmpRestart(const SnmpPeer& peer) {
  // The set goes out again only while no answer came: once the printer answered, it restarts,
  // and the receive ends with that answer.
  return Exchange(peer, [](SnmpClient& client) {
    client.BuildInteger(kRestartOid, ber::kPduSetRequest, kRestartValue);
  });
}

}  // namespace tavi
