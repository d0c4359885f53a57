// The failure message that offers the trace of the operation: the warning icon, the message
// with its details below it, OK and "Save Trace...". Escape and the close box answer as OK does.
#pragma once

#include <string>
#include <string_view>

#include "frontends/win32/native_dialog.h"

namespace tavi::win {

// The entry that saves the wire trace of the last operation.
inline constexpr std::string_view kSaveTraceText = "Save Trace...";
// The message's text label: the id the system's message box gives its own.
inline constexpr int kIdMessageText = 0xFFFF;
inline constexpr int kIdSaveTrace = 0x7F10;

class TraceMessageWindow final : public NativeDialog {
 public:
  explicit TraceMessageWindow(std::string text);

  // True when the window was closed with "Save Trace...".
  bool Run(HWND owner);

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;

 private:
  // Grows the window so that the whole text shows, the buttons below it.
  void FitText();

  std::string text_;
};

}  // namespace tavi::win
