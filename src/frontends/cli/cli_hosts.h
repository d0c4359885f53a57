// The printers of a run across several hosts (--hosts LIST) and the output paths made for each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::cli {

// The most hosts one run takes; a /22 of addresses.
inline constexpr std::size_t kMaxFleetHosts = 1024;
// The most bytes of a host file that are read.
inline constexpr std::size_t kMaxHostFileBytes = 1 << 20;
// What an output path holds where each host's name goes.
inline constexpr std::string_view kHostPlaceholder = "{host}";

// LIST is comma-separated hosts, or @FILE. The host file holds one host a line (blank lines and
// "#" comments skipped), or JSON: an array of hosts, or an object whose arrays hold them, each
// host a string or an object with an "address" field (objects with "family": false are passed
// over: discovery's devices of other makers). False with `error` set when the list
// cannot be read, is empty, holds more than kMaxFleetHosts hosts, or a text that is neither a
// host name (only letters, digits, '.', '-' and '_') nor an IPv6 address, bare or in brackets
// ("2001:db8::7", "[2001:db8::7]").
// Two entries that name the same printer (the same address under the dotted-address rules, so
// "127.0.63.1" and "0177.0.077.01"; the same IPv6 address in any of its forms, so "[::1]" and
// "0:0::1"; or the same name in any case) give one host, the first spelling; `notes`, when
// given, gets one line for each entry left out.
bool ParseHostList(std::string_view list, std::vector<std::string>& hosts, std::string& error,
                   std::vector<std::string>* notes = nullptr);

// The same for the text of a host file.
bool ParseHostFileText(std::string_view text, std::vector<std::string>& hosts, std::string& error,
                       std::vector<std::string>* notes = nullptr);

// What makes two host entries the same printer: the address in its shortest form ("192.0.2.7",
// "2001:db8::7") for a text that is an address, else the name in lower case.
std::string HostIdentity(std::string_view host);

bool HasHostPlaceholder(std::string_view path);
// A host as it goes into a file name: an IPv6 address without brackets and with '_' for every
// ':' ("[2001:db8::7]" gives "2001_db8__7"), which no file system refuses; any other host as it
// stands.
std::string HostPathText(std::string_view host);
// `path` with every "{host}" replaced by HostPathText(`host`).
std::string ExpandHostPath(std::string_view path, std::string_view host);

}  // namespace tavi::cli
