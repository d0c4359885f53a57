#include "core/failure/failure.h"

#include <cerrno>

namespace tavi {
namespace {

constexpr std::int64_t kWin32AccessDenied = 5;
constexpr std::int64_t kWinsockAccess = 10013;

}  // namespace

bool DeniesAccess(SystemCode code) {
  switch (code.space) {
    case CodeSpace::kErrno:
      return code.value == EACCES || code.value == EPERM;
    case CodeSpace::kWin32:
      return code.value == kWin32AccessDenied;
    case CodeSpace::kWinsock:
      return code.value == kWinsockAccess;
    case CodeSpace::kNone:
      break;
  }
  return false;
}

}  // namespace tavi
