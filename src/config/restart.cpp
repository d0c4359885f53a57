#include "config/restart.h"

#include "platform/seams.h"
#include "resources/constants.h"
#include "resources/strings.h"
#include "snmp/ber.h"
#include "snmp/snmp_client.h"

namespace tavi {

bool RestartPrinter(std::string_view host, ProgressDialog& progress, Messages& messages,
                    Clock& clock, std::uint16_t snmp_port, Trace trace) {
  if (trace.on()) trace.Event("snmp", "restart the printer at '" + std::string(host) + "'");
  progress.SetProgressRange(100);
  progress.SetProgressPos(0);
  progress.Show(true);

  bool ok = false;
  {
    SnmpClient client(snmp_port, trace);
    client.SetCancelSource(&progress);
    if (client.Open(host) != 0) {
      messages.ShowMessage(kIdsFailedToConnect, client.details());
    } else {
      client.BuildInteger(kRestartOid, ber::kPduSetRequest, kRestartValue);
      if (client.Send() < 0) {
        messages.ShowMessage(kIdsFailedToSend, client.details());
      } else if (client.Receive() < 0) {
        messages.ShowMessage(kIdsFailedToReceive, client.details());
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
    }
  }
  progress.Show(false);
  return ok;
}

}  // namespace tavi
