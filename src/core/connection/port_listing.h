// What a technician sees before choosing a port: the parallel ports, the USB printers of this
// family with their device IDs where readable, and which of them Tavi would use.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "os/device_backends.h"

namespace tavi {

struct ListedDevice {
  std::string name;                      // "parport0", or "USB\VID_0E2A&PID_0101 on bus 1 ..."
  std::optional<std::string> device_id;  // the reply text of its device ID, when readable
  std::string note;                      // why the device ID could not be read
  bool used = false;                     // the one Tavi would use for this port kind
};

struct PortListing {
  std::vector<ListedDevice> parallel;
  std::string parallel_error;  // non-empty when the ports could not be listed
  std::vector<ListedDevice> usb;
  std::string usb_error;
};

// Lists both kinds. Opens each listed device once, briefly, to read its device ID (a single
// bounded attempt, so a busy printer costs at most one attempt bound).
PortListing ListPorts(ParallelBackend* parallel, UsbBackend* usb);

// The listing as lines of text for a terminal.
std::string FormatPortListing(const PortListing& listing);

}  // namespace tavi
