// tavi-cli --trace FILE and -v against a virtual printer: the same lines in the file and on
// stderr, both access codes only by name, and a firmware image summarised.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "cli_runner.h"
#include "core/resources/constants.h"
#include "core/trace/trace_sinks.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/doubles.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

using test::ExpectNoAccessCode;

struct Printer {
  explicit Printer(const char* address) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    printer = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    started = printer->Start(error);
    EXPECT_TRUE(started) << error;
  }
  ~Printer() { printer->Stop(); }
  std::string Options(const TempDir& dir, const std::string& address) const {
    test::WriteAll(dir / "empty.ini", "");
    return "-q --settings " + Quote(dir / "empty.ini") + " --port network --host " + address +
           " --lpd-port " + std::to_string(printer->lpd_port()) + " --snmp-port " +
           std::to_string(printer->snmp_port()) + " ";
  }
  std::unique_ptr<sim::VirtualPrinter> printer;
  bool started = false;
};

TEST(CliTrace, ReportTracedToAFileAndToStderrForBothFamilies) {
  Printer p("127.0.0.195");
  ASSERT_TRUE(p.started);
  TempDir dir;
  for (const char* family : {"1", "2"}) {
    // The printer knows only one family: the other one's report never comes, which the trace
    // shows up to the time-out.
    const bool own = std::string(family) == std::to_string(p.printer->model().Options().family);
    const std::string trace = dir / (std::string("trace-") + family + ".txt");
    const CliRun run = RunCli(dir, p.Options(dir, "127.0.0.195") + "--type " + family +
                                       (own ? " --timeout 20" : " --timeout 1") + " -v --trace " +
                                       Quote(trace) + " report");
    const std::string file = test::ReadAll(trace);
    ExpectNoAccessCode(file, "trace file");
    ExpectNoAccessCode(run.err, "stderr");
    ExpectNoAccessCode(run.out, "stdout");
    EXPECT_EQ(run.status, own ? 0 : 3) << run.err;
    // Stderr holds the very lines of the file, with the messages between them.
    std::string traced;
    for (std::size_t at = 0; at < run.err.size();) {
      const std::size_t end = std::min(run.err.find('\n', at), run.err.size());
      const std::string line = run.err.substr(at, end - at);
      if (line.find(" ms ") == 7) traced += line + "\n";
      at = end + 1;
    }
    EXPECT_EQ(traced, file);
    EXPECT_GT(file.size(), 1000u);
    test::ExpectInOrder(
        file, {"run   tavi-cli ", "report",
               "run   port network, host '127.0.0.195', family " + std::string(family),
               "lpd   connect to 127.0.0.195 port ",
               std::string("conn  write 510 bytes: OPEN CODE=<access code ") +
                   (std::string(family) == "1" ? "A" : "B") + ">",
               "\"GET REPORT\"", "wait  300 ms", "snmp  request to ", "snmp  response after "});
    if (own) {
      test::ExpectInOrder(
          file, {"snmp  value \"REPORT:", "conn  close", "end   outcome: success (exit 0) after "});
    } else {
      test::ExpectInOrder(
          file, {"run   Cancel: --timeout ran out", "end   outcome: timed-out (exit 3) after "});
    }
  }
}

TEST(CliTrace, FirmwareTraceIsASummaryFarUnderItsBound) {
  Printer p("127.0.0.196");
  ASSERT_TRUE(p.started);
  TempDir dir;
  // 3 MB of firmware in 31 writes: the trace names each write's length, never its bytes.
  std::string image(3'000'000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 7) >> 2);
  test::WriteAll(dir / "fw.bin", image);
  const std::string trace = dir / "fw-trace.txt";
  const CliRun run = RunCli(dir, p.Options(dir, "127.0.0.196") + "--trace " + Quote(trace) +
                                     " firmware " + Quote(dir / "fw.bin"));
  ASSERT_EQ(run.status, 0) << run.err;
  // The printer takes the image as a whole when the job's connection ends, which its server
  // may see a moment after tavi-cli has exited.
  for (int i = 0; i < 200 && p.printer->model().FirmwareSize() < 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(p.printer->model().FirmwareSize(), 3'000'000);
  const std::string file = test::ReadAll(trace);
  EXPECT_LT(file.size(), 32u * 1024) << file.size();
  EXPECT_LE(file.size(), kTraceFileLimit);
  std::size_t chunks = 0;
  for (std::size_t at = file.find("102400 bytes of firmware image"); at != std::string::npos;
       at = file.find("102400 bytes of firmware image", at + 1)) {
    ++chunks;
  }
  EXPECT_EQ(chunks, 29u);  // 29 full writes and one of 30,400 bytes
  EXPECT_NE(file.find("conn  write 30400 bytes of firmware image"), std::string::npos);
  // The console frame of "BOOT_UpdateMain 0\n": its length, then the text.
  EXPECT_NE(file.find("conn  write 21 bytes: 00 12 42 4f 4f 54 5f 55"), std::string::npos) << file;
  EXPECT_NE(file.find("wait  3000 ms"), std::string::npos);
  EXPECT_NE(file.find("end   outcome: success (exit 0)"), std::string::npos);
  // Not one run of the image's bytes in hex.
  EXPECT_EQ(file.find(HexBytes(std::as_bytes(std::span(image.data(), 8)), 8)), std::string::npos);
  ExpectNoAccessCode(file, "firmware trace");

  // A trace file that cannot be made is a usage error, and nothing is sent.
  const CliRun bad =
      RunCli(dir, p.Options(dir, "127.0.0.196") + "--trace /no/such/dir/t.txt firmware " +
                      Quote(dir / "fw.bin"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("/no/such/dir/t.txt"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace tavi
