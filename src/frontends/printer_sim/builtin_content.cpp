#include "frontends/printer_sim/builtin_content.h"

#include <cstdio>
#include <string_view>

namespace tavi::sim {
namespace {

class ReportWriter {
 public:
  explicit ReportWriter(bool crlf) : end_(crlf ? "\r\n" : "\n") {}
  void Line(std::string_view text = {}) {
    out_ += text;
    out_ += end_;
  }
  void Section(std::string_view title) {
    Line();
    Line("[" + std::string(title) + "]");
  }
  void Pair(std::string_view key, std::string_view value) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-24.*s: %.*s", static_cast<int>(key.size()), key.data(),
                  static_cast<int>(value.size()), value.data());
    Line(buf);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string_view end_;
  std::string out_;
};

}  // namespace

std::string BuiltinParams(std::int32_t family) {
  std::string block = "PRMBLK01 family=" + std::to_string(family) + ";";
  std::uint32_t x = 0x2545F491u ^ static_cast<std::uint32_t>(family);
  while (block.size() < kBuiltinParamsSize) {
    x = x * 1664525u + 1013904223u;  // a fixed linear congruential sequence
    block.push_back(static_cast<char>(x >> 24));
  }
  return block;
}

std::string BuildReport(const PrinterState& state, bool crlf) {
  ReportWriter w(crlf);
  w.Line("VIRTUAL PRINTER STATUS REPORT");
  w.Line("=============================");
  w.Section("Printer");
  w.Pair("Family", state.family == 1 ? "Type1" : "Type2");
  w.Pair("Family number", std::to_string(state.family));
  w.Pair("Serial number", "VP-000" + std::to_string(4711 + state.family));
  w.Pair("Main firmware", "1.00 (virtual)");
  w.Pair("Restarts", std::to_string(state.restarts));
  w.Pair("Commands taken", std::to_string(state.commands));

  w.Section("Parameters");
  w.Pair("Parameter block size", std::to_string(state.params_size) + " bytes");
  char sum[32];
  std::snprintf(sum, sizeof sum, "0x%08X", state.params_sum);
  w.Pair("Parameter byte sum", sum);

  w.Section("Heads");
  for (int head = 0; head < kHeadCount; ++head) {
    const auto it = state.head_ranks.find(head);
    w.Pair("Head " + std::to_string(head + 1) + " rank",
           it == state.head_ranks.end() ? "(not set)" : "\"" + it->second + "\"");
  }

  w.Section("Firmware upgrade");
  if (state.firmware_size < 0) {
    w.Pair("Last image", "none received");
  } else {
    w.Pair("Last image size", std::to_string(state.firmware_size) + " bytes");
    w.Pair("Last image SHA-256", state.firmware_sha256);
  }

  w.Section("Counters");
  static constexpr std::string_view kCounters[] = {"Printed area (m2)", "Ink used (ml)",
                                                   "Cleanings",         "Cutter cycles",
                                                   "Carriage passes",   "Power-on hours"};
  std::uint32_t x = 7;
  for (std::string_view name : kCounters) {
    x = x * 1103515245u + 12345u;
    w.Pair(name, std::to_string((x >> 8) % 100000));
  }

  w.Section("Nozzle check");
  for (int head = 0; head < kHeadCount; ++head) {
    for (int row = 0; row < 4; ++row) {
      char line[96];
      std::snprintf(line, sizeof line, "Head %d row %c  %s  missing 0  deflected %d", head + 1,
                    'A' + row, "||||||||||||||||||||||||||||||||", (head * 7 + row * 3) % 5);
      w.Line(line);
    }
  }

  w.Section("Event history");
  for (int i = 1; i <= 12; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "%03d  2024-01-%02d 08:%02d  maintenance cycle completed", i,
                  i, (i * 13) % 60);
    w.Line(line);
  }
  w.Line();
  w.Line("END OF REPORT");
  return w.Take();
}

}  // namespace tavi::sim
