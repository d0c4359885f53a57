#include "frontends/cli/cli_commands.h"

#include "core/connection/printer_connection.h"

namespace tavi::cli {

PrinterConnection MakeConnection(const CommandContext& context) {
  return PrinterConnection(context.settings, context.progress, context.messages, context.clock,
                           DefaultChannelFactory(context.ports), context.trace);
}

}  // namespace tavi::cli
