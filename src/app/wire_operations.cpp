#include "app/wire_operations.h"

namespace tavi {

MainDialog::Operations WireOperations() {
  MainDialog::Operations operations;
  // Wire each flow here as it lands, e.g.
  //   operations.get_report = [](MainDialog& d, std::string& report) {
  //     return GetReport(d.connection(), report);
  //   };
  // select_port, get_parameters, put_parameters (with `all`), set_head_rank and
  // firmware_upgrade follow the same pattern; the dialog's EnableCommands wraps each of them.
  return operations;
}

}  // namespace tavi
