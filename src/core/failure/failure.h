// The one way a step says why it failed, from the device and socket layers up to every front
// end: the message the person sees, the technician's details behind it, and the system's code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tavi {

// Where a system's error code comes from; the same number means different things in each.
enum class CodeSpace : std::uint8_t {
  kNone,     // no system call failed (a rule of ours, a device library's own refusal)
  kErrno,    // the C library's errno (ENOENT, EACCES, ...)
  kWinsock,  // Windows Sockets (WSAECONNREFUSED 10061, WSAHOST_NOT_FOUND 11001, ...)
  kWin32,    // the Windows system (ERROR_FILE_NOT_FOUND 2, ERROR_ACCESS_DENIED 5, ...)
};

// A system's error code in its space. The empty code (kNone, 0) says no system call failed.
struct SystemCode {
  CodeSpace space = CodeSpace::kNone;
  std::int64_t value = 0;

  static constexpr SystemCode Errno(int code) { return {CodeSpace::kErrno, code}; }
  static constexpr SystemCode Winsock(int code) { return {CodeSpace::kWinsock, code}; }
  static constexpr SystemCode Win32(std::uint32_t code) { return {CodeSpace::kWin32, code}; }

  constexpr bool empty() const { return space == CodeSpace::kNone; }
  // True when this is `code` of the errno space (false for every other space).
  constexpr bool IsErrno(int code) const { return space == CodeSpace::kErrno && value == code; }
  constexpr bool IsWinsock(int code) const { return space == CodeSpace::kWinsock && value == code; }
  friend constexpr bool operator==(const SystemCode&, const SystemCode&) = default;
};

// True when the system refused because this user may not do it (errno EACCES or EPERM,
// ERROR_ACCESS_DENIED, WSAEACCES).
bool DeniesAccess(SystemCode code);

// Why a step failed. `message_id` is the string-table message to show (0 when the step has none
// of its own and its caller decides); `details` the technician's words ("connect to 192.0.2.7
// port 515 (LPD): Connection refused"), empty when there is nothing to add; `code` the system's
// code behind it, empty when no system call failed.
struct Failure {
  int message_id = 0;
  std::string details;
  SystemCode code;

  Failure() = default;
  Failure(int id, std::string words, SystemCode system_code = {})
      : message_id(id), details(std::move(words)), code(system_code) {}
};

}  // namespace tavi
