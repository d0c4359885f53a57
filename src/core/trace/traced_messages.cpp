#include "core/trace/traced_messages.h"

#include <string>

#include "core/resources/strings.h"

namespace tavi {

void TracedMessages::ShowMessage(int id, std::string_view details) {
  if (trace_.on()) {
    std::string line = "message " + std::to_string(id) + " \"" + std::string(LoadString(id)) + "\"";
    if (!details.empty()) line += ": " + PrintableText(details);
    trace_.Event("msg", line);
  }
  last_ = Said{id, std::string(LoadString(id)), std::string(details)};
  inner_.ShowMessage(id, details);
}

void TracedMessages::ShowFileError(const FileError& error) {
  if (trace_.on()) trace_.Event("msg", "file error: " + PrintableText(FileErrorText(error)));
  last_ = Said{std::nullopt, FileErrorText(error), {}};
  inner_.ShowFileError(error);
}

}  // namespace tavi
