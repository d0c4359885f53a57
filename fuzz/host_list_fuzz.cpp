// tavi-cli's host lists: the input is a comma-separated --hosts list (first byte even) or the
// text of a host file, lines or JSON (first byte odd). Checks that an accepted list holds only
// host names of the host-name characters or IPv6 addresses, at most kMaxFleetHosts hosts and no
// printer twice under any spelling of its address or case of its name; that every entry of a comma
// list is either a host or one note; and that the hosts, listed again, read back alike with no
// note. fuzz-max-len: 4096
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frontends/cli/cli_hosts.h"
#include "os/socket.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool file = (data[0] & 1) != 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  // A list that starts with '@' names a file to read: never here.
  if (!file && !text.empty() && text.front() == '@') text.front() = ',';

  std::vector<std::string> hosts;
  std::vector<std::string> notes;
  std::string error;
  const bool ok = file ? tavi::cli::ParseHostFileText(text, hosts, error, &notes)
                       : tavi::cli::ParseHostList(text, hosts, error, &notes);
  if (!ok) {
    Check(!error.empty());
    return 0;
  }
  Check(!hosts.empty() && hosts.size() <= tavi::cli::kMaxFleetHosts);
  std::set<std::string> identities;
  for (const std::string& host : hosts) {
    Check(!host.empty() && host.size() <= 253);
    tavi::NetAddress ipv6;
    bool name = true;
    for (char c : host) name = name && IsHostCharacter(c);
    Check(name || tavi::ParseIpv6Address(host, ipv6));
    const std::string identity = tavi::cli::HostIdentity(host);
    Check(identities.insert(identity).second);
    Check(tavi::cli::HostIdentity(Upper(host)) == identity);
  }
  if (!file) {
    std::size_t entries = 1;
    for (char c : text) entries += c == ',';
    Check(hosts.size() + notes.size() == entries);
  }

  std::string again;
  for (const std::string& host : hosts) again += (again.empty() ? "" : ",") + host;
  std::vector<std::string> back;
  std::vector<std::string> back_notes;
  Check(tavi::cli::ParseHostList(again, back, error, &back_notes));
  Check(back == hosts && back_notes.empty());
  return 0;
}
