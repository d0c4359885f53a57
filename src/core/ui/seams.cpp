#include "core/ui/seams.h"

#include <chrono>
#include <thread>

namespace tavi {

void SteadyClock::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t SteadyClock::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string FileErrorText(const FileError& error) {
  const char* verb = "open";
  switch (error.op) {
    case FileError::Op::kOpen:
      verb = "open";
      break;
    case FileError::Op::kCreate:
      verb = "create";
      break;
    case FileError::Op::kRead:
      verb = "read";
      break;
    case FileError::Op::kWrite:
      verb = "write";
      break;
  }
  std::string text = "Could not ";
  text += verb;
  text += ' ';
  text += error.path;
  if (!error.cause.empty()) {
    text += ": ";
    text += error.cause;
  }
  text += '.';
  return text;
}

}  // namespace tavi
