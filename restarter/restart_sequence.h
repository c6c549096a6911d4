// The restart itself, with no window: the check that server.exe is there,
// then three waits (to the announcement, to the start, to the end). The
// window shows its steps in a label, the command line prints them; both run
// this one sequence on the event loop of whichever application exists.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "common/job.h"
#include "common/message_port.h"
#include "restarter/restart_lock.h"
#include "restarter/server_launcher.h"

namespace ruvane {

// The timer intervals, in milliseconds.
struct Intervals {
  int wait = 35000;     // from load to the announcement
  int activate = 3000;  // from the announcement to the start
  int end = 5000;       // from the start to the end of the program
};

// What the window's label says before and after the announcement.
inline constexpr char kStatusPreparing[] = "Preparing to restart the server...";
inline constexpr char kStatusRestarting[] = "Restarting the server...";

// Said beside the start when the journal could not be written.
inline constexpr char kJournalWarning[] = "Warning: the journal of changes was not written";

enum class Step { kAnnounced, kStarted };

// How a restart ended. Its one item is the server's start: done when the
// server was started (`server` its process id), a problem when it could
// not be or must not be (still running, missing), not tried when the
// window was closed first (`job.stopped`) or another restart held the
// folder (`job.started` false).
struct RestartResult {
  common::JobResult job;
  pid_t server = 0;
  // Why the start could not be written to the server folder's journal; a
  // warning only, the server runs all the same.
  common::Status journal;
};

// The program's exit status for a restart that ended so: 0 when the server
// was started or the operator closed the window first, 1 otherwise.
int ExitCodeOf(const RestartResult& result);

class RestartSequence {
 public:
  struct Hooks {
    common::MessagePort* messages;
    ServerStarter* starter;
    // Each step as it is reached.
    std::function<void(Step)> step;
    // The end of the program, with how the restart ended; called once.
    std::function<void(const RestartResult&)> end;
  };

  // The timers (tmrWait, tmrActivate, tmrEnd) become children of `owner`;
  // tmrWait counts from here on.
  RestartSequence(QObject* owner, Intervals intervals, Hooks hooks);

  // The start-up check, then the folder's restart lock, held until the
  // program ends. Returns false when server.exe is missing or another
  // restart holds the lock: the box has been shown and the program ended
  // with status 1.
  bool Load();
  // Timer handlers; each does nothing once the program has ended.
  void OnWait();
  void OnActivate();
  void OnEnd();
  // The program is closing: it ends at once (status 0) unless it has.
  void Unload();
  bool ended() const { return ended_; }
  const RestartResult& result() const { return result_; }

 private:
  void StopTimers();
  // Stops every timer so no later tick can act, then ends the program with
  // the result so far.
  void EndProgram();
  // The start failed or was refused for `why`: said in a box by the caller.
  void Failed(common::Status why);

  Hooks hooks_;
  FolderLock lock_;
  QTimer* wait_;
  QTimer* activate_;
  QTimer* end_;
  bool ended_ = false;
  RestartResult result_;
  std::chrono::steady_clock::time_point begun_ = std::chrono::steady_clock::now();
};

}  // namespace ruvane
