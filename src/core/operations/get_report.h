// Get Report: the printer's status report fetched, shown, and saved on request.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/operations/flow_outcome.h"

namespace tavi {

class FileChooser;
class Messages;
class PrinterConnection;

// The window that shows a fetched report (its Save runs SaveReportFlow).
using ShowReport = std::function<void(std::string report)>;
// The exchange that fills `report`; true once it arrived whole.
using FetchReport = std::function<bool(std::string& report)>;

// The fetch alone: kSuccess with `report` whole, else kFailed (the exchange's message shown).
FlowOutcome FetchReportFlow(PrinterConnection& connection, std::string& report);
// Get Report: fetches the report and, once it arrived whole, hands it to `show`; a failed fetch
// shows nothing more.
FlowOutcome GetReportFlow(PrinterConnection& connection, const ShowReport& show);
FlowOutcome GetReportFlow(const FetchReport& fetch, const ShowReport& show);
// The Get Report window's Save: asks for a file and writes exactly the report's bytes
// (replaced atomically).
FlowOutcome SaveReportFlow(std::string_view report, FileChooser& chooser, Messages& messages);

}  // namespace tavi
