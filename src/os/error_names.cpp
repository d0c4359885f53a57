#include "os/error_names.h"

#include <array>
#include <cerrno>

#include "os/socket.h"

namespace tavi {
namespace {

struct ErrorRow {
  std::int64_t code;
  std::string_view name;
};

// In lookup order; WSAEDISCON stands out of numeric order, and 11004 has two names.
constexpr std::array<ErrorRow, 52> kWinsockRows{{
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

// The errno values this program meets (the system's numbers; where two names share one, the
// first row names it).
constexpr std::array<ErrorRow, 37> kErrnoRows{{
    {EPERM, "EPERM"},
    {ENOENT, "ENOENT"},
    {EINTR, "EINTR"},
    {EIO, "EIO"},
    {ENXIO, "ENXIO"},
    {EBADF, "EBADF"},
    {EAGAIN, "EAGAIN"},
    {ENOMEM, "ENOMEM"},
    {EACCES, "EACCES"},
    {EBUSY, "EBUSY"},
    {EEXIST, "EEXIST"},
    {EXDEV, "EXDEV"},
    {ENODEV, "ENODEV"},
    {ENOTDIR, "ENOTDIR"},
    {EISDIR, "EISDIR"},
    {EINVAL, "EINVAL"},
    {ENFILE, "ENFILE"},
    {EMFILE, "EMFILE"},
    {ETXTBSY, "ETXTBSY"},
    {EFBIG, "EFBIG"},
    {ENOSPC, "ENOSPC"},
    {ESPIPE, "ESPIPE"},
    {EROFS, "EROFS"},
    {EMLINK, "EMLINK"},
    {EPIPE, "EPIPE"},
    {ENAMETOOLONG, "ENAMETOOLONG"},
    {ENOTEMPTY, "ENOTEMPTY"},
    {ELOOP, "ELOOP"},
    {EOVERFLOW, "EOVERFLOW"},
    {ECANCELED, "ECANCELED"},
    {EADDRINUSE, "EADDRINUSE"},
    {ENETUNREACH, "ENETUNREACH"},
    {ECONNRESET, "ECONNRESET"},
    {ETIMEDOUT, "ETIMEDOUT"},
    {ECONNREFUSED, "ECONNREFUSED"},
    {EHOSTUNREACH, "EHOSTUNREACH"},
    {EMSGSIZE, "EMSGSIZE"},
}};

// The Windows system error codes this program meets (the standard values).
constexpr std::array<ErrorRow, 30> kWin32Rows{{
    {1, "ERROR_INVALID_FUNCTION"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {5, "ERROR_ACCESS_DENIED"},
    {6, "ERROR_INVALID_HANDLE"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {14, "ERROR_OUTOFMEMORY"},
    {15, "ERROR_INVALID_DRIVE"},
    {19, "ERROR_WRITE_PROTECT"},
    {21, "ERROR_NOT_READY"},
    {31, "ERROR_GEN_FAILURE"},
    {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},
    {39, "ERROR_HANDLE_DISK_FULL"},
    {53, "ERROR_BAD_NETPATH"},
    {67, "ERROR_BAD_NET_NAME"},
    {80, "ERROR_FILE_EXISTS"},
    {87, "ERROR_INVALID_PARAMETER"},
    {112, "ERROR_DISK_FULL"},
    {121, "ERROR_SEM_TIMEOUT"},
    {123, "ERROR_INVALID_NAME"},
    {161, "ERROR_BAD_PATHNAME"},
    {183, "ERROR_ALREADY_EXISTS"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {259, "ERROR_NO_MORE_ITEMS"},
    {267, "ERROR_DIRECTORY"},
    {995, "ERROR_OPERATION_ABORTED"},
    {997, "ERROR_IO_PENDING"},
    {1167, "ERROR_DEVICE_NOT_CONNECTED"},
    {1460, "ERROR_TIMEOUT"},
}};

template <std::size_t N>
std::string_view Lookup(const std::array<ErrorRow, N>& rows, std::int64_t code,
                        std::string_view unknown) {
  if (code == 0) return unknown;
  for (const ErrorRow& row : rows) {
    if (row.code == code) return row.name;
  }
  return unknown;
}

}  // namespace

std::string_view ErrorName(SystemCode code) {
  switch (code.space) {
    case CodeSpace::kWinsock:
      return Lookup(kWinsockRows, code.value, kWsaUnknownName);
    case CodeSpace::kErrno:
      return Lookup(kErrnoRows, code.value, kErrnoUnknownName);
    case CodeSpace::kWin32:
      return Lookup(kWin32Rows, code.value, kWin32UnknownName);
    case CodeSpace::kNone:
      break;
  }
  return "";
}

}  // namespace tavi
