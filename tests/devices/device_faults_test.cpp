// The faults an emulated device can show, through the real libraries: what tavi-cli reports
// and that the next operation finds the device again; and the two discovery rules that only
// show with real listings (the next openable USB printer, the kernel's first parallel port).
#include <gtest/gtest.h>

#include "device_rig.h"

namespace tavi {
namespace {

using test::DeviceRig;
using test::Port;
using test::Quote;

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

sim::DeviceOptions Fault(sim::DeviceFault fault) {
  sim::DeviceOptions options;
  options.fault = fault;
  return options;
}

// The report arrives byte for byte.
void ReportWorks(DeviceRig& rig) {
  const std::string report = rig.dir() / "report.txt";
  const auto run = rig.Cli("report -o " + Quote(report));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(test::ReadAll(report), rig.model().ReportText());
}

TEST(UsbFaults, UnplugAndStallFailOnceAndTheNextOperationFindsTheDevice) {
  {
    DeviceRig rig(Port::kUsb, Fault(sim::DeviceFault::kUnplug));
    test::WriteAll(rig.dir() / "firmware.bin", std::string(20000, 'F'));
    const auto run = rig.Cli("firmware " + Quote(rig.dir() / "firmware.bin"));
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(Occurrences(run.out + run.err, "Failed to write."), 1u) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("LIBUSB_ERROR_NO_DEVICE"), std::string::npos);
    ASSERT_EQ(rig.Events("usb-unplugged").size(), 1u);
    EXPECT_LT(rig.model().FirmwareSize(), 20000);
    ReportWorks(rig);
  }
  {
    DeviceRig rig(Port::kUsb, Fault(sim::DeviceFault::kStall));
    const auto run = rig.Cli("report");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(Occurrences(run.out + run.err, "Failed to write."), 1u) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("LIBUSB_ERROR_PIPE"), std::string::npos);
    ReportWorks(rig);
  }
}

TEST(UsbFaults, ATransferThatNeverCompletesEndsByCancelWithinASecond) {
  DeviceRig rig(Port::kUsb, Fault(sim::DeviceFault::kHang));
  const auto run = rig.Cli("report", 1.5);
  EXPECT_EQ(run.status, 130) << run.out << run.err;  // cancelled by the interrupt
  EXPECT_LT(run.seconds_after_interrupt, 1.0);
  EXPECT_EQ(rig.Events("command").size(), 0u);  // nothing reached the printer
  EXPECT_EQ(rig.Events("usb-claimed").size(), rig.Events("usb-released").size());
}

TEST(DeviceFaults, NoPermissionAndNoDeviceAre107WithTheReason) {
  for (Port port : {Port::kUsb, Port::kParallel}) {
    SCOPED_TRACE(port == Port::kUsb ? "usb" : "parallel");
    {
      DeviceRig rig(port, Fault(sim::DeviceFault::kNoPermission));
      const auto run = rig.Cli("report");
      EXPECT_NE(run.status, 0);
      const std::string said = run.out + run.err;
      EXPECT_EQ(Occurrences(said, "Failed to open port."), 1u) << said;
      EXPECT_NE(said.find("usermod -aG lp"), std::string::npos) << said;
    }
    {
      DeviceRig rig(port, Fault(sim::DeviceFault::kAbsent));
      const auto run = rig.Cli("report");
      EXPECT_NE(run.status, 0);
      const std::string said = run.out + run.err;
      EXPECT_EQ(Occurrences(said, "Failed to open port."), 1u) << said;
      if (port == Port::kUsb) {
        EXPECT_NE(said.find("No USB printer of this family was found."), std::string::npos);
      } else {
        // No kernel port listed: the library's guesses, LPT1's address first.
        EXPECT_NE(said.find("Parallel port 0x378 could not be opened"), std::string::npos) << said;
      }
    }
  }
}

TEST(UsbDiscovery, APrinterThatCannotBeOpenedDoesNotHideTheNext) {
  for (sim::DeviceFault fault :
       {sim::DeviceFault::kFirstBusy, sim::DeviceFault::kFirstNoPermission}) {
    SCOPED_TRACE(std::string(sim::DeviceFaultName(fault)));
    DeviceRig rig(Port::kUsb, Fault(fault));
    ReportWorks(rig);
    const auto claims = rig.Events("usb-claimed");
    ASSERT_FALSE(claims.empty());
    for (const sim::Event& e : claims) EXPECT_EQ(e.Field("node"), "/dev/bus/usb/001/006");
    // The listing marks the one that is used.
    const auto ports = rig.Cli("ports");
    EXPECT_NE(ports.out.find("at address 6  [used by Tavi]"), std::string::npos) << ports.out;
  }
}

}  // namespace
}  // namespace tavi
