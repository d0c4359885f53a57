#include "core/ui/progress_status.h"

namespace tavi {
namespace {

std::string OfTotal(std::int64_t done, std::int64_t total, std::string_view unit) {
  std::string words = std::to_string(done) + " of " + std::to_string(total);
  if (!unit.empty()) {
    words += ' ';
    words += unit;
  }
  return words;
}

}  // namespace

std::string NetworkPrinterWords(std::string_view host) {
  return "network, host '" + std::string(host) + "'";
}

std::string StepWords(const ProgressStep& step) {
  switch (step.stage) {
    case ProgressStage::kNone:
      return {};
    case ProgressStage::kConnecting:
      return "connecting";
    case ProgressStage::kSending:
      return "sending " + OfTotal(step.done, step.total, "bytes");
    case ProgressStage::kWaitingForReportHeader:
      return "waiting for the report header";
    case ProgressStage::kWaitingForParameterHeader:
      return "waiting for the parameter block's header";
    case ProgressStage::kReceivingChunks:
      return "chunk " + OfTotal(step.done, step.total, {});
    case ProgressStage::kRequestingRestart:
      return "asking the printer to restart";
    case ProgressStage::kWaitingForRestart:
      return "waiting for the printer to restart";
    case ProgressStage::kWaitingForAnswer:
      return "waiting for the printer to answer again";
  }
  return {};
}

std::string ElapsedWords(std::int64_t ms) {
  const std::int64_t seconds = ms < 0 ? 0 : ms / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  const std::int64_t rest = seconds % 60;
  return std::to_string(seconds / 60) + " min " + (rest < 10 ? "0" : "") + std::to_string(rest) +
         " s";
}

std::string StatusLine(std::string_view printer, const ProgressStep& step,
                       std::int64_t elapsed_ms) {
  const std::string words = StepWords(step);
  if (printer.empty() && words.empty()) return {};
  std::string line(printer);
  if (!words.empty()) {
    if (!line.empty()) line += ": ";
    line += words;
  }
  line += ", ";
  line += ElapsedWords(elapsed_ms);
  return line;
}

std::string QuietHint(std::int64_t quiet_ms) {
  return "The printer has not answered for " + ElapsedWords(quiet_ms) +
         ". This usually means it is switched off, is not of the family selected, or is not at "
         "this address.";
}

}  // namespace tavi
