// Machine-readable results: one JSON object per command, written in one place so that every
// command of tavi-cli (and any later one) reports the same fields the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/connection/port_listing.h"
#include "core/settings/port_settings.h"

namespace tavi::cli {

// "params diff": the two blocks' lengths and each range where they differ, both sides' bytes in
// hexadecimal ("0A FF"); a side without bytes in the range (the shorter block's) is null.
struct ComparedRange {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::optional<std::string> a;
  std::optional<std::string> b;
};
struct BlockComparison {
  std::size_t length_a = 0;
  std::size_t length_b = 0;
  std::vector<ComparedRange> ranges;
};

// What one command did, as the JSON object reports it.
struct CommandResult {
  std::string command;              // "report", "params decode", "ports", ...
  std::optional<std::string> port;  // "parallel", "network", "usb" for the printer commands
  std::optional<std::string> host;  // the host used on the network
  std::int32_t family = 0;          // the printer family (for the journal; 0: none)
  int exit_status = 0;              // gives "outcome"
  std::optional<int> message_id;    // the string-table id of the message shown, if it had one
  std::string message;              // the message's text ("" when none was shown)
  std::string details;              // the details behind it, lines joined with "\n"
  std::int64_t duration_ms = 0;
  std::optional<PortListing> ports;           // "ports": the ports and devices found
  std::optional<std::int64_t> block_length;   // "params decode": the block's length
  std::optional<BlockComparison> comparison;  // "params diff": where the blocks differ
  // Files the command made on its own (a safety copy), each with its role, for the journal.
  std::vector<std::pair<std::string, std::string>> noted_files;
};

// "success", "failed", "invalid-input", "timed-out", "mismatch" or "interrupted" for tavi-cli's
// exit statuses; "exit N" for any other.
std::string OutcomeName(int exit_status);

// The result as one JSON object: command, port, host, outcome, exit_status, message_id, message,
// details, duration_ms, and "ports" / "block_length" / the comparison ("equal", "length_a",
// "length_b", "differences": [{offset, length, a, b}]) where the command has them; a comparison
// that differs has the outcome "different". Fields without a value are null.
nlohmann::json ResultJson(const CommandResult& result);

// The ports and devices as a JSON array, each entry {kind, name, device_id, note, used}.
nlohmann::json PortListingJson(const PortListing& listing);

// Writes `object` as one line of compact JSON (UTF-8; bytes that are not valid UTF-8 become
// U+FFFD) and flushes. False when the stream refused it.
bool WriteJsonLine(std::FILE* out, const nlohmann::json& object);
// WriteJsonLine(out, ResultJson(result)), for callers that add no fields of their own.
bool WriteResultLine(std::FILE* out, const CommandResult& result);

}  // namespace tavi::cli
