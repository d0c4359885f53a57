// Windows Sockets error codes to their symbolic names, and the diagnostic lines that both network
// clients append to their last-error texts. It sits beside the socket layer so that the SNMP
// client (below the printer connection) and the LPD client share one table.
#pragma once

#include <string_view>

namespace tavi {

inline constexpr std::string_view kWsaUnknownName = "WSA_UNKNOWN";

// Diagnostic lines: printf formats filled with the error name (or text) and kLineEnd.
inline constexpr const char* kLineGethostbyname = "gethostbyname: %s%s";
inline constexpr const char* kLineConnect = "Connect: %s%s";
inline constexpr const char* kLineSend = "send: %s%s";
inline constexpr const char* kLineSendCommunication = "send: communication error%s";
inline constexpr const char* kLineRecv = "recv: %s%s";
inline constexpr const char* kLineLpdCommunication = "lpd: communication error%s";
inline constexpr const char* kLineText = "%s%s";
inline constexpr const char* kLineEnd = "\r\n";

// The name of `code` from the table (first matching row wins, so 11004 is "WSANO_DATA");
// kWsaUnknownName for 0 and every code in no row.
// The returned view always refers to a zero-terminated literal, so data() may go to "%s".
std::string_view WsaErrorName(int code);

}  // namespace tavi
