// Restarting a networked printer: one SNMP SetRequest, then a six-second wait with a bar.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/resources/constants.h"
#include "core/trace/trace.h"

namespace tavi {

class Clock;
class Messages;
class ProgressDialog;

// Asks the printer at `host` to restart and waits 6000 ms for it, in 250 ms steps that move the
// bar from 40 to 97. `progress` is a dialog of the caller's own, used for this restart only: it
// is shown (range 100, position 0) at the start and hidden at the end. A failure shows one of
// "Failed to connect.", "Failed to send." or "Failed to receive." with the SNMP client's
// details (what was tried, where, and why); a Cancel during a socket call ends that call
// without a message. The window names the printer and the step while it runs. `snmp_port` 0
// means the "snmp" service port, else 161. `trace` receives the host, the exchange, the wait
// and how it ended. The request goes in `community`.
// Returns true when the printer accepted the request and the whole wait ran; false on a failure
// and also when Cancel ended the wait early (that shows no message).
bool RestartPrinter(std::string_view host, ProgressDialog& progress, Messages& messages,
                    Clock& clock, std::uint16_t snmp_port = 0, Trace trace = {},
                    std::string_view community = kSnmpCommunity);

}  // namespace tavi
