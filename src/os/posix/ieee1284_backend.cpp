#include "os/posix/ieee1284_backend.h"

#include <ieee1284.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace tavi {
namespace {

std::string Ieee1284ErrorText(int code, int saved_errno) {
  std::string text;
  switch (code) {
    case E1284_NOTIMPL:
      text = "not implemented for this port";
      break;
    case E1284_NOTAVAIL:
      text = "not available on this system";
      break;
    case E1284_TIMEDOUT:
      text = "timed out";
      break;
    case E1284_REJECTED:
      text = "negotiation rejected by the printer";
      break;
    case E1284_NEGFAILED:
      text = "negotiation failed";
      break;
    case E1284_NOMEM:
      text = "out of memory";
      break;
    case E1284_INIT:
      text = "the port could not be initialised";
      break;
    case E1284_SYS:
      text = "system error";
      break;
    case E1284_NOID:
      text = "the printer gave no device ID";
      break;
    case E1284_INVALIDPORT:
      text = "invalid port";
      break;
    default:
      text = "error " + std::to_string(code);
      break;
  }
  if (saved_errno != 0 && (code == E1284_INIT || code == E1284_SYS)) {
    text += " (";
    text += std::strerror(saved_errno);
    text += ")";
  }
  return text;
}

bool IsPermissionError(int saved_errno) {
  return saved_errno == EACCES || saved_errno == EPERM;
}

// Where the library gives no errno (it found no way to reach the port because it was not
// allowed to open the port's device node), the node itself tells: "/dev/parportN".
bool NodeRefusesThisUser(const std::string& port_name) {
  if (!port_name.starts_with("parport")) return false;
  const std::string node = "/dev/" + port_name;
  return access(node.c_str(), F_OK) == 0 && access(node.c_str(), R_OK | W_OK) != 0 &&
         IsPermissionError(errno);
}

}  // namespace

Ieee1284Backend::Ieee1284Backend() : list_(std::make_unique<parport_list>()) {}

Ieee1284Backend::~Ieee1284Backend() {
  Close();
  FreeList();
}

void Ieee1284Backend::FreeList() {
  if (!have_list_) return;
  ieee1284_free_ports(list_.get());
  have_list_ = false;
}

bool Ieee1284Backend::Refresh(Failure& error) {
  if (port_ != nullptr) return true;
  FreeList();
  *list_ = {};
  const int rc = ieee1284_find_ports(list_.get(), 0);
  if (rc != E1284_OK) {
    const int saved = errno;
    error = {0, Ieee1284ErrorText(rc, saved), SystemCode::Errno(saved)};
    return false;
  }
  have_list_ = true;
  return true;
}

bool Ieee1284Backend::ListPorts(std::vector<std::string>& names, Failure& error) {
  names.clear();
  if (!Refresh(error)) return false;
  for (int i = 0; i < list_->portc; ++i) {
    const parport* port = list_->portv[i];
    names.emplace_back(port->name != nullptr ? port->name : "parport" + std::to_string(i));
  }
  return true;
}

bool Ieee1284Backend::Open(const std::string& name, Failure& error) {
  Close();
  error = {};
  if (!Refresh(error)) return false;
  parport* port = nullptr;
  for (int i = 0; i < list_->portc && port == nullptr; ++i) {
    const char* n = list_->portv[i]->name;
    const std::string listed = n != nullptr ? n : "parport" + std::to_string(i);
    if (listed == name) port = list_->portv[i];
  }
  if (port == nullptr) {
    error.details = "no such port";
    return false;
  }
  std::string where = port->filename != nullptr && *port->filename != '\0'
                          ? std::string(" on ") + port->filename
                          : "";
  int capabilities = 0;
  errno = 0;
  int rc = ieee1284_open(port, 0, &capabilities);
  if (rc != E1284_OK) {
    const int saved = errno;
    const bool node_refused = !IsPermissionError(saved) && NodeRefusesThisUser(name);
    error.code = SystemCode::Errno(node_refused ? EACCES : saved);
    error.details = node_refused ? "/dev/" + name + ": " + std::strerror(EACCES)
                                 : Ieee1284ErrorText(rc, saved) + where;
    return false;
  }
  errno = 0;
  rc = ieee1284_claim(port);
  if (rc != E1284_OK) {
    const int saved = errno;
    ieee1284_close(port);
    error.code = SystemCode::Errno(saved);
    error.details = "the port could not be claimed: " + Ieee1284ErrorText(rc, saved) + where;
    return false;
  }
  port_ = port;
  return true;
}

void Ieee1284Backend::SetTimeout(int timeout_ms) {
  timeval timeout{};
  timeout.tv_sec = timeout_ms / 1000;
  timeout.tv_usec = (timeout_ms % 1000) * 1000;
  ieee1284_set_timeout(port_, &timeout);
}

TransferResult Ieee1284Backend::Write(std::span<const std::byte> bytes, int timeout_ms) {
  if (port_ == nullptr) return {TransferResult::Status::kFailed, 0, "the port is not open"};
  SetTimeout(timeout_ms);
  errno = 0;
  const ssize_t rc =
      ieee1284_compat_write(port_, 0, reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (rc >= 0) return {TransferResult::Status::kDone, static_cast<std::size_t>(rc), {}};
  if (rc == E1284_TIMEDOUT) return {TransferResult::Status::kTimedOut, 0, {}};
  return {TransferResult::Status::kFailed, 0, Ieee1284ErrorText(static_cast<int>(rc), errno)};
}

TransferResult Ieee1284Backend::ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) {
  if (port_ == nullptr) return {TransferResult::Status::kFailed, 0, "the port is not open"};
  constexpr std::size_t kLengthField = 2;
  if (buffer.size() <= kLengthField) return {TransferResult::Status::kDone, 0, {}};
  SetTimeout(timeout_ms);
  // A fresh read on the port we hold: the library's own fresh read opens and claims the port
  // itself, which fails while it is open here. Negotiate nibble mode with the device-ID flag,
  // read the 2-byte length, then as much of the ID as the buffer takes, and go back to
  // compatibility mode.
  auto* bytes = reinterpret_cast<char*>(buffer.data());
  errno = 0;
  ieee1284_terminate(port_);
  int rc = ieee1284_negotiate(port_, M1284_NIBBLE | M1284_FLAG_DEVICEID);
  if (rc != E1284_OK) {
    const int saved = errno;
    ieee1284_terminate(port_);
    if (rc == E1284_TIMEDOUT) return {TransferResult::Status::kTimedOut, 0, {}};
    return {TransferResult::Status::kFailed, 0, Ieee1284ErrorText(rc, saved)};
  }
  ssize_t got = ieee1284_nibble_read(port_, 0, bytes, kLengthField);
  std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (count == kLengthField) {
    const std::size_t announced =
        (static_cast<std::size_t>(buffer[0]) << 8) | static_cast<std::size_t>(buffer[1]);
    const std::size_t wanted = std::min(announced, buffer.size() - kLengthField);
    got = wanted > 0 ? ieee1284_nibble_read(port_, 0, bytes + kLengthField, wanted) : 0;
    if (got > 0) count += std::min(static_cast<std::size_t>(got), wanted);
  }
  const int saved = errno;
  ieee1284_terminate(port_);
  if (got < 0 && count <= kLengthField) {
    if (got == E1284_TIMEDOUT) return {TransferResult::Status::kTimedOut, 0, {}};
    return {TransferResult::Status::kFailed, 0, Ieee1284ErrorText(static_cast<int>(got), saved)};
  }
  return {TransferResult::Status::kDone, count, {}};
}

void Ieee1284Backend::Close() {
  if (port_ == nullptr) return;
  ieee1284_release(port_);
  ieee1284_close(port_);
  port_ = nullptr;
}

std::unique_ptr<ParallelBackend> MakeSystemParallelBackend() {
  return std::make_unique<Ieee1284Backend>();
}

}  // namespace tavi
