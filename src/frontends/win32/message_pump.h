// Running the thread's pending window messages at the moments the program chooses: the progress
// window's PumpMessages and the clock's waits.
#pragma once

#include "frontends/win32/win_api.h"

namespace tavi::win {

// The two notification messages of a message-driven socket layer, at which a pump that serves a
// socket wait stops (leaving them queued).
inline constexpr UINT kSocketNotifyFirst = 0x0373;
inline constexpr UINT kSocketNotifySecond = 0x0374;

// Peeks at each pending message; with `stop_at_socket` a socket notification stays queued and
// ends the pump. Each message removed is offered to the keyboard handling of the dialog it is
// for (Tab, Escape, Return, Space on a button), else translated and dispatched. A WM_QUIT is put
// back and ends the pump.
void PumpPendingMessages(bool stop_at_socket);

}  // namespace tavi::win
