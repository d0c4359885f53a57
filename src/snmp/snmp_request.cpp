#include "snmp/snmp_request.h"

#include <functional>

#include "resources/constants.h"
#include "resources/strings.h"
#include "snmp/snmp_client.h"

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
