// The one place where the main dialog's buttons meet the operation flows.
#pragma once

#include "app/main_dialog.h"

namespace tavi {

// The operations of this build. A flow not wired yet keeps the default, which does nothing.
MainDialog::Operations WireOperations();

}  // namespace tavi
