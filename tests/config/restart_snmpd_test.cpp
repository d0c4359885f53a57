// Restart against net-snmp's own agent: a real peer that checks our SetRequest.
#include <gtest/gtest.h>

#include "core/operations/restart.h"
#include "core/resources/strings.h"
#include "support/doubles.h"
#include "support/peers.h"

namespace tavi {
namespace {

TEST(RestartPrinterWithSnmpd, RealAgentAcceptsTheRestartSetWithErrorStatusZero) {
  test::SnmpdPeer agent("127.0.0.110", 22110);
  std::string why;
  if (!agent.Start(why)) GTEST_SKIP() << "snmpd cannot run here: " << why;
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  EXPECT_TRUE(RestartPrinter("127.0.0.110", progress, messages, clock, 22110));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(agent.RestartSets(), std::vector<std::string>{"integer 10"});
  EXPECT_EQ(clock.sleeps.size(), 24u);
  EXPECT_EQ(progress.positions.back(), 97);
}

}  // namespace
}  // namespace tavi
