#include "frontends/win32/win_clock.h"

#include "frontends/win32/win_api.h"

#include <algorithm>
#include <chrono>

#include "frontends/win32/message_pump.h"

namespace tavi::win {

void PumpingClock::Sleep(int ms) {
  if (ms <= 0) return;
  using std::chrono::steady_clock;
  const steady_clock::time_point deadline = steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    PumpPendingMessages(false);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) {
      if (steady_clock::now() >= deadline) return;
      continue;  // less than a millisecond left
    }
    const DWORD slice = static_cast<DWORD>(std::min<long long>(left.count(), kPumpSliceMs));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
  }
}

}  // namespace tavi::win
