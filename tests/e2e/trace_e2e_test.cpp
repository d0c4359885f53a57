// The wire trace of whole operations against the virtual printer: the steps in the order they
// went over the wire, and never an access code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/protocol/operations.h"
#include "core/resources/constants.h"
#include "core/trace/trace_sinks.h"
#include "e2e/e2e_support.h"

namespace tavi {
namespace {

using test::ExpectInOrder;

using test::ExpectNoAccessCode;

TEST(TraceE2e, NetworkReportShowsDataFilesAcknowledgementsAndSnmpOctetsInOrder) {
  test::NetworkRig rig("127.0.0.194");
  ASSERT_TRUE(rig.started);
  TraceMemory lines;
  rig.connection->set_trace(Trace(lines, rig.clock));
  std::string report;
  ASSERT_TRUE(GetReport(*rig.connection, report));
  const std::string trace = lines.Text();
  const std::string code = rig.printer->model().Options().family == 1 ? "A" : "B";
  const std::string lpd = "127.0.0.194 port " + std::to_string(rig.printer->lpd_port()) + " (LPD)";
  const std::string snmp =
      "127.0.0.194 port " + std::to_string(rig.printer->snmp_port()) + " (SNMP)";
  ExpectInOrder(trace, {
                           "conn  open: network, host '127.0.0.194'",
                           "lpd   connect to " + lpd,
                           "lpd   connected",
                           "the job for queue 'lp1': send 02 6c 70 31 0a",
                           "lpd   ack 00",
                           "conn  write 510 bytes: OPEN CODE=<access code " + code + ">",
                           "data file 1: send 03 35 31 30 20 78 0a",
                           "lpd   ack 00",
                           "data file 1: 510 bytes sent",
                           "lpd   end of data: 00",
                           "lpd   ack 00",
                           "conn  write 10 bytes: 47 45 54 20 52 45 50 4f 52 54 \"GET REPORT\"",
                           "data file 2: send 03 31 30 20 78 0a",
                           "wait  300 ms",
                           "snmp  request to " + snmp + ", ",
                           " octets: 30 ",
                           "snmp  response after ",
                           " octets: 30 ",
                           "snmp  value \"REPORT:",
                           "wait  5 ms",
                           "conn  write 1 bytes: 00",
                           "data file 3: send 03 31 20 78 0a",
                           "conn  close",
                       });
  ExpectNoAccessCode(trace, "report trace");

  // A restored parameter block: only its length and check byte.
  lines.Clear();
  std::vector<std::uint8_t> image = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  std::uint8_t sum = 1;
  for (auto b : image) sum = static_cast<std::uint8_t>(sum + b);
  image.push_back(sum);
  ASSERT_TRUE(PutParameters(*rig.connection, image, false));
  const std::string put = lines.Text();
  ExpectInOrder(put,
                {"\"PUT PARAM\"", "conn  write 7 bytes of parameter image, check byte 0x66",
                 "data file 3: 7 bytes sent", "wait  300 ms", "\"PIPE MONITOR\"", "wait  3000 ms"});
  EXPECT_EQ(put.find("11 22 33"), std::string::npos) << put;
  ExpectNoAccessCode(put, "put trace");
}

}  // namespace
}  // namespace tavi
