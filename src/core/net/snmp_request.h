// One request through a fresh SNMP client, as the network port's reply read and the printer
// restart both make it: open towards the host, send the request, receive one response. A
// failure names the step's message ("Failed to connect.", "Failed to send." or "Failed to
// receive.") with the client's details; the client lives for this one exchange. A request that
// goes unanswered within the round-trip bound is sent again on the same socket, a bounded number
// of times, before the receive fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/failure/failure.h"
#include "core/resources/constants.h"
#include "core/trace/trace.h"
#include "os/socket.h"

namespace tavi {

class Clock;
class ProgressDialog;
class RoundTripEstimate;

struct SnmpOutcome {
  Failure failure;         // message 0 when the response came back with no error status
  std::string value_text;  // the response value's text (on success)
  bool ok() const { return failure.message_id == 0; }
};

// Where and how the exchange runs. `port` 0 is the "snmp" service port, else 161. While a socket
// call waits, `cancel_source` (if given) is pumped, and its Cancel fails the call (also a name
// look-up's wait). `round_trip` (if given) is the bound that the polls of one operation share
// and teach; `clock` (if given) is the time scale it runs on, else the steady clock.
struct SnmpPeer {
  std::string_view host;
  std::uint16_t port = 0;
  ProgressDialog* cancel_source = nullptr;
  Trace trace;
  RoundTripEstimate* round_trip = nullptr;
  Clock* clock = nullptr;
  // The address the operation already looked `host` up as; null: the exchange looks it up.
  const NetAddress* address = nullptr;
  std::string_view community = kSnmpCommunity;  // the request's; an answer counts only in it
};

// GetRequest of the reply object: the printer's current reply text.
SnmpOutcome ReadSnmpReply(const SnmpPeer& peer);

// SetRequest of the restart object with its INTEGER value: the printer restarts.
SnmpOutcome RequestSnmpRestart(const SnmpPeer& peer);

}  // namespace tavi
