#include "core/operations/safety_copy.h"

#include <filesystem>
#include <system_error>

#include "core/connection/printer_connection.h"
#include "core/journal/journal_record.h"
#include "core/operations/get_parameters.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"

namespace tavi {
namespace {

// Answers the save dialog of Get Parameters with the safety copy's path.
class FixedChooser final : public FileChooser {
 public:
  explicit FixedChooser(std::string path) : path_(std::move(path)) {}
  std::string AskOpenFile(FileKind) override { return {}; }
  std::string AskSaveFile(FileKind) override { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::string SafetyCopyName(std::string_view printer, std::string_view journal_time) {
  std::string name = "safety-copy-";
  for (char c : printer) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-';
    name += plain ? c : '_';
  }
  name += '-';
  for (char c : journal_time) {
    if (c != '-' && c != ':') name += c;
  }
  return name + ".prm";
}

FlowOutcome TakeSafetyCopy(PrinterConnection& connection, const std::string& folder,
                           std::string& path) {
  const PortSettings& settings = connection.settings();
  std::string printer = PortKindName(settings.port).value_or("port");
  if (settings.port == kPortNetwork && settings.host_sel >= 0 &&
      static_cast<std::size_t>(settings.host_sel) < settings.hosts.size()) {
    printer = settings.hosts[static_cast<std::size_t>(settings.host_sel)];
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder), ec);
  path = (std::filesystem::path(folder) / SafetyCopyName(printer, JournalTimeNow())).string();
  connection.trace().Event("file", "safety copy " + path);
  FixedChooser chooser(path);
  const FlowOutcome outcome = GetParametersFlow(connection, chooser);
  if (outcome == FlowOutcome::kSuccess) {
    connection.NoteFile(path, "safety-copy");
    return outcome;
  }
  // A cancel is no failure: nothing more is said.
  if (connection.progress().IsCancelled()) return FlowOutcome::kCancelled;
  connection.messages().ShowMessage(kIdsSafetyCopyFailed);
  return FlowOutcome::kFailed;
}

}  // namespace tavi
