// Message boxes titled "Tavi" with the string table's texts.
#pragma once

#include <functional>
#include <string_view>

#include "core/ui/seams.h"

class QWidget;

namespace tavi {

// The entry that saves the wire trace of the last operation, in failure messages and on the main
// dialog's context menu.
inline constexpr std::string_view kSaveTraceText = "Save Trace...";

class QtMessages : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  // The text of string `id`; `details` go to the box's details pane. A failure message offers
  // "Save Trace..." beside OK while `trace_available` says there is a trace.
  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;

  // `save` runs after the box closed with "Save Trace...".
  void OfferTrace(std::function<bool()> trace_available, std::function<void()> save) {
    trace_available_ = std::move(trace_available);
    save_trace_ = std::move(save);
  }

 private:
  QWidget* parent_;
  std::function<bool()> trace_available_;
  std::function<void()> save_trace_;
};

}  // namespace tavi
