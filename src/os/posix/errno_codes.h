// errno values in the socket layer's terms (inside os/posix only, and its tests).
#pragma once

#include <string>

namespace tavi {

// The Windows Sockets code for an errno value. 0 stays 0; an errno without a counterpart is
// passed through unchanged (below 10000, so it names as "WSA_UNKNOWN"). EPIPE, which we only
// get after the peer reset or closed the connection (we never shut down our own side), becomes
// WSAECONNRESET, as Windows reports a send on a reset connection.
int WsaCodeFromErrno(int errno_value);

// The operating system's words for an errno value ("Connection refused").
std::string ErrnoText(int errno_value);

}  // namespace tavi
