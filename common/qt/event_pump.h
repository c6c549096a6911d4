// Lets the event loop run from inside a long job when it is due, rather than
// at every step: running it costs far more than a record does, while a
// window redrawn and answering every 10 ms looks and feels the same.
#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

namespace common {

class EventPump {
 public:
  static constexpr std::chrono::milliseconds kInterval{10};

  // Runs the event loop once when kInterval has passed since it last ran
  // here, or when it has not run here since Restart.
  void PumpWhenDue();
  // The next PumpWhenDue runs the loop: a job's first step always does, so
  // that what was queued before the job is handled at once. Until End,
  // `paintedWhenDue` (if given) is painted only when the loop runs: a
  // progress bar repaints at once on every new value, which for a job of
  // 1000 small records costs as much as writing them. It is still set per
  // step; what it shows is at most kInterval old.
  void Restart(QWidget* paintedWhenDue = nullptr);
  // The job is over: the widget paints as usual again, its last value first.
  void End();

 private:
  QPointer<QWidget> deferred_;
  bool due_ = true;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace common
