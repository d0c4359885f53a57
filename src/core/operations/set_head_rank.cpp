#include "core/operations/set_head_rank.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/connection/printer_connection.h"
#include "core/files/head_rank.h"
#include "core/operations/flow_files.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"

namespace tavi {
namespace {

// A head rank file is judged by its first 65,536 bytes.
constexpr std::size_t kHeadRankFileLimit = 65536;

}  // namespace

FlowOutcome ReferenceHeadRankFlow(HeadRankFields& fields, FileChooser& chooser, Messages& messages,
                                  ProgressDialog* progress) {
  const std::string path = chooser.AskOpenFile(FileKind::kHeadRankFile);
  if (path.empty()) return FlowOutcome::kCancelled;
  std::vector<std::byte> bytes;
  FileError error;
  {
    ReadWatch watch(progress, nullptr);
    if (!ReadFileLimited(path, kHeadRankFileLimit, bytes, error, watch.Check())) {
      return ReadFailed(error, messages);
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  switch (LoadHeadRankText(text, fields)) {
    case HeadRankLoad::kApplied:
      return FlowOutcome::kSuccess;
    case HeadRankLoad::kNoLine:
      return FlowOutcome::kNothingFound;
    case HeadRankLoad::kIllegal:
      break;
  }
  messages.ShowMessage(kIdsIllegalHeadRankFile);
  return FlowOutcome::kIllegalInput;
}

FlowOutcome SetTypedHeadRankFlow(PrinterConnection& connection, int head_index,
                                 const HeadRankFields& fields) {
  const std::optional<std::string> head_rank = TypedHeadRankString(fields);
  if (!head_rank) {
    connection.messages().ShowMessage(kIdsIllegalHeadRankFile);
    return FlowOutcome::kIllegalInput;
  }
  return SetHeadRank(connection, head_index, *head_rank) ? FlowOutcome::kSuccess
                                                         : FlowOutcome::kFailed;
}

}  // namespace tavi
