// A whole discovery on this machine's network: the plan (the targets asked one by one, else the
// broadcast address of every interface), the socket, the sweep, and the printers to list. Shared
// by tavi-cli's discover and the Select Port window's Find....
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/discovery/sweep.h"
#include "core/failure/failure.h"
#include "core/resources/constants.h"

namespace tavi::discovery {

// The caption of the list of printers Find... found, and its words above a list that is not empty.
inline constexpr char kFindPrintersCaption[] = "Find Printers";
inline constexpr char kTextPrintersFound[] = "Printers found on the network:";

// Said when no printer of the family answered.
inline constexpr std::string_view kTextNoNetworkPrinters =
    "No printer of the family answered on the network.";

struct DiscoverRequest {
  std::vector<std::uint32_t> unicast;  // empty: broadcast to every interface that has a broadcast
  std::uint16_t port = 0;              // 0: the "snmp"/"udp" service port, else 161
  int timeout_ms = 0;                  // > 0: stop then at the latest
  std::string community{kSnmpCommunity};  // the SNMP community asked in
};

struct Discovered {
  bool opened = false;  // false: no socket could be made (`failure` says why)
  Failure failure;
  std::vector<std::uint32_t> broadcast;  // the broadcast addresses asked
  SweepResult sweep;
};

// A fresh request id base for one sweep (random, so that answers to an earlier run's requests
// are not taken).
std::uint32_t NewRequestIdBase();

// Makes the plan, opens the socket and runs the sweep.
Discovered Discover(const DiscoverRequest& request, Clock& clock, ProgressDialog* progress);

// The hosts to show: the family's printers, or every host with `all`.
std::vector<FoundHost> Listed(const std::vector<FoundHost>& hosts, bool all);

// Said when the printer picked from Find... did not tell its family.
inline constexpr std::string_view kTextFamilyUnknown =
    "The printer did not tell its family (Type1 or Type2); the family stays as chosen. Check it "
    "before the next operation: a printer refuses the other family's access code.";

// The machine type (0 for "Type1", 1 for "Type2") of a host whose family can be told, else -1.
std::int32_t MachineTypeOf(const FoundHost& host);

// What a host is, in a word: its family's name, "family" when that cannot be told, or "other".
std::string KindText(const FoundHost& host);
// One line: address, kind, sysName ("-" when empty) and sysDescr, separated by tabs.
std::string HostLine(const FoundHost& host);

}  // namespace tavi::discovery
