#include "core/operations/restart.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/doubles.h"
#include "support/lossy_relay.h"

namespace tavi {
namespace {

// A virtual printer with only its SNMP agent, on an address of its own.
struct Agent {
  explicit Agent(const char* address, sim::SnmpFaults faults = {}) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.lpd = false;
    config.options.snmp = faults;
    printer = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    started = printer->Start(error);
    EXPECT_TRUE(started) << error;
  }
  ~Agent() { printer->Stop(); }
  std::unique_ptr<sim::VirtualPrinter> printer;
  bool started = false;
};

// The agent restarts the model on its own thread once its response went out.
int RestartsSeen(sim::VirtualPrinter& printer) {
  for (int i = 0; i < 200 && printer.model().Restarts() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return printer.model().Restarts();
}

struct Rig {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
};

TEST(RestartPrinter, SetsTheRestartObjectThenWaitsSixSecondsWithTheBarFrom40To97) {
  Agent agent("127.0.0.80");
  ASSERT_TRUE(agent.started);
  Rig rig;
  EXPECT_TRUE(RestartPrinter("127.0.0.80", rig.progress, rig.messages, rig.clock,
                             agent.printer->snmp_port()));

  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(RestartsSeen(*agent.printer), 1);
  EXPECT_EQ(agent.printer->model().log().Count("snmp-restart-request"), 1u);

  // Range and position are set before the dialog is shown; it is hidden at the end.
  ASSERT_GE(rig.progress.events.size(), 4u);
  EXPECT_EQ(rig.progress.events[0], "range 100");
  EXPECT_EQ(rig.progress.events[1], "pos 0");
  EXPECT_EQ(rig.progress.events[2], "show");
  EXPECT_EQ(rig.progress.events.back(), "hide");

  // 24 steps of 250 ms on the virtual clock; the bar shows 40 + elapsed * 60 / 6000 before
  // each step.
  EXPECT_EQ(rig.clock.sleeps, std::vector<int>(24, kRestartStepMs));
  EXPECT_EQ(rig.clock.now_ms, kRestartTotalMs);
  std::vector<std::int32_t> expected{0};
  for (int elapsed = 0; elapsed < kRestartTotalMs; elapsed += kRestartStepMs) {
    expected.push_back(40 + elapsed * 60 / kRestartTotalMs);
  }
  EXPECT_EQ(rig.progress.positions, expected);
  EXPECT_EQ(rig.progress.positions[1], 40);
  EXPECT_EQ(rig.progress.positions.back(), 97);
}

TEST(RestartPrinter, CancelDuringTheWaitEndsItWithoutAMessage) {
  Agent agent("127.0.0.81");
  ASSERT_TRUE(agent.started);
  Rig rig;
  rig.clock.on_sleep = [&](int) {
    if (rig.clock.sleeps.size() == 5) rig.progress.PressCancel();
  };
  EXPECT_FALSE(RestartPrinter("127.0.0.81", rig.progress, rig.messages, rig.clock,
                              agent.printer->snmp_port()));
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.clock.sleeps.size(), 5u);
  // The request itself went through: the printer restarts anyway.
  EXPECT_EQ(RestartsSeen(*agent.printer), 1);
  EXPECT_EQ(rig.progress.positions.back(), 40 + 4 * kRestartStepMs * 60 / kRestartTotalMs);
}

TEST(RestartPrinter, SilentAgentWaitsUntilCancelWhichEndsItWithoutAMessage) {
  sim::SnmpFaults silent;
  silent.silent = true;
  Agent agent("127.0.0.82", silent);
  ASSERT_TRUE(agent.started);
  Rig rig;
  int pumps_while_shown = 0;
  rig.progress.on_pump = [&] {
    // The socket layer pumps while the receive blocks; press Cancel after a few slices.
    if (rig.progress.visible() && ++pumps_while_shown == 5) rig.progress.PressCancel();
  };
  EXPECT_FALSE(RestartPrinter("127.0.0.82", rig.progress, rig.messages, rig.clock,
                              agent.printer->snmp_port()));
  EXPECT_TRUE(rig.messages.shown.empty());
  ASSERT_EQ(rig.messages.cancelled.size(), 1u);
  EXPECT_EQ(rig.messages.cancelled[0].id, kIdsFailedToReceive);
  EXPECT_TRUE(rig.messages.cancelled[0].details.starts_with(
      "no answer from 127.0.0.82 port " + std::to_string(agent.printer->snmp_port()) +
      " (SNMP) within "))
      << rig.messages.cancelled[0].details;
  // The window named the printer and the step it waited in.
  EXPECT_EQ(rig.progress.printers, std::vector<std::string>{"network, host '127.0.0.82'"});
  ASSERT_FALSE(rig.progress.steps.empty());
  EXPECT_EQ(StepWords(rig.progress.steps.back()), "asking the printer to restart");
  EXPECT_TRUE(rig.clock.sleeps.empty());
  EXPECT_EQ(agent.printer->model().Restarts(), 0);
}

// Real time for the round trip, none for the restart wait.
class RealTimeNoWaits final : public Clock {
 public:
  void Sleep(int) override {}
  std::int64_t NowMs() override { return steady_.NowMs(); }

 private:
  SteadyClock steady_;
};

// Through a relay that holds the answer back: within the bound of a second the set goes out
// once; past it the set goes out again (no answer had come), the late answer to the first is
// taken, and nothing more is sent once it came.
TEST(RestartPrinter, LateAnswerTakesTheSetOnceOrAgainOnlyWhileNoAnswerCame) {
  struct Case {
    const char* address;
    int delay_ms;
    int sets;
  };
  for (const Case& c : {Case{"127.0.101.4", 600, 1}, Case{"127.0.101.5", 1300, 2}}) {
    SCOPED_TRACE(c.address);
    Agent agent(c.address);
    ASSERT_TRUE(agent.started);
    test::LossyRelay relay(c.address, 0, c.address, agent.printer->snmp_port(),
                           [&](const test::LossyRelay::Datagram& d) -> test::LossyRelay::Verdict {
                             if (d.way != test::LossyRelay::Way::kAnswer) return {};
                             if (d.copy == 1) return {false, c.delay_ms};
                             return {true, 0};  // only the first send's answer ever arrives
                           });
    ASSERT_TRUE(relay.ok());
    test::RecordingProgress progress;
    test::RecordingMessages messages;
    RealTimeNoWaits clock;
    EXPECT_TRUE(RestartPrinter(c.address, progress, messages, clock, relay.port()));
    EXPECT_TRUE(messages.shown.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(relay.SendsPerPoll(), std::vector<int>{c.sets});
    EXPECT_EQ(relay.counts().delayed, 1);
    // A set that reaches a printer already restarting changes nothing.
    EXPECT_EQ(RestartsSeen(*agent.printer), 1);
    relay.Stop();
  }
}

TEST(RestartPrinter, ErrorStatusInTheResponseFailsToReceiveAndDoesNotWait) {
  sim::SnmpFaults faults;
  faults.error_status = 5;
  Agent agent("127.0.0.83", faults);
  ASSERT_TRUE(agent.started);
  Rig rig;
  EXPECT_FALSE(RestartPrinter("127.0.0.83", rig.progress, rig.messages, rig.clock,
                              agent.printer->snmp_port()));
  ASSERT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToReceive});
  EXPECT_EQ(rig.messages.shown[0].details,
            "127.0.0.83 port " + std::to_string(agent.printer->snmp_port()) +
                " (SNMP) answered with error status 5 (genError) A general failure occured");
  EXPECT_TRUE(rig.clock.sleeps.empty());
  EXPECT_EQ(rig.progress.events.back(), "hide");
}

TEST(RestartPrinter, UnresolvableHostFailsToConnect) {
  Rig rig;
  EXPECT_FALSE(RestartPrinter("no..such.host", rig.progress, rig.messages, rig.clock, 16161));
  ASSERT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToConnect});
  EXPECT_EQ(rig.messages.shown[0].details, "name 'no..such.host' not found");
  EXPECT_TRUE(rig.clock.sleeps.empty());
  EXPECT_EQ(rig.progress.events.back(), "hide");
}

TEST(RestartPrinter, NoAgentOnThePortFailsToReceive) {
  // Nothing listens on this address: the port-unreachable answer fails the receive.
  Rig rig;
  EXPECT_FALSE(RestartPrinter("127.0.0.84", rig.progress, rig.messages, rig.clock, 16161));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToReceive});
  EXPECT_TRUE(rig.clock.sleeps.empty());
}

}  // namespace
}  // namespace tavi
