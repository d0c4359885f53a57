// The desktop program's clock on Windows: a fixed wait sleeps in short slices that wake at once
// for any window message, and runs the pending messages between them, so the windows stay alive
// and Cancel is seen within a slice (kPumpSliceMs).
#pragma once

#include "core/ui/seams.h"

namespace tavi::win {

class PumpingClock final : public Clock {
 public:
  void Sleep(int ms) override;
  std::int64_t NowMs() override { return steady_.NowMs(); }

 private:
  SteadyClock steady_;
};

}  // namespace tavi::win
