// The real channels of this build, per port kind.
#pragma once

#include <cstdint>

#include "core/connection/channel.h"

namespace tavi {

// Explicit server ports for tests and tavi-cli; 0 means the services database ("printer"/"tcp",
// "snmp"/"udp"), else 515 and 161. The desktop program never sets them.
struct NetworkPorts {
  std::uint16_t lpd = 0;
  std::uint16_t snmp = 0;
};

// Network (1), parallel (0) and USB (2) channels over the real socket layer and devices.
ChannelFactory DefaultChannelFactory(NetworkPorts ports = {});

}  // namespace tavi
