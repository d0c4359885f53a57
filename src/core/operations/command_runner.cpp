#include "core/operations/command_runner.h"

#include <chrono>
#include <utility>

#include "core/connection/printer_connection.h"
#include "core/journal/journal.h"
#include "core/journal/noting_chooser.h"
#include "core/operations/operation_trace.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "os/journal_file.h"

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

// The body's result: succeeded, failed, or not said.
constexpr int kSucceeded = 1;
constexpr int kNotSucceeded = 0;
constexpr int kUnsaid = -1;

bool CommandRunner::Run(Operation operation, const std::function<bool()>& body) {
  return RunJudged(operation, [&] { return body() ? kSucceeded : kNotSucceeded; });
}

bool CommandRunner::Run(Operation operation, const std::function<void()>& body) {
  return RunJudged(operation, [&] {
    body();
    return kUnsaid;
  });
}

bool CommandRunner::RunJudged(Operation operation, const std::function<int()>& body) {
  if (busy_) return false;
  const OperationNames& names = NamesOf(operation);
  {
    BusyScope scope(busy_, hooks_.enable_commands);
    if (trace_memory_ != nullptr) {
      StartOperationTrace(connection_, *trace_memory_, version_, names.trace);
    }
    connection_.said().Forget();
    if (chooser_ != nullptr) (void)chooser_->Take();
    (void)connection_.TakeNotedFiles();
    const auto start = std::chrono::steady_clock::now();
    const int result = body();
    EndOperationTrace(connection_);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Record(operation, result,
           std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }
  if (hooks_.focus) hooks_.focus(names.button);
  if (close_held_) {
    close_held_ = false;
    if (hooks_.end) hooks_.end(held_result_);
  }
  return true;
}

void CommandRunner::Record(Operation operation, int result, std::int64_t duration_ms) {
  if (journal_ == nullptr) return;
  const OperationNames& names = NamesOf(operation);
  const PortSettings& settings = connection_.settings();
  JournalRecord record;
  record.time = JournalTimeNow();
  record.program = std::string(kWindowProgramName);
  record.version = version_;
  record.user = CurrentUserName();
  record.port = PortKindName(settings.port).value_or("");
  if (settings.port == kPortNetwork && settings.host_sel >= 0 &&
      static_cast<std::size_t>(settings.host_sel) < settings.hosts.size()) {
    record.host = settings.hosts[static_cast<std::size_t>(settings.host_sel)];
  }
  record.family = settings.FamilyNumber();
  record.operation = std::string(names.json.empty() ? names.trace : names.json);
  const std::optional<TracedMessages::Said>& said = connection_.said().last();
  if (said) {
    record.message_id = said->id;
    record.message = said->text;
    record.details = said->details;
  }
  const bool done_said = said && said->id == kIdsDone;
  if (result == kSucceeded || (result == kUnsaid && (!said || done_said))) {
    record.outcome = "success";
  } else {
    // Nothing shown: a file chooser or the progress window was cancelled.
    record.outcome = said ? "failed" : "cancelled";
  }
  record.duration_ms = duration_ms;
  std::vector<std::pair<std::string, std::string>> files;
  if (chooser_ != nullptr) files = chooser_->Take();
  for (auto& noted : connection_.TakeNotedFiles()) files.push_back(std::move(noted));
  for (auto& [path, role] : files) record.files.push_back(DescribeFile(path, std::move(role)));
  (void)journal_->Append(record);
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
