// The rules of a sweep that do not depend on time: the requests asked, which datagram answers
// which request, what a host is, and whether it is a printer of the family.
//
// A request asks one address (or one broadcast address) for sysDescr.0, sysObjectID.0, sysName.0
// and the family's reply object. A datagram counts only when it decodes strictly as a
// GetResponse in the version and community asked, comes from the SNMP port asked, carries the
// request id of a request we sent, comes
// from the address that request asked (any address for a broadcast request), and names exactly
// the objects asked, in order. Each host is taken once, from its first such answer. A host that
// answers with an error status (an agent without the family's objects says noSuchName) is asked
// once more, for the three system objects alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/resources/constants.h"

namespace tavi::discovery {

// The most hosts one sweep keeps; answers from further hosts are ignored.
inline constexpr std::size_t kMaxHosts = 4096;
// The most characters kept of a sysDescr or sysName (the standard's DisplayString limit).
inline constexpr std::size_t kMaxTextLength = 255;

// True when `object_id` (dotted, leading dot) lies under the family's enterprise number.
[[nodiscard]] bool IsFamilyObjectId(std::string_view object_id);
// The family's name ("Type1", "Type2") when `object_id` is the enterprise number followed by
// ".1." and the family number; empty when the family cannot be told.
std::string_view FamilyNameOf(std::string_view object_id);

struct FoundHost {
  std::uint32_t address = 0;  // host byte order
  bool family = false;        // a printer of the family
  bool answers_reply_object = false;
  std::string family_name;    // "Type1", "Type2" or empty
  std::string sys_object_id;  // dotted, or empty when unknown
  std::string sys_name;       // printable ASCII; other octets as '?'
  std::string sys_descr;
};

enum class Verdict {
  kNewHost,         // a host was taken
  kFollowUp,        // the host answered with an error status; a follow-up request was added
  kUndecodable,     // not a well-formed SNMPv1 message, or cut short
  kNotAResponse,    // another PDU type
  kNotOurs,         // another SNMP version or community than the one asked
  kWrongPort,       // not from the SNMP port asked
  kUnknownRequest,  // a request id we did not send
  kUnaskedAddress,  // from an address the request did not ask
  kDuplicate,       // the host was already taken (or already being asked again)
  kWrongBindings,   // the objects named are not the ones asked
  kTooManyHosts,    // kMaxHosts reached
};

enum class RequestKind { kFull, kSystemOnly };

struct Request {
  std::uint32_t address = 0;
  bool broadcast = false;
  RequestKind kind = RequestKind::kFull;
  int sends = 0;
  std::int64_t last_send_ms = 0;
  bool answered = false;  // a unicast request whose host answered it
};

class AnswerMatcher {
 public:
  // Request ids are `request_id_base` + the request's index; every request goes in `community`.
  AnswerMatcher(std::uint32_t request_id_base, std::uint16_t port,
                std::string community = std::string(kSnmpCommunity));

  // Adds a request and returns its index.
  std::size_t AddRequest(std::uint32_t address, bool broadcast,
                         RequestKind kind = RequestKind::kFull);
  // The request's GetRequest datagram: its length, or -1 when `out` is too small.
  [[nodiscard]] std::int32_t BuildDatagram(std::size_t index, std::span<std::byte> out) const;
  // Judges one received datagram (`truncated`: it did not fit the receive buffer).
  Verdict Accept(std::uint32_t from, std::uint16_t from_port, std::span<const std::byte> datagram,
                 bool truncated = false);

  std::vector<Request>& requests() { return requests_; }
  const std::vector<Request>& requests() const { return requests_; }
  // Every host that answered, in address order. Hosts whose follow-up never came back are
  // listed with their address only, as other devices.
  std::vector<FoundHost> Hosts() const;
  std::size_t host_count() const { return hosts_.size(); }

 private:
  struct Host {
    FoundHost found;
    bool complete = false;
  };
  std::uint32_t request_id_base_;
  std::uint16_t port_;
  std::string community_;
  std::vector<Request> requests_;
  std::map<std::uint32_t, Host> hosts_;
};

}  // namespace tavi::discovery
