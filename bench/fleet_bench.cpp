// tavi-cli --hosts against 32 virtual printers on 127.0.4.1 to 127.0.4.32, side by side with the
// same command against one of them: parameter backups and reports, wall time of the whole
// command (process start included) and the peak memory of tavi-cli (/usr/bin/time's maximum
// resident set) and of this program, which runs the 32 printers.
// Usage: fleet_bench [RUNS]   (default 5; the median of the runs is compared)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frontends/printer_sim/virtual_printer.h"

namespace {

constexpr int kPrinters = 32;
constexpr std::uint16_t kLpdPort = 19515;
constexpr std::uint16_t kSnmpPort = 19161;

std::string Address(int n) {
  return "127.0.4." + std::to_string(n);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// This process's peak resident set in KiB (VmHWM), or -1.
long PeakKib() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

struct Run {
  double seconds = 0;
  long peak_kib = -1;  // tavi-cli's maximum resident set
  int status = -1;
  int files = 0;
};

// Runs tavi-cli with `args` under /usr/bin/time; counts the files it left in `out`.
Run RunCli(const std::filesystem::path& dir, const std::string& args) {
  const std::filesystem::path out = dir / "out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  const std::string command = "/usr/bin/time -f %M -o " + (dir / "rss").string() + " " TAVI_CLI +
                              std::string(" --settings ") + (dir / "empty.ini").string() +
                              " -q --lpd-port " + std::to_string(kLpdPort) + " --snmp-port " +
                              std::to_string(kSnmpPort) + " " + args + " 2>" +
                              (dir / "err").string() + " >/dev/null";
  Run run;
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = rc;
  run.peak_kib = std::strtol(ReadText(dir / "rss").c_str(), nullptr, 10);
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    if (entry.file_size() > 0) ++run.files;
  }
  if (rc != 0) std::fprintf(stderr, "%s\n%s", command.c_str(), ReadText(dir / "err").c_str());
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::unique_ptr<tavi::sim::VirtualPrinter>> printers;
  std::string all;
  for (int n = 1; n <= kPrinters; ++n) {
    tavi::sim::VirtualPrinterConfig config;
    config.address = Address(n);
    config.lpd_port = kLpdPort;
    config.snmp_port = kSnmpPort;
    auto printer = std::make_unique<tavi::sim::VirtualPrinter>(config);
    std::string error;
    if (!printer->Start(error)) {
      std::fprintf(stderr, "virtual printer %s: %s\n", config.address.c_str(), error.c_str());
      return 1;
    }
    printers.push_back(std::move(printer));
    all += (all.empty() ? "" : ",") + config.address;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("fleet-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "empty.ini").close();
  const std::string out = (dir / "out").string();

  struct Case {
    const char* name;
    std::string command;
  };
  const Case cases[] = {
      {"get-params", "get-params " + out + "/{host}.prm"},
      {"report", "report -o " + out + "/{host}.txt"},
  };
  int failures = 0;
  for (const Case& c : cases) {
    std::vector<double> one;
    std::vector<double> fleet;
    long one_peak = 0;
    long fleet_peak = 0;
    // Side by side: each run times one printer, then all 32.
    for (int r = 0; r < runs; ++r) {
      const Run single = RunCli(dir, "--hosts " + Address(1) + " " + c.command);
      const Run many =
          RunCli(dir, "--jobs " + std::to_string(kPrinters) + " --hosts " + all + " " + c.command);
      if (single.status != 0 || single.files != 1 || many.status != 0 || many.files != kPrinters) {
        ++failures;
      }
      one.push_back(single.seconds);
      fleet.push_back(many.seconds);
      one_peak = std::max(one_peak, single.peak_kib);
      fleet_peak = std::max(fleet_peak, many.peak_kib);
    }
    const double m1 = Median(one);
    const double m32 = Median(fleet);
    std::printf(
        "%-10s 1 printer %.3f s, %d printers %.3f s (median of %d): ratio %.3f; tavi-cli peak "
        "RSS %ld KiB (1) / %ld KiB (%d)\n",
        c.name, m1, kPrinters, m32, runs, m32 / m1, one_peak, fleet_peak, kPrinters);
  }
  std::printf("this program with %d virtual printers: VmHWM %ld KiB\n", kPrinters, PeakKib());
  for (auto& printer : printers) printer->Stop();
  std::filesystem::remove_all(dir);
  if (failures != 0) std::fprintf(stderr, "%d runs did not back up every printer\n", failures);
  return failures == 0 ? 0 : 1;
}
