// A poller for the tests that follows the reply-polling rules on its own: wait for the header,
// then keep each chunk the first time it is seen, in any order.
#pragma once

#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavi::sim::test {

// Payload of the first complete "<marker>...;" field, or "" when there is none.
inline std::string FieldPayload(std::string_view text, std::string_view marker) {
  const std::size_t m = text.find(marker);
  if (m == std::string_view::npos) return {};
  const std::size_t semi = text.find(';', m);
  if (semi == std::string_view::npos) return {};
  return std::string(text.substr(m + marker.size(), semi - m - marker.size()));
}

struct PollResult {
  bool complete = false;
  std::string data;
  int reads = 0;
  int header_reads = 0;  // reads until the header was seen
};

// `read` returns false when the read failed. Gives up after `max_reads` reads.
inline PollResult PollAnswer(const std::function<bool(std::string&)>& read, std::string_view marker,
                             int max_reads = 10000) {
  PollResult result;
  long count = 0;
  std::string text;
  while (count <= 0 && result.reads < max_reads) {
    if (!read(text)) return result;
    ++result.reads;
    const std::string payload = FieldPayload(text, marker);
    if (payload.empty()) continue;
    char* end = nullptr;
    const long index = std::strtol(payload.c_str(), &end, 10);
    if (index == 0 && *end != '\0') count = std::strtol(end + 1, nullptr, 10);
  }
  result.header_reads = result.reads;
  if (count <= 0) return result;
  std::map<long, std::string> chunks;
  while (static_cast<long>(chunks.size()) < count && result.reads < max_reads) {
    if (!read(text)) return result;
    ++result.reads;
    const std::string payload = FieldPayload(text, marker);
    if (payload.empty()) continue;
    char* end = nullptr;
    const long index = std::strtol(payload.c_str(), &end, 10);
    if (index < 1 || index > count || chunks.count(index) || *end == '\0') continue;
    std::string bytes;
    for (const char* p = end + 1; p[0] && p[1]; p += 2) {
      const char pair[3] = {p[0], p[1], 0};
      bytes.push_back(static_cast<char>(std::strtol(pair, nullptr, 16)));
    }
    chunks[index] = bytes;
  }
  if (static_cast<long>(chunks.size()) < count) return result;
  for (auto& [index, bytes] : chunks) result.data += bytes;
  result.complete = true;
  return result;
}

}  // namespace tavi::sim::test
