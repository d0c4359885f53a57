// Every operation the front ends run, named once: its button in the main dialog, its tavi-cli
// command, the word the trace of a window run starts with, and the name tavi-cli's --json gives
// it. The windows bind their buttons through this table and tavi-cli's command table takes its
// names from it, so a name is changed here or nowhere.
#pragma once

#include <array>
#include <string_view>

#include "core/resources/dialog_templates.h"

namespace tavi {

enum class Operation {
  kSelectPort,
  kGetReport,
  kGetParameters,
  kPutParameters,
  kSetHeadRank,
  kFirmwareUpgrade,
  kRestart,
  kDiscover,
  kListPorts,
  kDecodeParameters,
  kEncodeParameters,
  kHistory,
  kCompareParameters,
};

struct OperationNames {
  Operation operation;
  int button = 0;            // its control id (template kDlgMain or kDlgSelectPort); 0: none
  std::string_view command;  // as typed after tavi-cli: "report", "params decode"; empty: none
  std::string_view trace;    // a window's run line: "Tavi <version>: <trace>"; empty: none
  std::string_view json;     // the "command" member of tavi-cli's --json object; empty: none
};

inline constexpr std::array<OperationNames, 13> kOperations = {{
    {Operation::kSelectPort, kIdSelectPort, "", "Select Port", ""},
    {Operation::kGetReport, kIdGetReport, "report", "Get Report", "report"},
    {Operation::kGetParameters, kIdGetParameters, "get-params", "Get Parameters", "get-params"},
    {Operation::kPutParameters, kIdPutParameters, "put-params", "Put Parameters", "put-params"},
    {Operation::kSetHeadRank, kIdSetHeadRank, "set-head-rank", "Set Head Rank", "set-head-rank"},
    {Operation::kFirmwareUpgrade, kIdFirmwareUpgrade, "firmware", "Firmware Upgrade", "firmware"},
    // Restart and Find... are buttons of the Select Port window; they run inside its operation.
    {Operation::kRestart, kIdRestart, "restart", "", "restart"},
    {Operation::kDiscover, kIdFind, "discover", "", "discover"},
    {Operation::kListPorts, 0, "ports", "", "ports"},
    {Operation::kDecodeParameters, 0, "params decode", "", "params decode"},
    {Operation::kEncodeParameters, 0, "params encode", "", "params encode"},
    {Operation::kHistory, 0, "history", "", "history"},
    {Operation::kCompareParameters, 0, "params diff", "", "params diff"},
}};

// The row of `operation` (every operation has one).
[[nodiscard]] constexpr const OperationNames& NamesOf(Operation operation) {
  for (const OperationNames& row : kOperations) {
    if (row.operation == operation) return row;
  }
  return kOperations[0];
}

// The main dialog's operation behind button `id`; false for any other control.
[[nodiscard]] constexpr bool MainDialogOperation(int id, Operation& out) {
  for (const OperationNames& row : kOperations) {
    if (row.button == id && !row.trace.empty()) {
      out = row.operation;
      return true;
    }
  }
  return false;
}

// The main dialog's buttons, each with its operation, in the template's order.
inline constexpr std::array<Operation, 6> kMainDialogOperations = {
    Operation::kSelectPort,    Operation::kGetReport,   Operation::kGetParameters,
    Operation::kPutParameters, Operation::kSetHeadRank, Operation::kFirmwareUpgrade};

}  // namespace tavi
