#include "connection/default_channels.h"

#include <memory>

#include "config/port_settings.h"
#include "connection/network_channel.h"

namespace tavi {

ChannelFactory DefaultChannelFactory(NetworkPorts ports) {
  return
      [ports](std::int32_t port_kind, const ChannelContext& context) -> std::unique_ptr<Channel> {
        if (port_kind == kPortNetwork) return std::make_unique<NetworkChannel>(context, ports);
        return nullptr;  // parallel and USB channels are not built in yet
      };
}

}  // namespace tavi
