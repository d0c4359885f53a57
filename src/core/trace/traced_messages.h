// Messages that are also written to a trace: every message and file error shown, one line each,
// so that a trace saved after a refusal ("Illegal Parameter File.", a file that cannot be read)
// says what was refused and why.
#pragma once

#include <optional>
#include <string>
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
    cancelled_ = true;
    inner_.NoteCancelled(id, details);
  }

  // The last message shown since Forget(): its id (none for a file error), text and details.
  struct Said {
    std::optional<int> id;
    std::string text;
    std::string details;
  };
  [[nodiscard]] const std::optional<Said>& last() const { return last_; }
  // A step was cancelled since Forget().
  [[nodiscard]] bool cancelled() const { return cancelled_; }
  void Forget() {
    last_.reset();
    cancelled_ = false;
  }

 private:
  Messages& inner_;
  const Trace& trace_;
  std::optional<Said> last_;
  bool cancelled_ = false;
};

}  // namespace tavi
