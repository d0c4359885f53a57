#include "os/socket_startup.h"

#include <winsock2.h>

namespace tavi {

// Windows Sockets 2.2. The layer stays started until the process ends; a program that could not
// start it shows its start-up failure and ends.
bool StartSocketLayer() {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
    ::WSACleanup();
    return false;
  }
  return true;
}

}  // namespace tavi
