#include "frontends/cli/cli_hosts.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "os/file_io.h"
#include "os/socket.h"

namespace tavi::cli {
namespace {

// Longest name the resolver takes.
constexpr std::size_t kMaxHostLength = 253;

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

// A name or dotted address of the host-name characters, or an IPv6 address, bare or in
// brackets ("2001:db8::7", "[2001:db8::7]").
bool IsHostText(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostLength) return false;
  if (std::all_of(host.begin(), host.end(), IsHostCharacter)) return true;
  NetAddress address;
  return ParseIpv6Address(host, address);
}

// Collects hosts in order and judges each one as it comes.
class Collector {
 public:
  Collector(std::vector<std::string>& hosts, std::string& error, std::vector<std::string>* notes)
      : hosts_(hosts), error_(error), notes_(notes) {
    hosts_.clear();
    if (notes_ != nullptr) notes_->clear();
  }

  bool Add(std::string_view host) {
    if (!IsHostText(host)) {
      return Fail("'" + std::string(host.substr(0, 64)) + "' is not a host name or address.");
    }
    const auto [first, fresh] = seen_.emplace(HostIdentity(host), std::string(host));
    if (!fresh) {
      // The same printer twice would run twice at once, each job in the other's way.
      if (notes_ != nullptr) {
        notes_->push_back(first->second == host
                              ? "Host " + first->second + " is listed twice: it runs once."
                              : "Hosts " + first->second + " and " + std::string(host) +
                                    " are the same printer: it runs once, as " + first->second +
                                    ".");
      }
      return true;
    }
    if (hosts_.size() == kMaxFleetHosts) {
      return Fail("More than " + std::to_string(kMaxFleetHosts) + " hosts.");
    }
    hosts_.emplace_back(host);
    return true;
  }

  bool Finish() {
    if (hosts_.empty()) return Fail("The host list is empty.");
    return true;
  }

  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

 private:
  std::vector<std::string>& hosts_;
  std::string& error_;
  std::vector<std::string>* notes_;
  std::map<std::string, std::string> seen_;  // identity -> the first spelling
};

// A JSON host: a string, or an object's "address". A device that discovery marked as not of the
// family ("family": false, listed with --all) is passed over.
bool AddJsonHost(const nlohmann::json& entry, Collector& collector) {
  if (entry.is_string()) return collector.Add(entry.get_ref<const std::string&>());
  if (entry.is_object()) {
    const auto family = entry.find("family");
    if (family != entry.end() && family->is_boolean() && !family->get<bool>()) return true;
    const auto address = entry.find("address");
    if (address != entry.end() && address->is_string()) {
      return collector.Add(address->get_ref<const std::string&>());
    }
  }
  return true;  // an entry that names no network host (a USB or parallel port) is passed over
}

bool ParseJson(std::string_view text, Collector& collector) {
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) return collector.Fail("The host file is not valid JSON.");
  if (document.is_array()) {
    for (const auto& entry : document) {
      if (!AddJsonHost(entry, collector)) return false;
    }
  } else if (document.is_object()) {
    for (const auto& [key, value] : document.items()) {
      if (!value.is_array()) continue;
      for (const auto& entry : value) {
        if (!AddJsonHost(entry, collector)) return false;
      }
    }
  } else {
    return collector.Fail("The host file's JSON holds no list of hosts.");
  }
  return collector.Finish();
}

bool ParseLines(std::string_view text, Collector& collector) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    line = line.substr(0, line.find('#'));
    line = Trim(line);
    if (!line.empty() && !collector.Add(line)) return false;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return collector.Finish();
}

}  // namespace

std::string HostIdentity(std::string_view host) {
  NetAddress address;
  if (ParseNumericAddress(host, address)) return FormatAddress(address);
  std::string name(host);
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return name;
}

bool ParseHostFileText(std::string_view text, std::vector<std::string>& hosts, std::string& error,
                       std::vector<std::string>* notes) {
  Collector collector(hosts, error, notes);
  const std::string_view body = Trim(text);
  if (!body.empty() && (body.front() == '{' || body.front() == '[')) {
    return ParseJson(body, collector);
  }
  return ParseLines(text, collector);
}

bool ParseHostList(std::string_view list, std::vector<std::string>& hosts, std::string& error,
                   std::vector<std::string>* notes) {
  if (!list.empty() && list.front() == '@') {
    const std::string path(list.substr(1));
    std::vector<std::byte> bytes;
    FileError file_error;
    // One byte more than is taken, to tell a file that is too long.
    if (!ReadFileLimited(path, kMaxHostFileBytes + 1, bytes, file_error)) {
      error = FileErrorText(file_error);
      return false;
    }
    if (bytes.size() > kMaxHostFileBytes) {
      error = "The host file " + path + " is longer than " + std::to_string(kMaxHostFileBytes) +
              " bytes.";
      return false;
    }
    return ParseHostFileText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), hosts, error,
        notes);
  }
  Collector collector(hosts, error, notes);
  while (true) {
    const std::size_t comma = list.find(',');
    if (!collector.Add(Trim(list.substr(0, comma)))) return false;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return collector.Finish();
}

bool HasHostPlaceholder(std::string_view path) {
  return path.find(kHostPlaceholder) != std::string_view::npos;
}

std::string HostPathText(std::string_view host) {
  std::string text;
  for (char c : host) {
    if (c == ':') {
      text += '_';
    } else if (c != '[' && c != ']') {
      text += c;
    }
  }
  return text;
}

std::string ExpandHostPath(std::string_view path, std::string_view host) {
  const std::string text = HostPathText(host);
  std::string out;
  while (true) {
    const std::size_t at = path.find(kHostPlaceholder);
    out += path.substr(0, at);
    if (at == std::string_view::npos) break;
    out += text;
    path.remove_prefix(at + kHostPlaceholder.size());
  }
  return out;
}

}  // namespace tavi::cli
