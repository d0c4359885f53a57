// Discovery's answer matching: a sweep of four addresses (and, by the first input byte, one
// broadcast) receives the input's datagrams. Each record is a control byte, a length byte and
// that many bytes: the control byte picks the sender (asked or not), the port (right or wrong),
// a cut-short receive, and whether the bytes are the datagram itself or (offset, value) patches
// to a request's own datagram turned into a GetResponse, which reaches the deep checks at once.
// Checks that only a taken host or its follow-up adds a host, only a follow-up adds a request,
// no host is taken from an address no request asked, from the wrong port or twice, and that
// every host's texts stay within their bounds.
// fuzz-max-len: 8192
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <vector>

#include "core/discovery/answers.h"
#include "core/net/ber.h"

namespace {

using tavi::discovery::AnswerMatcher;
using tavi::discovery::Verdict;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::uint32_t kIdBase = 0x5A000000;
constexpr std::uint16_t kPort = 161;
constexpr std::array<std::uint32_t, 4> kAsked = {0x7F000001, 0x7F000002, 0x7F000003, 0x0A000009};
constexpr std::array<std::uint32_t, 8> kSenders = {0x7F000001, 0x7F000002, 0x7F000003, 0x0A000009,
                                                   0x7F000005, 0xC0A80001, 0x00000000, 0xFFFFFFFF};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool broadcast = (data[0] & 1) != 0;
  AnswerMatcher matcher(kIdBase, kPort);
  for (std::uint32_t address : kAsked) matcher.AddRequest(address, false);
  if (broadcast) matcher.AddRequest(0x7FFFFFFF, true);
  for (auto& r : matcher.requests()) r.sends = 1;

  std::size_t at = 1;
  while (at + 2 <= size) {
    const std::uint8_t control = data[at];
    const std::size_t length = data[at + 1];
    at += 2;
    const std::span<const std::uint8_t> body(data + at, std::min(length, size - at));
    at += body.size();

    const std::uint32_t from = kSenders[control & 7];
    const std::uint16_t port = (control & 8) != 0 ? kPort + 1 : kPort;
    const bool truncated = (control & 16) != 0;
    std::vector<std::byte> datagram;
    if ((control & 32) != 0) {
      const std::size_t index = (control >> 6) % matcher.requests().size();
      std::array<std::byte, 512> built{};
      const std::int32_t n = matcher.BuildDatagram(index, built);
      Check(n > 0);
      datagram.assign(built.begin(), built.begin() + n);
      for (std::size_t i = 0; i < datagram.size(); ++i) {
        if (datagram[i] == std::byte{tavi::ber::kPduGetRequest}) {
          datagram[i] = std::byte{tavi::ber::kPduGetResponse};
          break;
        }
      }
      for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
        datagram[body[i] % datagram.size()] = std::byte{body[i + 1]};
      }
    } else {
      for (std::uint8_t b : body) datagram.push_back(std::byte{b});
    }

    const std::size_t hosts_before = matcher.host_count();
    const std::size_t requests_before = matcher.requests().size();
    const Verdict verdict = matcher.Accept(from, port, datagram, truncated);
    const std::size_t hosts_after = matcher.host_count();
    if (truncated) Check(verdict == Verdict::kUndecodable);
    if (port != kPort) Check(verdict != Verdict::kNewHost && verdict != Verdict::kFollowUp);
    if (verdict == Verdict::kNewHost || verdict == Verdict::kFollowUp) {
      Check(hosts_after == hosts_before || hosts_after == hosts_before + 1);
    } else {
      Check(hosts_after == hosts_before);
    }
    if (verdict == Verdict::kFollowUp) {
      Check(matcher.requests().size() == requests_before + 1);
      matcher.requests().back().sends = 1;  // the sweep sends it
    } else {
      Check(matcher.requests().size() == requests_before);
    }
  }

  const std::set<std::uint32_t> asked(kAsked.begin(), kAsked.end());
  std::uint32_t previous = 0;
  bool first = true;
  for (const auto& host : matcher.Hosts()) {
    Check(first || host.address > previous);
    first = false;
    previous = host.address;
    if (!broadcast) Check(asked.count(host.address) == 1);
    Check(host.sys_descr.size() <= tavi::discovery::kMaxTextLength);
    Check(host.sys_name.size() <= tavi::discovery::kMaxTextLength);
    for (char c : host.sys_name) Check(c >= 0x20 && c < 0x7F);
    if (!host.family_name.empty()) Check(host.family);
    if (host.answers_reply_object) Check(host.family);
  }
  return 0;
}
