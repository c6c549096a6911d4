#include "restarter/restart_sequence.h"

#include <cerrno>

#include "common/program_folder.h"
#include "common/qt/journal.h"
#include "common/server_process.h"
#include "restarter/startup_check.h"

namespace ruvane {

namespace {

QTimer* MakeTimer(QObject* owner, const char* name, int interval) {
  auto* timer = new QTimer(owner);
  timer->setObjectName(name);
  timer->setInterval(interval);
  // A coarse timer may fire up to 5% early (1.75 s on the 35 s wait); each
  // step of the restart must come no sooner than its interval.
  timer->setTimerType(Qt::PreciseTimer);
  return timer;
}

}  // namespace

int ExitCodeOf(const RestartResult& result) {
  const common::JobResult& job = result.job;
  if (job.done == 1) return 0;
  // Closed by the operator before the start: a restart called off, not a
  // failure.
  return job.started && job.stopped && job.problems.empty() ? 0 : 1;
}

RestartSequence::RestartSequence(QObject* owner, Intervals intervals, Hooks hooks)
    : hooks_(std::move(hooks)) {
  result_.job.job = "restart";
  result_.job.first = result_.job.last = 1;
  wait_ = MakeTimer(owner, "tmrWait", intervals.wait);
  activate_ = MakeTimer(owner, "tmrActivate", intervals.activate);
  end_ = MakeTimer(owner, "tmrEnd", intervals.end);
  QObject::connect(wait_, &QTimer::timeout, owner, [this] { OnWait(); });
  QObject::connect(activate_, &QTimer::timeout, owner, [this] { OnActivate(); });
  QObject::connect(end_, &QTimer::timeout, owner, [this] { OnEnd(); });
  wait_->start();
}

bool RestartSequence::Load() {
  // Nothing may tick while the box waits for the user: a failed check starts
  // no server, however long the box stays open.
  wait_->stop();
  if (!CheckServerPresent(*hooks_.messages)) {
    result_.job.status = common::Status::NotFound(kServerMissingPrompt);
    EndProgram();
    return false;
  }
  if (const common::Status s = lock_.Take(common::ProgramFolder()); !s.ok()) {
    hooks_.messages->Show(s.sysError() == EWOULDBLOCK ? std::string(kRestartUnderWay) : s.message(),
                          kProgramTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    result_.job.status =
        s.sysError() == EWOULDBLOCK ? common::Status::Aborted(kRestartUnderWay) : s;
    EndProgram();
    return false;
  }
  result_.job.started = true;
  wait_->start();
  return true;
}

void RestartSequence::OnWait() {
  if (ended_) return;
  // tmrWait stays enabled; its next tick would come after the program ended.
  activate_->start();
  hooks_.step(Step::kAnnounced);
}

void RestartSequence::OnActivate() {
  if (ended_) return;
  // Two servers on the same data lose each other's saves: the old one must
  // have ended by now.
  if (const std::vector<common::ServerProcess> running = common::FindRunningServer();
      !running.empty()) {
    ended_ = true;
    StopTimers();
    const std::string why =
        std::string(kServerStillRunning) + "\n(" + common::DescribeServerProcesses(running) + ")";
    hooks_.messages->Show(why, kProgramTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    Failed(common::Status::Aborted(why));
    return;
  }
  const common::Status started = hooks_.starter->StartServer();
  if (!started.ok()) {
    // No tick may start anything while the report waits for the user.
    ended_ = true;
    StopTimers();
    ReportStartError(*hooks_.messages, started);
    Failed(started);
    return;
  }
  ++result_.job.done;
  result_.server = hooks_.starter->started();
  common::JournalEntry entry;
  entry.action = "start";
  entry.what = "server.exe";
  entry.pid = result_.server;
  if (const std::string as = hooks_.starter->runsAs(); !as.empty()) {
    entry.notes.push_back("runs as " + as);
  }
  entry.outcome = "completed";
  result_.journal = common::AppendJournal(common::ServerFolder::Program(), entry);
  end_->start();
  activate_->stop();
  hooks_.step(Step::kStarted);
}

void RestartSequence::OnEnd() {
  if (ended_) return;
  EndProgram();
}

void RestartSequence::Unload() {
  if (ended_) return;
  // Closed before the start: called off.
  result_.job.stopped = result_.job.done == 0;
  EndProgram();
}

void RestartSequence::Failed(common::Status why) {
  result_.job.problems.push_back({1, "server.exe", why, common::ItemProblem::Kind::kFailed});
  EndProgram();
}

void RestartSequence::StopTimers() {
  wait_->stop();
  activate_->stop();
  end_->stop();
}

void RestartSequence::EndProgram() {
  ended_ = true;
  StopTimers();
  lock_.Release();
  result_.job.elapsed = std::chrono::steady_clock::now() - begun_;
  hooks_.end(result_);
}

}  // namespace ruvane
