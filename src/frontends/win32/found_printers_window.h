// The list of printers that Find... found, one line each; the person picks one (OK or a double
// click) or none (Cancel). Only Select Port opens it.
#pragma once

#include <vector>

#include "core/discovery/answers.h"
#include "frontends/win32/native_dialog.h"

namespace tavi::win {

inline constexpr int kIdFoundList = 0x7F20;

class FoundPrintersWindow final : public NativeDialog {
 public:
  explicit FoundPrintersWindow(std::vector<discovery::FoundHost> hosts);

  // Runs the window modally over `owner`: the host picked, or null when none was.
  const discovery::FoundHost* Pick(HWND owner);

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;

 private:
  std::vector<discovery::FoundHost> hosts_;
  int picked_ = -1;
};

}  // namespace tavi::win
