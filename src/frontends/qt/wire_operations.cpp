#include "frontends/qt/wire_operations.h"

#include <cstdint>
#include <string>

#include "core/connection/printer_connection.h"
#include "core/operations/firmware_upgrade.h"
#include "core/operations/get_parameters.h"
#include "core/operations/get_report.h"
#include "core/operations/put_parameters.h"
#include "core/operations/set_head_rank.h"
#include "frontends/qt/select_port_dialog.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "os/journal_file.h"

namespace tavi {

MainDialog::Operations WireOperations(std::uint16_t restart_snmp_port) {
  MainDialog::Operations operations;
  operations.select_port = [restart_snmp_port](MainDialog& d) {
    PrinterConnection& connection = d.connection();
    return RunSelectPort(connection.settings(), connection.messages(), connection.clock(),
                         restart_snmp_port, &d, connection.trace());
  };
  operations.get_report = [](MainDialog& d, std::string& report) {
    return FetchReportFlow(d.connection(), report) == FlowOutcome::kSuccess;
  };
  operations.get_parameters = [](MainDialog& d) {
    return GetParametersFlow(d.connection(), d.file_chooser()) == FlowOutcome::kSuccess;
  };
  operations.put_parameters = [](MainDialog& d, bool all) {
    // With SafetyCopy=1 in the settings, the printer's block is kept before it is replaced.
    const std::string safety_folder =
        d.connection().settings().safety_copy ? JournalFolder() : std::string();
    return PutParametersFlow(d.connection(), d.file_chooser(), all, d.verify_restore(),
                             safety_folder) == FlowOutcome::kSuccess;
  };
  operations.set_head_rank = [](MainDialog& d) {
    // A new window each time, so every opening starts from the defaults and head "1".
    SetHeadRankDialog window(d.file_chooser(), d.connection().messages(), &d);
    if (window.exec() != QDialog::Accepted) return false;
    return SetTypedHeadRankFlow(d.connection(), window.head_index(), window.fields()) ==
           FlowOutcome::kSuccess;
  };
  operations.firmware_upgrade = [](MainDialog& d) {
    return FirmwareUpgradeFlow(d.connection(), d.file_chooser()) == FlowOutcome::kSuccess;
  };
  return operations;
}

}  // namespace tavi
