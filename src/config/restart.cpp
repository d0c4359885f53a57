#include "config/restart.h"

#include "platform/seams.h"
#include "resources/constants.h"
#include "snmp/snmp_request.h"

namespace tavi {

bool RestartPrinter(std::string_view host, ProgressDialog& progress, Messages& messages,
                    Clock& clock, std::uint16_t snmp_port, Trace trace) {
  if (trace.on()) trace.Event("snmp", "restart the printer at '" + std::string(host) + "'");
  progress.SetProgressRange(100);
  progress.SetProgressPos(0);
  progress.Show(true);

  bool ok = false;
  const SnmpOutcome outcome = RequestSnmpRestart({host, snmp_port, &progress, trace});
  if (!outcome.ok()) {
    messages.ShowMessage(outcome.message_id, outcome.details);
  } else {
    // The printer restarts now; give it its time, with the bar running from 40 to 97.
    int elapsed = 0;
    int shown = 0;
    while (elapsed < kRestartTotalMs && !progress.IsCancelled()) {
      progress.SetProgressPos(shown + 40);
      elapsed += kRestartStepMs;
      shown = elapsed * 60 / kRestartTotalMs;
      clock.Sleep(kRestartStepMs);
    }
    ok = !progress.IsCancelled();
  }
  progress.Show(false);
  return ok;
}

}  // namespace tavi
