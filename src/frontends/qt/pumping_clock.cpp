#include "frontends/qt/pumping_clock.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

namespace tavi {

void PumpingClock::Sleep(int ms) {
  if (ms <= 0) return;
  // The deadline is kept at the clock's full resolution, so the wait is never cut short by the
  // rounding of whole milliseconds.
  using std::chrono::steady_clock;
  const steady_clock::time_point deadline = steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const steady_clock::duration left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return;
    std::this_thread::sleep_for(
        std::min<steady_clock::duration>(left, std::chrono::milliseconds(kSliceMs)));
  }
}

}  // namespace tavi
