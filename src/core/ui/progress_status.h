// What the progress window says it is doing, besides its bar: the printer it talks to, the step
// under way and how long the operation has run; and, once the printer has given no news for a
// while, why that usually happens. The words are defined here once; every front end draws them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

enum class ProgressStage {
  kNone,                    // nothing said yet (e.g. a file read that keeps the window up)
  kConnecting,              // opening the port: name look-up, connect, the job command
  kSending,                 // done of total bytes sent
  kWaitingForReportHeader,  // polling for the header that announces the report's chunks
  kWaitingForParameterHeader,
  kReceivingChunks,    // done of total chunks received
  kRequestingRestart,  // the SNMP request that restarts the printer
  kWaitingForRestart,  // the printer restarts: a fixed wait
  kWaitingForAnswer,   // done of total ms asking whether the printer answers again
};

struct ProgressStep {
  ProgressStage stage = ProgressStage::kNone;
  std::int64_t done = 0;
  std::int64_t total = 0;
  bool operator==(const ProgressStep&) const = default;
};

// Without news for this long, the window adds what usually keeps a printer quiet.
inline constexpr std::int64_t kQuietHintMs = 30000;

// A printer on the network, as the window and the trace name it: "network, host '192.0.2.7'".
std::string NetworkPrinterWords(std::string_view host);

// "connecting", "sending 1024 of 4096 bytes", "waiting for the report header", "chunk 3 of 8",
// ...; empty for kNone.
std::string StepWords(const ProgressStep& step);

// "42 s", "9 min 05 s".
std::string ElapsedWords(std::int64_t ms);

// One line: "network, host '192.0.2.7': waiting for the report header, 42 s". Parts that are
// unknown are left out; empty when neither the printer nor the step is known.
std::string StatusLine(std::string_view printer, const ProgressStep& step, std::int64_t elapsed_ms);

// The hint after `quiet_ms` without news from the printer.
std::string QuietHint(std::int64_t quiet_ms);

}  // namespace tavi
