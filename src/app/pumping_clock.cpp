#include "app/pumping_clock.h"

#include <QCoreApplication>
#include <algorithm>

namespace tavi {

void PumpingClock::Sleep(int ms) {
  if (ms <= 0) return;
  const std::int64_t deadline = steady_.NowMs() + ms;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const std::int64_t left = deadline - steady_.NowMs();
    if (left <= 0) return;
    steady_.Sleep(static_cast<int>(std::min<std::int64_t>(left, kSliceMs)));
  }
}

}  // namespace tavi
