#include "core/operations/command_runner.h"

#include <utility>

#include "core/operations/operation_trace.h"

namespace tavi {
namespace {

// Busy from construction to destruction, the commands disabled meanwhile.
class BusyScope {
 public:
  BusyScope(bool& busy, const std::function<void(bool)>& enable) : busy_(busy), enable_(enable) {
    busy_ = true;
    if (enable_) enable_(false);
  }
  ~BusyScope() {
    busy_ = false;
    if (enable_) enable_(true);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
  const std::function<void(bool)>& enable_;
};

}  // namespace

CommandRunner::CommandRunner(PrinterConnection& connection, std::string version, Hooks hooks)
    : connection_(connection), version_(std::move(version)), hooks_(std::move(hooks)) {}

bool CommandRunner::Run(Operation operation, const std::function<void()>& body) {
  if (busy_) return false;
  const OperationNames& names = NamesOf(operation);
  {
    BusyScope scope(busy_, hooks_.enable_commands);
    if (trace_memory_ != nullptr) {
      StartOperationTrace(connection_, *trace_memory_, version_, names.trace);
    }
    body();
    EndOperationTrace(connection_);
  }
  if (hooks_.focus) hooks_.focus(names.button);
  if (close_held_) {
    close_held_ = false;
    if (hooks_.end) hooks_.end(held_result_);
  }
  return true;
}

void CommandRunner::Close(int result) {
  if (busy_) {
    close_held_ = true;
    held_result_ = result;
    return;
  }
  if (hooks_.end) hooks_.end(result);
}

}  // namespace tavi
