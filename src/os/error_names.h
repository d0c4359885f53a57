// The one function that names a system's error code, in each of the three code spaces, and the
// diagnostic lines that both network clients append to their last-error texts. It sits beside
// the socket layer so that the SNMP client (below the printer connection) and the LPD client
// share one table.
#pragma once

#include <string_view>

#include "core/failure/failure.h"

namespace tavi {

// The names of a code in no row of its space's table.
inline constexpr std::string_view kWsaUnknownName = "WSA_UNKNOWN";
inline constexpr std::string_view kErrnoUnknownName = "E_UNKNOWN";
inline constexpr std::string_view kWin32UnknownName = "ERROR_UNKNOWN";

// Diagnostic lines: printf formats filled with the error name (or text) and kLineEnd.
inline constexpr const char* kLineGethostbyname = "gethostbyname: %s%s";
inline constexpr const char* kLineConnect = "Connect: %s%s";
inline constexpr const char* kLineSend = "send: %s%s";
inline constexpr const char* kLineSendCommunication = "send: communication error%s";
inline constexpr const char* kLineRecv = "recv: %s%s";
inline constexpr const char* kLineLpdCommunication = "lpd: communication error%s";
inline constexpr const char* kLineText = "%s%s";
inline constexpr const char* kLineEnd = "\r\n";

// The symbolic name of `code` from its space's table: "WSAECONNREFUSED", "ENOENT",
// "ERROR_ACCESS_DENIED". The first matching row wins, so Windows Sockets 11004 is "WSANO_DATA".
// 0 and every code in no row give its space's unknown name; the empty code gives "".
// The returned view always refers to a zero-terminated literal, so data() may go to "%s".
std::string_view ErrorName(SystemCode code);

}  // namespace tavi
