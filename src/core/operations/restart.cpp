#include "core/operations/restart.h"

#include "core/net/snmp_request.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"

namespace tavi {

bool RestartPrinter(std::string_view host, ProgressDialog& progress, Messages& messages,
                    Clock& clock, std::uint16_t snmp_port, Trace trace,
                    std::string_view community) {
  if (trace.on()) trace.Event("snmp", "restart the printer at '" + std::string(host) + "'");
  progress.SetProgressRange(100);
  progress.SetProgressPos(0);
  progress.Show(true);

  progress.NamePrinter(NetworkPrinterWords(host));
  progress.SetStep({ProgressStage::kRequestingRestart});

  bool ok = false;
  const SnmpOutcome outcome =
      RequestSnmpRestart({host, snmp_port, &progress, trace, nullptr, &clock, nullptr, community});
  if (!outcome.ok()) {
    // A socket call that Cancel broke off is no failure: no message.
    if (progress.IsCancelled()) {
      if (trace.on()) trace.Event("snmp", "cancelled, so no message: " + outcome.failure.details);
      messages.NoteCancelled(outcome.failure.message_id, outcome.failure.details);
    } else {
      if (trace.on()) {
        trace.Event("snmp", "message " + std::to_string(outcome.failure.message_id) + " \"" +
                                std::string(LoadString(outcome.failure.message_id)) +
                                "\": " + outcome.failure.details);
      }
      messages.ShowMessage(outcome.failure.message_id, outcome.failure.details);
    }
  } else {
    if (trace.on()) trace.Event("snmp", "the printer accepted the restart request");
    progress.SetStep({ProgressStage::kWaitingForRestart});
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
  if (trace.on()) {
    trace.Event("snmp", ok                       ? "restart: the whole wait ran"
                        : progress.IsCancelled() ? "restart: cancelled"
                                                 : "restart: failed");
  }
  return ok;
}

}  // namespace tavi
