// Our blocking socket layer: TCP and UDP over non-blocking sockets that wait in short slices and
// ask a message-pending hook between slices whether to go on. A failure carries a Windows Sockets
// code on every system, so that the network clients name it the same way everywhere.
//
// A contract: every system folder (os/posix, os/windows) implements what is
// declared here and not defined in os/socket_common.cpp.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/failure/failure.h"

namespace tavi {

// Windows Sockets error codes this layer reports (the standard values).
namespace wsa {
inline constexpr int kEintr = 10004;
inline constexpr int kEbadf = 10009;
inline constexpr int kEacces = 10013;
inline constexpr int kEfault = 10014;
inline constexpr int kEinval = 10022;
inline constexpr int kEmfile = 10024;
inline constexpr int kEwouldblock = 10035;
inline constexpr int kEinprogress = 10036;
inline constexpr int kEalready = 10037;
inline constexpr int kEnotsock = 10038;
inline constexpr int kEdestaddrreq = 10039;
inline constexpr int kEmsgsize = 10040;
inline constexpr int kEprototype = 10041;
inline constexpr int kEnoprotoopt = 10042;
inline constexpr int kEprotonosupport = 10043;
inline constexpr int kEsocktnosupport = 10044;
inline constexpr int kEopnotsupp = 10045;
inline constexpr int kEpfnosupport = 10046;
inline constexpr int kEafnosupport = 10047;
inline constexpr int kEaddrinuse = 10048;
inline constexpr int kEaddrnotavail = 10049;
inline constexpr int kEnetdown = 10050;
inline constexpr int kEnetunreach = 10051;
inline constexpr int kEnetreset = 10052;
inline constexpr int kEconnaborted = 10053;
inline constexpr int kEconnreset = 10054;
inline constexpr int kEnobufs = 10055;
inline constexpr int kEisconn = 10056;
inline constexpr int kEnotconn = 10057;
inline constexpr int kEshutdown = 10058;
inline constexpr int kEtoomanyrefs = 10059;
inline constexpr int kEtimedout = 10060;
inline constexpr int kEconnrefused = 10061;
inline constexpr int kEloop = 10062;
inline constexpr int kEnametoolong = 10063;
inline constexpr int kEhostdown = 10064;
inline constexpr int kEhostunreach = 10065;
inline constexpr int kEnotempty = 10066;
inline constexpr int kEproclim = 10067;
inline constexpr int kEusers = 10068;
inline constexpr int kEdquot = 10069;
inline constexpr int kEstale = 10070;
inline constexpr int kEremote = 10071;
inline constexpr int kEdiscon = 10101;
inline constexpr int kSysnotready = 10091;
inline constexpr int kVernotsupported = 10092;
inline constexpr int kNotinitialised = 10093;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
inline constexpr int kNoRecovery = 11003;
inline constexpr int kNoData = 11004;
inline constexpr int kNoAddress = 11004;
}  // namespace wsa

// The longest wait between two calls of the message-pending hook.
inline constexpr std::chrono::milliseconds kSocketWaitSlice{20};

// Called while a socket call waits; returning false cancels the call (it fails with WSAEINTR).
using PendingHook = std::function<bool()>;

// An IPv4 address in network byte order.
struct Ipv4 {
  std::uint32_t network_order = 0;
};

// An IPv4 or an IPv6 address: what a name look-up gives and what a socket connects to.
struct NetAddress {
  enum class Family : std::uint8_t { kIpv4, kIpv6 };
  Family family = Family::kIpv4;
  // Network order: the first four octets for IPv4, all sixteen for IPv6.
  std::array<std::uint8_t, 16> octets{};

  NetAddress() = default;
  NetAddress(Ipv4 address);  // NOLINT(google-explicit-constructor): every IPv4 address is one
  bool is_ipv6() const { return family == Family::kIpv6; }
  // The IPv4 address (0 for an IPv6 one).
  Ipv4 ipv4() const;
  bool operator==(const NetAddress&) const = default;
};

// The dotted-address rules of inet_addr: "127.1", "0x7f.1" and "2130706433" are addresses;
// "255.255.255.255" gives the no-address value and is therefore not taken. False when the text is
// not such an address.
bool ParseDottedAddress(std::string_view text, Ipv4& out);

// An IPv6 address in its text forms ("2001:db8::7", "::ffff:192.0.2.7"), bare or in brackets
// ("[2001:db8::7]"). No zone ("%eth0"). False when the text is not such an address.
bool ParseIpv6Address(std::string_view text, NetAddress& out);

// A dotted IPv4 address (ParseDottedAddress) or an IPv6 address (ParseIpv6Address): a text that
// needs no name look-up.
bool ParseNumericAddress(std::string_view text, NetAddress& out);

// A numeric address first, else a name look-up that waits for the resolver's answer. Of the
// addresses a name has, the first IPv4 one is taken, else the first IPv6 one, so a name with only
// IPv6 addresses is reached too. On failure returns false and fills `failure`: its code
// WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA, ...; its details ResolveFailure's.
[[nodiscard]] bool ResolveHost(std::string_view host, NetAddress& out, Failure& failure);

// Why a name could not be looked up (`wsa_code`), with the technician's words: "name 'printer7'
// not found", or "name 'printer7' could not be looked up: <the resolver's reason>".
Failure ResolveFailure(std::string_view host, int wsa_code);

// "192.0.2.7".
std::string FormatIpv4(Ipv4 address);

// "192.0.2.7", or "2001:db8::7" (the shortest form: lower case, the longest run of zero groups
// as "::", an IPv4-mapped address as "::ffff:192.0.2.7").
std::string FormatAddress(const NetAddress& address);

// The address as it stands before a port: "192.0.2.7", or "[2001:db8::7]".
std::string BracketedAddress(const NetAddress& address);

// The port of a service in the services database (host byte order), else `fallback`.
std::uint16_t ServicePort(const char* service, const char* protocol, std::uint16_t fallback);

// Milliseconds on the steady clock (how long a socket call waited).
std::int64_t SteadyMs();

// The id of the calling process (the SNMP request id).
std::uint32_t CurrentProcessId();

// A blocking TCP or UDP socket. Every call that would block waits in slices of at most 20 ms and
// calls the hook between slices; there is no overall time-out. The last failure is kept per
// object.
class Socket {
 public:
  enum class Kind { kStream, kDatagram };

  explicit Socket(Kind kind);
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  void SetPendingHook(PendingHook hook) { hook_ = std::move(hook); }
  // The longest wait between two calls of the hook from now on, between 1 ms and
  // kSocketWaitSlice: a hook that ends the wait at a given time sets the time left before each
  // slice, so that the wait ends then and not up to a slice later.
  void SetWaitSlice(std::chrono::milliseconds slice) {
    slice_ = std::clamp(slice, std::chrono::milliseconds{1}, kSocketWaitSlice);
  }

  // Creates the descriptor (the address's family, any local address and port) if there is none
  // and connects it. For a datagram socket this fixes the peer.
  bool Connect(const NetAddress& address, std::uint16_t port);
  // Stream: sends all bytes (like a blocking send) and returns their count. Datagram: sends one
  // datagram. -1 on failure.
  std::int32_t Send(std::span<const std::byte> bytes);
  // Stream: waits for and returns what arrives, at most bytes.size(); 0 when the peer closed.
  // Datagram: receives one datagram; a datagram longer than `bytes` fails with WSAEMSGSIZE, and an
  // ICMP port-unreachable from the peer fails with WSAECONNRESET. -1 on failure.
  std::int32_t Receive(std::span<std::byte> bytes);
  void Close();

  bool IsOpen() const { return handle_ != kNoHandle; }
  // The last failure of this object: its Windows Sockets code, and its details in the operating
  // system's words ("Connection refused"; "cancelled" when the hook ended the wait). Empty (no
  // code, no details) when none yet. It names no message: the caller's step decides.
  const Failure& LastFailure() const { return last_failure_; }
  // True when the last failure was the hook ending the wait.
  bool WasCancelled() const { return last_failure_.code.IsWinsock(wsa::kEintr); }

 private:
  // The system's socket (a descriptor, or a SOCKET on Windows, whose INVALID_SOCKET is -1 here).
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;
  enum class Wait { kReadable, kWritable };

  // Creates the socket for `family` if there is none.
  bool EnsureHandle(NetAddress::Family family);
  // Waits in slices until the socket is ready; false on cancel or a failed wait.
  bool WaitFor(Wait wait);
  // Keeps `wsa_code` and `reason` as the last failure; always false.
  bool Fail(int wsa_code, std::string reason);
  // The same for a code of the system's own (errno; on Windows already a Windows Sockets code).
  bool FailSystem(int system_code);

  Kind kind_;
  Handle handle_ = kNoHandle;
  Failure last_failure_;
  PendingHook hook_;
  std::chrono::milliseconds slice_ = kSocketWaitSlice;
};

}  // namespace tavi
