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
  if (client.Open(peer.host) != 0) return {kIdsFailedToConnect, client.details(), {}};
  build(client);
  if (client.Send() < 0) return {kIdsFailedToSend, client.details(), {}};
  if (client.Receive() < 0) return {kIdsFailedToReceive, client.details(), {}};
  SnmpOutcome outcome;
  client.ValueText(outcome.value_text);
  return outcome;
}

}  // namespace

SnmpOutcome ReadSnmpReply(const SnmpPeer& peer) {
  return Exchange(peer,
                  [](SnmpClient& client) { client.BuildGet(kReplyOid, ber::kPduGetRequest); });
}

SnmpOutcome RequestSnmpRestart(const SnmpPeer& peer) {
  return Exchange(peer, [](SnmpClient& client) {
    client.BuildInteger(kRestartOid, ber::kPduSetRequest, kRestartValue);
  });
}

}  // namespace tavi
