// The real parallel and USB backends on the machine that runs the tests. Without a printer
// attached (the usual case), listing finds nothing of ours and opening fails with 107 and a
// reason, without crashing.
#include <gtest/gtest.h>

#include "core/connection/default_channels.h"
#include "core/connection/port_listing.h"
#include "core/connection/printer_connection.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "os/device_backends.h"
#include "support/doubles.h"

namespace tavi {
namespace {

struct Opened {
  bool ok = false;
  std::vector<test::ShownMessage> shown;
};

Opened OpenKind(std::int32_t kind) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  PortSettings settings;
  settings.port = kind;
  PrinterConnection connection(settings, progress, messages, clock, DefaultChannelFactory());
  Opened result;
  result.ok = connection.Open();
  connection.Close();
  result.shown = messages.shown;
  return result;
}

TEST(SystemDevices, ListingAndOpenWithoutAPrinter) {
  auto parallel = MakeSystemParallelBackend();
  auto usb = MakeSystemUsbBackend();
  const PortListing listing = ListPorts(parallel.get(), usb.get());
  const std::string text = FormatPortListing(listing);
  std::cout << text;
  ASSERT_NE(text.find("Parallel ports:"), std::string::npos);
  ASSERT_NE(text.find("USB printers of this family:"), std::string::npos);

  // Whatever the machine has: a failed open is exactly one 107 with the reason; with nothing
  // of ours present, the open must fail.
  const struct {
    std::int32_t kind;
    bool none_present;
    const char* label;
  } kinds[] = {{kPortParallel, listing.parallel.empty(), "parallel"},
               {kPortUsb, listing.usb.empty(), "USB"}};
  for (const auto& k : kinds) {
    const Opened opened = OpenKind(k.kind);
    if (k.none_present) {
      EXPECT_FALSE(opened.ok) << k.label;
    }
    if (opened.ok) continue;
    ASSERT_EQ(opened.shown.size(), 1u) << k.label;
    EXPECT_EQ(opened.shown[0].id, kIdsFailedToOpenPort) << k.label;
    EXPECT_FALSE(opened.shown[0].details.empty()) << k.label;
    std::cout << k.label << " open: " << opened.shown[0].details << "\n";
  }
}

}  // namespace
}  // namespace tavi
