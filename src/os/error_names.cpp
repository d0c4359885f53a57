#include "os/error_names.h"

#include <array>

#include "os/socket.h"

namespace tavi {
namespace {

struct ErrorRow {
  int code;
  std::string_view name;
};

// In lookup order; WSAEDISCON stands out of numeric order, and 11004 has two names.
constexpr std::array<ErrorRow, 52> kErrorRows{{
    {wsa::kEintr, "WSAEINTR"},
    {wsa::kEbadf, "WSAEBADF"},
    {wsa::kEacces, "WSAEACCES"},
    {wsa::kEfault, "WSAEFAULT"},
    {wsa::kEinval, "WSAEINVAL"},
    {wsa::kEmfile, "WSAEMFILE"},
    {wsa::kEwouldblock, "WSAEWOULDBLOCK"},
    {wsa::kEinprogress, "WSAEINPROGRESS"},
    {wsa::kEalready, "WSAEALREADY"},
    {wsa::kEnotsock, "WSAENOTSOCK"},
    {wsa::kEdestaddrreq, "WSAEDESTADDRREQ"},
    {wsa::kEmsgsize, "WSAEMSGSIZE"},
    {wsa::kEprototype, "WSAEPROTOTYPE"},
    {wsa::kEnoprotoopt, "WSAENOPROTOOPT"},
    {wsa::kEprotonosupport, "WSAEPROTONOSUPPORT"},
    {wsa::kEsocktnosupport, "WSAESOCKTNOSUPPORT"},
    {wsa::kEopnotsupp, "WSAEOPNOTSUPP"},
    {wsa::kEpfnosupport, "WSAEPFNOSUPPORT"},
    {wsa::kEafnosupport, "WSAEAFNOSUPPORT"},
    {wsa::kEaddrinuse, "WSAEADDRINUSE"},
    {wsa::kEaddrnotavail, "WSAEADDRNOTAVAIL"},
    {wsa::kEnetdown, "WSAENETDOWN"},
    {wsa::kEnetunreach, "WSAENETUNREACH"},
    {wsa::kEnetreset, "WSAENETRESET"},
    {wsa::kEconnaborted, "WSAECONNABORTED"},
    {wsa::kEconnreset, "WSAECONNRESET"},
    {wsa::kEnobufs, "WSAENOBUFS"},
    {wsa::kEisconn, "WSAEISCONN"},
    {wsa::kEnotconn, "WSAENOTCONN"},
    {wsa::kEshutdown, "WSAESHUTDOWN"},
    {wsa::kEtoomanyrefs, "WSAETOOMANYREFS"},
    {wsa::kEtimedout, "WSAETIMEDOUT"},
    {wsa::kEconnrefused, "WSAECONNREFUSED"},
    {wsa::kEloop, "WSAELOOP"},
    {wsa::kEnametoolong, "WSAENAMETOOLONG"},
    {wsa::kEhostdown, "WSAEHOSTDOWN"},
    {wsa::kEhostunreach, "WSAEHOSTUNREACH"},
    {wsa::kEnotempty, "WSAENOTEMPTY"},
    {wsa::kEproclim, "WSAEPROCLIM"},
    {wsa::kEusers, "WSAEUSERS"},
    {wsa::kEdquot, "WSAEDQUOT"},
    {wsa::kEstale, "WSAESTALE"},
    {wsa::kEremote, "WSAEREMOTE"},
    {wsa::kEdiscon, "WSAEDISCON"},
    {wsa::kSysnotready, "WSASYSNOTREADY"},
    {wsa::kVernotsupported, "WSAVERNOTSUPPORTED"},
    {wsa::kNotinitialised, "WSANOTINITIALISED"},
    {wsa::kHostNotFound, "WSAHOST_NOT_FOUND"},
    {wsa::kTryAgain, "WSATRY_AGAIN"},
    {wsa::kNoRecovery, "WSANO_RECOVERY"},
    {wsa::kNoData, "WSANO_DATA"},
    {wsa::kNoAddress, "WSANO_ADDRESS"},
}};

}  // namespace

std::string_view WsaErrorName(int code) {
  for (const ErrorRow& row : kErrorRows) {
    if (row.code == code) return row.name;
  }
  return kWsaUnknownName;
}

}  // namespace tavi
