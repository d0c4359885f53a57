// Messages that are also written to a trace: every message and file error shown, one line each,
// so that a trace saved after a refusal ("Illegal Parameter File.", a file that cannot be read)
// says what was refused and why.
#pragma once

#include <string_view>

#include "core/trace/trace.h"
#include "core/ui/seams.h"

namespace tavi {

class TracedMessages final : public Messages {
 public:
  // `inner` shows the messages; `trace` is read at each message, so it follows its owner's
  // changes. Both outlive this object.
  TracedMessages(Messages& inner, const Trace& trace) : inner_(inner), trace_(trace) {}

  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;
  void NoteCancelled(int id, std::string_view details) override {
    inner_.NoteCancelled(id, details);
  }

 private:
  Messages& inner_;
  const Trace& trace_;
};

}  // namespace tavi
