// The one place where the main dialog's buttons meet the operation flows.
#pragma once

#include <cstdint>

#include "frontends/qt/main_dialog.h"

namespace tavi {

// The operations of this build. `restart_snmp_port` is the SNMP port that Restart in the Select
// Port window asks (0: the "snmp" service port, as the desktop program always uses).
MainDialog::Operations WireOperations(std::uint16_t restart_snmp_port = 0);

}  // namespace tavi
