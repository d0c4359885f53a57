// discover [TARGET...]: the family's printers on the network and on the local ports.
#include <CLI/CLI.hpp>

#include "frontends/cli/cli_discover.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command
      .add_option("TARGET", out.targets,
                  "Address a.b.c.d, range a.b.c.d-e or block a.b.c.d/n of at most 1,024 "
                  "addresses; asked one by one instead of the broadcast")
      ->type_name("TARGET");
  command
      .add_option("--timeout", out.discover_timeout_seconds,
                  "Stop the sweep after this long at the latest (it ends by itself 2 s after "
                  "the last answer)")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  command.add_flag("--all", out.discover_all, "Also list SNMP devices that are not the family's");
  command.add_flag("--json", out.json, "One JSON object instead of lines of text");
}

}  // namespace

extern const CommandEntry kDiscoverCommand{
    .id = Command::kDiscover,
    .operation = Operation::kDiscover,
    .summary =
        "Find the family's printers: an SNMP request to every interface's broadcast "
        "address (or to each TARGET), then the parallel ports and USB printers as 'ports' "
        "lists them",
    .brief = "find the family's printers on the network (SNMP) and on the local ports",
    .man =
        R"(Find the family's printers: one SNMP request for sysDescr.0, sysObjectID.0, sysName.0 and the
reply object to the broadcast address of every IPv4 interface that has one, or to each
\fITARGET\fR (an address, a range \fIa.b.c.d\-e\fR or a block \fIa.b.c.d/n\fR of at most
1,024 addresses, asked one by one with at most 256 requests in flight; dotted addresses only).
Silent targets are asked twice more, 250 ms apart; the sweep ends 2 s after its last send or
answer, or after \fB\-\-timeout\fR. One line per printer, in address order: address, family
(\fBType1\fR, \fBType2\fR, \fBfamily\fR when it cannot be told, \fBother\fR), sysName and
sysDescr, separated by tabs; then the local ports as \fBports\fR lists them. \fB\-\-all\fR
also lists SNMP devices that are not the family's; \fB\-\-json\fR prints one object with the
arrays \fBnetwork\fR, \fBparallel\fR and \fBusb\fR. The UDP port is \fB\-\-snmp\-port\fR.
)",
    .reach = Reach::kOwnOutput,
    .bind = Bind,
    .run_own = RunDiscover,
};

}  // namespace tavi::cli
