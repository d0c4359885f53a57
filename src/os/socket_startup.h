// Getting the socket layer ready before any window or setting is touched.
#pragma once

namespace tavi {

// Ignores SIGPIPE (a peer that closes early must give a failed send, not end the program) and
// checks that the system hands out a socket. False when no socket can be created.
bool StartSocketLayer();

}  // namespace tavi
