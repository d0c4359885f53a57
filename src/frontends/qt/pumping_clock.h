// The desktop program's clock: it waits in short slices and runs pending window events between
// them, so the windows never freeze during a fixed wait and Cancel is seen within one slice.
#pragma once

#include "core/ui/seams.h"

namespace tavi {

class PumpingClock final : public Clock {
 public:
  // The longest stretch without running events.
  static constexpr int kSliceMs = kPumpSliceMs;

  void Sleep(int ms) override;
  std::int64_t NowMs() override { return steady_.NowMs(); }

 private:
  SteadyClock steady_;
};

}  // namespace tavi
