#include "core/operations/get_report.h"

#include <span>
#include <utility>

#include "core/operations/flow_files.h"
#include "core/protocol/operations.h"

namespace tavi {

FlowOutcome FetchReportFlow(PrinterConnection& connection, std::string& report) {
  return GetReport(connection, report) ? FlowOutcome::kSuccess : FlowOutcome::kFailed;
}

FlowOutcome GetReportFlow(PrinterConnection& connection, const ShowReport& show) {
  return GetReportFlow([&connection](std::string& report) { return GetReport(connection, report); },
                       show);
}

FlowOutcome GetReportFlow(const FetchReport& fetch, const ShowReport& show) {
  std::string report;
  if (!fetch(report)) return FlowOutcome::kFailed;
  show(std::move(report));
  return FlowOutcome::kSuccess;
}

FlowOutcome SaveReportFlow(std::string_view report, FileChooser& chooser, Messages& messages) {
  return SaveBytes(std::as_bytes(std::span(report.data(), report.size())), FileKind::kReport,
                   chooser, messages);
}

}  // namespace tavi
