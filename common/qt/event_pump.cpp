#include "common/qt/event_pump.h"

#include <QCoreApplication>

namespace common {

void EventPump::PumpWhenDue() {
  const auto now = std::chrono::steady_clock::now();
  if (!due_ && now - last_ < kInterval) return;
  due_ = false;
  if (deferred_) deferred_->setUpdatesEnabled(true);  // schedules its paint
  QCoreApplication::processEvents();
  if (deferred_) deferred_->setUpdatesEnabled(false);
  // Counted from the end of the run: a slow redraw does not make the next
  // one due at once.
  last_ = std::chrono::steady_clock::now();
}

void EventPump::Restart(QWidget* paintedWhenDue) {
  End();
  due_ = true;
  deferred_ = paintedWhenDue;
  if (deferred_) deferred_->setUpdatesEnabled(false);
}

void EventPump::End() {
  if (deferred_) deferred_->setUpdatesEnabled(true);
  deferred_ = nullptr;
}

}  // namespace common
