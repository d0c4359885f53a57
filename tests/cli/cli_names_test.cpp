// tavi-cli by IPv6 address and by name: a virtual printer on ::1 reached by its address in both
// spellings and by a name that has only that address, the IPv6 forms of host lists, and a name
// server that never answers, which --timeout and Ctrl-C must still cut short.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli_runner.h"
#include "frontends/cli/cli_hosts.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

TEST(CliHostList, Ipv6AddressesBareAndInBracketsAreOnePrinterEach) {
  std::vector<std::string> hosts;
  std::vector<std::string> notes;
  std::string error;
  ASSERT_TRUE(cli::ParseHostList("[2001:db8::7], 2001:DB8:0:0::7,127.0.102.9,::1,[0:0::1],p7",
                                 hosts, error, &notes))
      << error;
  EXPECT_THAT(hosts, ElementsAre("[2001:db8::7]", "127.0.102.9", "::1", "p7"));
  EXPECT_THAT(notes, ElementsAre("Hosts [2001:db8::7] and 2001:DB8:0:0::7 are the same printer: "
                                 "it runs once, as [2001:db8::7].",
                                 "Hosts ::1 and [0:0::1] are the same printer: it runs once, as "
                                 "::1."));

  ASSERT_TRUE(
      cli::ParseHostFileText("# floor 2\n[2001:db8::8]\n2001:db8::9 # spare\n", hosts, error))
      << error;
  EXPECT_THAT(hosts, ElementsAre("[2001:db8::8]", "2001:db8::9"));
  ASSERT_TRUE(cli::ParseHostFileText(
      R"({"printers": [{"address": "2001:db8::a"}, "[::ffff:127.0.102.9]"]})", hosts, error))
      << error;
  EXPECT_THAT(hosts, ElementsAre("2001:db8::a", "[::ffff:127.0.102.9]"));

  // Half a bracket, a name in brackets, a port (host lists take none), a zone, two "::".
  for (const std::string bad : {"[2001:db8::7", "2001:db8::7]", "[p7]", "1:2:3", "[::1]:515",
                                "fe80::1%eth0", "2001:db8::7::8", "[127.0.102.9]"}) {
    EXPECT_FALSE(cli::ParseHostList("p7," + bad, hosts, error)) << bad;
    EXPECT_EQ(error, "'" + bad + "' is not a host name or address.");
  }

  EXPECT_EQ(cli::ExpandHostPath("backup/{host}.prm", "[2001:db8::7]"), "backup/2001_db8__7.prm");
  EXPECT_EQ(cli::ExpandHostPath("{host}/{host}.txt", "::1"), "__1/__1.txt");
  EXPECT_EQ(cli::ExpandHostPath("{host}.txt", "p7.floor2"), "p7.floor2.txt");
}

// A virtual printer on the IPv6 loopback address, with ephemeral ports.
class CliIpv6 : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::VirtualPrinterConfig config;
    config.address = "::1";
    printer_ = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    if (!printer_->Start(error)) GTEST_SKIP() << "No IPv6 loopback address here: " << error;
    test::WriteAll(dir_ / "empty.ini", "");
    ports_ = " --lpd-port " + std::to_string(printer_->lpd_port()) + " --snmp-port " +
             std::to_string(printer_->snmp_port()) + " ";
  }
  void TearDown() override {
    if (printer_) printer_->Stop();
  }
  // The options of a run against `host` (quoted here), then `args`.
  std::string Options(const std::string& host, const std::string& args) const {
    return "-q --settings " + Quote(dir_ / "empty.ini") + " --port network --host " + Quote(host) +
           ports_ + args;
  }
  CliRun Cli(const std::string& host, const std::string& args) {
    return RunCli(dir_, Options(host, args));
  }
  sim::PrinterModel& model() { return printer_->model(); }

  TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::string ports_;
};

TEST_F(CliIpv6, ReportParametersAndRestartOverTheIpv6Loopback) {
  const CliRun report = Cli("::1", "report");
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out, model().ReportText());
  EXPECT_GT(report.out.size(), 1000u);

  const std::string original = model().Params();
  const CliRun get = Cli("[::1]", "get-params " + Quote(dir_ / "backup.prm"));
  ASSERT_EQ(get.status, 0) << get.err;
  const CliRun decode = RunCli(
      dir_, "params decode " + Quote(dir_ / "backup.prm") + " -o " + Quote(dir_ / "block.bin"));
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(test::ReadAll(dir_ / "block.bin"), original);

  std::string other = original;
  for (char& c : other) c = static_cast<char>(c ^ 0x3C);
  test::WriteAll(dir_ / "other.bin", other);
  ASSERT_EQ(
      RunCli(dir_, "params encode " + Quote(dir_ / "other.bin") + " " + Quote(dir_ / "other.prm"))
          .status,
      0);
  const CliRun put_other = Cli("::1", "put-params " + Quote(dir_ / "other.prm"));
  EXPECT_EQ(put_other.status, 0) << put_other.err;
  EXPECT_EQ(model().Params(), other);
  const CliRun put_back = Cli("[::1]", "put-params " + Quote(dir_ / "backup.prm"));
  EXPECT_EQ(put_back.status, 0) << put_back.err;
  EXPECT_EQ(model().Params(), original);

  const CliRun restart = Cli("::1", "restart");
  EXPECT_EQ(restart.status, 0) << restart.err;
  EXPECT_EQ(model().Restarts(), 1);
}

TEST_F(CliIpv6, ANameWithOnlyAnIpv6AddressIsLookedUpOncePerOperation) {
  if (test::CliIsWindows()) GTEST_SKIP() << "The hosts file is swapped in a mount namespace.";
  if (std::system("unshare -m true 2>/dev/null") != 0) {
    GTEST_SKIP() << "No mount namespace here (unshare -m).";
  }
  // This machine's hosts file stays as it is: the run sees ours in a mount namespace of its own.
  test::WriteAll(dir_ / "hosts", "127.0.0.1 localhost\n::1 printer-six.test\n");
  const auto run = [&](const std::string& args) {
    const std::string script = "mount --bind " + Quote(dir_ / "hosts") + " /etc/hosts && exec " +
                               test::CliCommand() + " " + Options("printer-six.test", args);
    const std::string command = "unshare -m sh -c " + Quote(script) + " >" + Quote(dir_ / "out") +
                                " 2>" + Quote(dir_ / "err");
    CliRun result;
    result.status = WEXITSTATUS(std::system(command.c_str()));
    result.out = test::ReadAll(dir_ / "out");
    result.err = test::ReadAll(dir_ / "err");
    return result;
  };

  const CliRun get =
      run("--trace " + Quote(dir_ / "get.trace") + " get-params " + Quote(dir_ / "named.prm"));
  ASSERT_EQ(get.status, 0) << get.err;
  const CliRun decode = RunCli(
      dir_, "params decode " + Quote(dir_ / "named.prm") + " -o " + Quote(dir_ / "named.bin"));
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(test::ReadAll(dir_ / "named.bin"), model().Params());
  const std::string trace = test::ReadAll(dir_ / "get.trace");
  // One look-up with its time, then the job and every poll of the reply go to its address.
  EXPECT_EQ(Count(trace, "look up '"), 1u) << trace;
  EXPECT_THAT(trace, ::testing::ContainsRegex("'printer-six.test' is ::1 \\(look-up [0-9]+ ms\\)"));
  EXPECT_EQ(Count(trace, "connect to printer-six.test ([::1]) port"), 1u) << trace;
  EXPECT_GT(Count(trace, "request to printer-six.test ([::1]) port"), 2u) << trace;
  EXPECT_EQ(Count(trace, "request to"), Count(trace, "request to printer-six.test ([::1])"));

  const CliRun restart = run("--trace " + Quote(dir_ / "restart.trace") + " restart");
  EXPECT_EQ(restart.status, 0) << restart.err;
  EXPECT_EQ(Count(test::ReadAll(dir_ / "restart.trace"), "look up '"), 1u);
  EXPECT_EQ(model().Restarts(), 1);
}

// What a run in namespaces of its own came to.
struct IsolatedRun {
  bool ran = false;
  std::string why_not;  // when it did not run
  int status = -1;      // exit status
  double seconds = 0;   // from start, or from the SIGINT when one was sent, to the end
  std::string err;
};

// Why a child could not set up its namespaces, by exit status.
constexpr int kNoNamespace = 120;
constexpr int kNoMount = 121;
constexpr int kNoLoopback = 122;
constexpr int kNoNameServer = 123;
constexpr int kNoExec = 124;

// Runs tavi-cli with `args` in a network and mount namespace of its own, where the only name
// servers (127.0.102.53 and 127.0.102.54) take every query and never answer: their sockets are
// held open by the run itself and never read. With `interrupt_after` > 0 the run gets SIGINT
// after that many seconds. A run that has not ended 10 s after that is killed.
IsolatedRun RunWithSilentNameServers(const TempDir& dir, const std::vector<std::string>& args,
                                     double interrupt_after) {
  IsolatedRun result;
  const std::string resolv = dir / "resolv.conf";
  const std::string hosts = dir / "hosts";
  const std::string err = dir / "err";
  test::WriteAll(resolv, "nameserver 127.0.102.53\nnameserver 127.0.102.54\n");
  test::WriteAll(hosts, "127.0.0.1 localhost\n");
  const std::string binary = test::CliBinary();
  std::vector<std::string> words{binary};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return result.why_not = "fork failed", result;
  if (pid == 0) {
    // Only system calls from here on.
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) _exit(kNoNamespace);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0 ||
        mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
      _exit(kNoMount);
    }
    const int control = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq lo{};
    std::memcpy(lo.ifr_name, "lo", 3);
    if (control < 0 || ioctl(control, SIOCGIFFLAGS, &lo) != 0) _exit(kNoLoopback);
    lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
    if (ioctl(control, SIOCSIFFLAGS, &lo) != 0) _exit(kNoLoopback);
    for (const std::uint32_t server : {0x7F006635u, 0x7F006636u}) {
      const int fd = socket(AF_INET, SOCK_DGRAM, 0);  // inherited by the run, never read
      sockaddr_in at{};
      at.sin_family = AF_INET;
      at.sin_port = htons(53);
      at.sin_addr.s_addr = htonl(server);
      if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        _exit(kNoNameServer);
      }
    }
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (err_fd < 0 || null_fd < 0 || dup2(null_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(kNoExec);
    execv(binary.c_str(), argv.data());
    _exit(kNoExec);
  }
  auto from = start;
  bool interrupted = false;
  int wait_status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &wait_status, WNOHANG);
    const auto now = std::chrono::steady_clock::now();
    if (done == pid) {
      result.seconds = std::chrono::duration<double>(now - from).count();
      break;
    }
    if (!interrupted && interrupt_after > 0 &&
        now - start >= std::chrono::duration<double>(interrupt_after)) {
      kill(pid, SIGINT);
      interrupted = true;
      from = now;
    }
    if (now - start > std::chrono::duration<double>(interrupt_after + 10)) {
      kill(pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      result.ran = true;
      result.seconds = 1e9;
      result.err = "killed after 10 s";
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (status >= kNoNamespace && status <= kNoExec) {
    result.why_not = "the namespaces could not be set up (step " +
                     std::to_string(status - kNoNamespace) +
                     ": unshare, mounts, lo, name "
                     "servers, exec)";
    return result;
  }
  result.ran = true;
  result.status = status;
  result.err = test::ReadAll(err);
  return result;
}

TEST(CliNameServer, AHangingLookUpEndsAtTheTimeoutAndAtCtrlC) {
  if (test::CliIsWindows()) GTEST_SKIP() << "Network namespaces are a Linux feature.";
  TempDir dir;
  test::WriteAll(dir / "empty.ini", "");
  const std::vector<std::string> common{"--settings", dir / "empty.ini", "--port",
                                        "network",    "--host",          "printer.example"};

  std::vector<std::string> timed = common;
  timed.insert(timed.end(), {"--timeout", "2", "report"});
  const IsolatedRun timeout = RunWithSilentNameServers(dir, timed, 0);
  if (!timeout.ran) GTEST_SKIP() << timeout.why_not;
  EXPECT_EQ(timeout.status, 3) << timeout.err;
  EXPECT_THAT(timeout.err, HasSubstr("Timed out."));
  EXPECT_THAT(timeout.err,
              HasSubstr("the look-up of name 'printer.example' was cancelled after 2"));
  EXPECT_GE(timeout.seconds, 2.0);
  EXPECT_LE(timeout.seconds, 2.2) << timeout.err;
  std::printf("--timeout 2 against a silent name server ended after %.3f s\n", timeout.seconds);

  std::vector<std::string> plain = common;
  plain.push_back("-v");  // the trace on stderr says what Ctrl-C cut short
  plain.push_back("get-params");
  plain.push_back(dir / "never.prm");
  const IsolatedRun interrupt = RunWithSilentNameServers(dir, plain, 1.0);
  ASSERT_TRUE(interrupt.ran) << interrupt.why_not;
  EXPECT_EQ(interrupt.status, 130) << interrupt.err;
  // SIGINT comes a second after the test started tavi-cli, which counts from its own start.
  EXPECT_THAT(interrupt.err,
              ::testing::ContainsRegex("the look-up of name 'printer.example' was cancelled after "
                                       "[0-9]+ ms"));
  EXPECT_THAT(interrupt.err, HasSubstr("Cancel: interrupted (SIGINT)"));
  EXPECT_LE(interrupt.seconds, 0.2) << interrupt.err;
  std::printf("SIGINT during the look-up ended the run after %.3f s\n", interrupt.seconds);
}

}  // namespace
}  // namespace tavi
