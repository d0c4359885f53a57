#include "core/connection/default_channels.h"

#include <memory>

#include "core/connection/network_channel.h"
#include "core/connection/parallel_channel.h"
#include "core/connection/usb_channel.h"
#include "core/settings/port_settings.h"
#include "os/device_backends.h"

namespace tavi {

ChannelFactory DefaultChannelFactory(NetworkPorts ports) {
  return
      [ports](std::int32_t port_kind, const ChannelContext& context) -> std::unique_ptr<Channel> {
        if (port_kind == kPortNetwork) return std::make_unique<NetworkChannel>(context, ports);
        if (port_kind == kPortParallel) {
          return std::make_unique<ParallelChannel>(context, MakeSystemParallelBackend());
        }
        if (port_kind == kPortUsb) {
          return std::make_unique<UsbChannel>(context, MakeSystemUsbBackend());
        }
        return nullptr;
      };
}

}  // namespace tavi
