// tavi-cli discover end to end: one sweep over twenty devices on their own loopback addresses
// (virtual printers, odd agents and net-snmp's snmpd as another maker's device), and the
// broadcast path inside a pair of network namespaces this test makes and removes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "frontends/printer_sim/printer_model.h"
#include "frontends/printer_sim/snmp_agent.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/doubles.h"
#include "support/fake_servers.h"
#include "support/peers.h"

namespace tavi {
namespace {

constexpr std::uint16_t kPort = 16117;

std::string Bin(const char* name) {
  const char* dir = std::getenv("TAVI_BIN_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/" + name;
}

struct Output {
  int status = -1;
  std::string out;
};

// Runs a shell command line and collects its stdout and exit status.
Output RunShell(const std::string& command) {
  Output result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.out.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The addresses at the start of the output's network lines, in order.
std::vector<std::string> ListedAddresses(const std::string& out) {
  std::vector<std::string> addresses;
  std::size_t pos = 0;
  while (pos < out.size()) {
    const std::size_t end = out.find('\n', pos);
    const std::string line = out.substr(pos, end - pos);
    if (line.starts_with("127.0.0.")) addresses.push_back(line.substr(0, line.find('\t')));
    pos = end == std::string::npos ? out.size() : end + 1;
  }
  return addresses;
}

// A device that answers as the virtual printer does, for agents with odd habits.
struct AgentBrain {
  test::FakeClock clock;
  sim::PrinterModel model{sim::SimOptions{}, clock};
  sim::SnmpAgent agent{model};
  std::string Answer(std::string_view request) {
    bool restart = false;
    return agent.Answer(request, restart);
  }
};

TEST(DiscoveryE2e, OneSweepListsExactlyTheFamilysPrintersEachOnceInAddressOrder) {
  const std::string silent = "127.0.0.215";
  const std::string twice = "127.0.0.219";
  const std::string second_only = "127.0.0.226";
  const std::string other_maker = "127.0.0.227";
  const std::string snmpd = "127.0.0.228";
  const std::string type1 = "127.0.0.212";

  test::SnmpdPeer plain_agent(snmpd, kPort, /*family_objects=*/false);
  std::string why;
  if (!plain_agent.Start(why)) GTEST_SKIP() << why;

  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
  std::vector<std::string> family;
  for (int host = 210; host <= 229; ++host) {
    const std::string address = "127.0.0." + std::to_string(host);
    if (address == twice || address == second_only || address == snmpd) continue;
    sim::SimOptions o;
    o.sys_name = "printer-" + std::to_string(host);
    if (address == silent) o.snmp.silent = true;
    if (address == type1) o.family = 1;
    if (address == other_maker) {
      o.sys_object_id = ".1.3.6.1.4.1.99999.1.2";
      o.sys_descr = "Plotter of another maker";
    }
    printers.push_back(test::StartSnmpPrinter(address, kPort, o));
  }
  AgentBrain brain;
  test::FakeUdpAgent twice_agent(twice, kPort, [&](std::string_view request) {
    const std::string answer = brain.Answer(request);
    return std::vector<std::string>{answer, answer};
  });
  int second_seen = 0;
  test::FakeUdpAgent second_agent(second_only, kPort, [&](std::string_view request) {
    // Each sweep's second send (a sweep asks it twice: the first send goes unanswered).
    return ++second_seen % 2 == 0 ? std::vector<std::string>{brain.Answer(request)}
                                  : std::vector<std::string>{};
  });
  ASSERT_TRUE(twice_agent.ok() && second_agent.ok());
  for (int host = 210; host <= 229; ++host) {
    const std::string address = "127.0.0." + std::to_string(host);
    if (address != silent && address != other_maker && address != snmpd) {
      family.push_back(address);
    }
  }

  const std::string cli = Bin("tavi-cli") + " --snmp-port " + std::to_string(kPort) + " discover ";
  const Output text = RunShell(cli + "127.0.0.210-229 2>/dev/null");
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(ListedAddresses(text.out), family) << text.out;
  EXPECT_NE(text.out.find("127.0.0.212\tType1\tprinter-212\tTavi virtual printer (Type1)\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("127.0.0.219\tType2\ttavi-printer-sim\t"), std::string::npos);
  EXPECT_EQ(twice_agent.requests(), 1);   // answered at once: never asked again
  EXPECT_EQ(second_agent.requests(), 2);  // answered the second send: no third

  // With --all the other devices come too, the same way, as one JSON object.
  const Output all = RunShell(cli + "--all --json 127.0.0.210-229 2>/dev/null");
  EXPECT_EQ(all.status, 0);
  const auto doc = nlohmann::json::parse(all.out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << all.out;
  std::vector<std::string> addresses;
  for (const auto& h : doc["network"]) {
    addresses.push_back(h["address"]);
    EXPECT_EQ(h["family"].get<bool>(), h["address"] != other_maker && h["address"] != snmpd);
    if (h["address"] == other_maker) {
      EXPECT_EQ(h["kind"], "other");
      EXPECT_EQ(h["sysDescr"], "Plotter of another maker");
      EXPECT_EQ(h["sysObjectID"], ".1.3.6.1.4.1.99999.1.2");
    }
    if (h["address"] == snmpd) {
      EXPECT_TRUE(h["sysObjectID"].get<std::string>().starts_with(".1.3.6.1.4.1.8072."));
      EXPECT_FALSE(h["sysDescr"].is_null());
    }
  }
  EXPECT_EQ(addresses.size(), family.size() + 2);
  EXPECT_EQ(second_agent.requests(), 4);
  EXPECT_TRUE(std::is_sorted(addresses.begin(), addresses.end()));
  EXPECT_TRUE(doc["parallel"].is_array() && doc["usb"].is_array());
}

// Runs `command` and says whether it worked.
bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Two network namespaces joined by a veth pair; removed (with the pair) when it goes.
class NamespacePair {
 public:
  NamespacePair() {
    const std::string id = std::to_string(::getpid());
    a_ = "tavi-disc-a-" + id;
    b_ = "tavi-disc-b-" + id;
    ok_ = Shell("ip netns add " + a_) && Shell("ip netns add " + b_) &&
          Shell("ip -n " + a_ + " link add va type veth peer name vb netns " + b_) &&
          Shell("ip -n " + a_ + " addr add 10.213.0.1/24 brd + dev va") &&
          Shell("ip -n " + b_ + " addr add 10.213.0.2/24 brd + dev vb") &&
          Shell("ip -n " + a_ + " link set va up") && Shell("ip -n " + b_ + " link set vb up") &&
          Shell("ip -n " + a_ + " link set lo up") && Shell("ip -n " + b_ + " link set lo up");
  }
  ~NamespacePair() {
    Shell("ip netns del " + a_);
    Shell("ip netns del " + b_);
  }
  bool ok() const { return ok_; }
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }

 private:
  std::string a_;
  std::string b_;
  bool ok_ = false;
};

TEST(DiscoveryE2e, BroadcastFindsThePrinterBehindAnInterface) {
  if (::geteuid() != 0 || !Shell("command -v ip")) GTEST_SKIP() << "needs root and iproute2";
  NamespacePair ns;
  if (!ns.ok()) GTEST_SKIP() << "cannot make network namespaces here";
  test::TempDir dir;
  test::ChildProcess printer;
  ASSERT_TRUE(printer.Start(
      {"ip", "netns", "exec", ns.b(), Bin("tavi-printer-sim"), "--address", "0.0.0.0", "--lpd-port",
       "0", "--snmp-port", std::to_string(kPort), "--sys-name", "behind-veth", "--family", "1"},
      dir.path() + "/sim.log"));
  // The agent is up once it logs that it listens.
  for (int i = 0; i < 250 && test::ReadFileText(dir.path() + "/sim.log").find("snmp-listening") ==
                                 std::string::npos;
       ++i) {
    ::usleep(20000);
  }
  const Output found =
      RunShell("ip netns exec " + ns.a() + " " + Bin("tavi-cli") + " --snmp-port " +
               std::to_string(kPort) + " discover --json 2>/dev/null");
  printer.Stop();
  EXPECT_EQ(found.status, 0);
  const auto doc = nlohmann::json::parse(found.out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << found.out;
  ASSERT_EQ(doc["network"].size(), 1u) << found.out;
  EXPECT_EQ(doc["network"][0]["address"], "10.213.0.2");
  EXPECT_EQ(doc["network"][0]["sysName"], "behind-veth");
  EXPECT_EQ(doc["network"][0]["kind"], "Type1");
}

}  // namespace
}  // namespace tavi
