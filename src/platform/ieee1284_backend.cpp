#include "platform/ieee1284_backend.h"

#include <ieee1284.h>
#include <sys/time.h>

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

bool Ieee1284Backend::Refresh(DeviceError& error) {
  if (port_ != nullptr) return true;
  FreeList();
  *list_ = {};
  const int rc = ieee1284_find_ports(list_.get(), 0);
  if (rc != E1284_OK) {
    error = {false, Ieee1284ErrorText(rc, errno)};
    return false;
  }
  have_list_ = true;
  return true;
}

bool Ieee1284Backend::ListPorts(std::vector<std::string>& names, DeviceError& error) {
  names.clear();
  if (!Refresh(error)) return false;
  for (int i = 0; i < list_->portc; ++i) {
    const parport* port = list_->portv[i];
    names.emplace_back(port->name != nullptr ? port->name : "parport" + std::to_string(i));
  }
  return true;
}

bool Ieee1284Backend::Open(const std::string& name, DeviceError& error) {
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
    error.text = "no such port";
    return false;
  }
  std::string where = port->filename != nullptr ? std::string(" on ") + port->filename : "";
  int capabilities = 0;
  errno = 0;
  int rc = ieee1284_open(port, 0, &capabilities);
  if (rc != E1284_OK) {
    const int saved = errno;
    error.permission_denied = IsPermissionError(saved);
    error.text = Ieee1284ErrorText(rc, saved) + where;
    return false;
  }
  errno = 0;
  rc = ieee1284_claim(port);
  if (rc != E1284_OK) {
    const int saved = errno;
    ieee1284_close(port);
    error.permission_denied = IsPermissionError(saved);
    error.text = "the port could not be claimed: " + Ieee1284ErrorText(rc, saved) + where;
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
  SetTimeout(timeout_ms);
  errno = 0;
  const ssize_t rc = ieee1284_get_deviceid(port_, -1, F1284_FRESH,
                                           reinterpret_cast<char*>(buffer.data()), buffer.size());
  if (rc >= 0) {
    const auto count = static_cast<std::size_t>(rc);
    return {TransferResult::Status::kDone, count < buffer.size() ? count : buffer.size(), {}};
  }
  if (rc == E1284_TIMEDOUT) return {TransferResult::Status::kTimedOut, 0, {}};
  return {TransferResult::Status::kFailed, 0, Ieee1284ErrorText(static_cast<int>(rc), errno)};
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
