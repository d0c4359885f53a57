// Get Report of 200 chunks with tavi-cli through a UDP relay that drops 5 % of the SNMP
// datagrams either way at random (seeded), side by side with the same relay dropping nothing:
// wall time of the whole command, the median of the runs, and the ratio.
// Usage: loss_bench [RUNS] [SEED]   (default 5 runs, seed 1; each run has its own seed from it)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frontends/printer_sim/virtual_printer.h"
#include "support/lossy_relay.h"

namespace {

constexpr char kAddress[] = "127.0.101.10";
constexpr int kChunks = 200;
constexpr double kLoss = 0.05;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Run {
  double seconds = 0;
  bool whole = false;  // exit 0 and the report byte for byte
  tavi::test::LossyRelay::Counts counts;
};

Run RunReport(tavi::sim::VirtualPrinter& printer, const std::filesystem::path& dir, double loss,
              std::uint32_t seed) {
  tavi::test::LossyRelay relay(kAddress, 0, kAddress, printer.snmp_port(),
                               tavi::test::LossyRelay::RandomLoss(loss, seed));
  Run run;
  if (!relay.ok()) return run;
  const std::filesystem::path out = dir / "report.txt";
  std::filesystem::remove(out);
  const std::string command =
      std::string(TAVI_CLI) + " -q --settings " + (dir / "empty.ini").string() +
      " --port network --host " + kAddress + " --lpd-port " + std::to_string(printer.lpd_port()) +
      " --snmp-port " + std::to_string(relay.port()) + " --timeout 120 report -o " + out.string() +
      " 2>" + (dir / "err").string();
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  relay.Stop();
  run.counts = relay.counts();
  run.whole = rc == 0 && ReadText(out) == printer.model().ReportText();
  if (!run.whole) std::fprintf(stderr, "rc %d: %s\n", rc, ReadText(dir / "err").c_str());
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const auto seed = static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1);
  std::string report;
  for (int i = 0; i < kChunks * 128; ++i) report += static_cast<char>('!' + i % 90);
  tavi::sim::VirtualPrinterConfig config;
  config.address = kAddress;
  config.options.report = report;
  tavi::sim::VirtualPrinter printer(config);
  std::string error;
  if (!printer.Start(error)) {
    std::fprintf(stderr, "virtual printer: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("loss-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "empty.ini").close();

  // Twice: a printer that carries a repeated request out again (its reply read moves on, so the
  // chunk of a lost answer only comes round again later), and one that answers a repeat from its
  // last answer (a lost answer then costs only the resend).
  int failures = 0;
  for (const bool answer_repeats : {false, true}) {
    tavi::sim::SimOptions options = printer.model().Options();
    options.snmp.answer_repeats = answer_repeats;
    printer.model().SetOptions(options);
    const char* mode = answer_repeats ? "printer answers repeats" : "printer re-executes repeats";
    std::vector<double> clean;
    std::vector<double> lossy;
    int dropped = 0;
    int datagrams = 0;
    int resends = 0;
    for (int r = 0; r < runs; ++r) {
      const Run a = RunReport(printer, dir, 0.0, seed + static_cast<std::uint32_t>(r));
      const Run b = RunReport(printer, dir, kLoss, seed + static_cast<std::uint32_t>(r));
      failures += (a.whole ? 0 : 1) + (b.whole ? 0 : 1);
      clean.push_back(a.seconds);
      lossy.push_back(b.seconds);
      dropped += b.counts.dropped;
      datagrams += b.counts.requests + b.counts.answers;
      resends += b.counts.requests - b.counts.polls;
      std::printf(
          "%s, run %d: no loss %.3f s (%d polls), 5 %% loss %.3f s (%d polls, %d dropped, %d "
          "resent)\n",
          mode, r + 1, a.seconds, a.counts.polls, b.seconds, b.counts.polls, b.counts.dropped,
          b.counts.requests - b.counts.polls);
    }
    const double m0 = Median(clean);
    const double m5 = Median(lossy);
    std::printf(
        "%s: Get Report, %d chunks: no loss %.3f s, 5 %% loss %.3f s (median of %d): ratio %.2f "
        "(target <= 1.5); %d of %d datagrams dropped, %d requests resent\n",
        mode, kChunks, m0, m5, runs, m5 / m0, dropped, datagrams, resends);
  }
  printer.Stop();
  std::filesystem::remove_all(dir);
  if (failures != 0) std::fprintf(stderr, "%d runs did not bring the whole report\n", failures);
  return failures == 0 ? 0 : 1;
}
