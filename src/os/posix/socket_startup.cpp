#include "os/socket_startup.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavi {
namespace {

// Closes the probe socket on every path.
class ProbeSocket {
 public:
  ProbeSocket() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
  ~ProbeSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProbeSocket(const ProbeSocket&) = delete;
  ProbeSocket& operator=(const ProbeSocket&) = delete;
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

bool StartSocketLayer() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (::sigaction(SIGPIPE, &ignore, nullptr) != 0) return false;
  ProbeSocket probe;
  return probe.valid();
}

}  // namespace tavi
