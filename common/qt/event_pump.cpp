#include "common/qt/event_pump.h"

#include <QCoreApplication>

namespace common {

void EventPump::PumpWhenDue() {
  const auto now = std::chrono::steady_clock::now();
  if (!due_ && now - last_ < kInterval) return;
  due_ = false;
  QCoreApplication::processEvents();
  // Counted from the end of the run: a slow redraw does not make the next
  // one due at once.
  last_ = std::chrono::steady_clock::now();
}

}  // namespace common
