#include "restarter/restart_sequence.h"

#include <cerrno>

#include "common/program_folder.h"
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

RestartSequence::RestartSequence(QObject* owner, Intervals intervals, Hooks hooks)
    : hooks_(std::move(hooks)) {
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
    EndProgram(1);
    return false;
  }
  if (const common::Status s = lock_.Take(common::ProgramFolder()); !s.ok()) {
    hooks_.messages->Show(s.sysError() == EWOULDBLOCK ? std::string(kRestartUnderWay) : s.message(),
                          kProgramTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    EndProgram(1);
    return false;
  }
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
    hooks_.messages->Show(
        std::string(kServerStillRunning) + "\n(" + common::DescribeServerProcesses(running) + ")",
        kProgramTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    EndProgram(1);
    return;
  }
  const common::Status result = hooks_.starter->StartServer();
  if (!result.ok()) {
    // No tick may start anything while the report waits for the user.
    ended_ = true;
    StopTimers();
    ReportStartError(*hooks_.messages, result);
    EndProgram(1);
    return;
  }
  end_->start();
  activate_->stop();
  hooks_.step(Step::kStarted);
}

void RestartSequence::OnEnd() {
  if (ended_) return;
  EndProgram(0);
}

void RestartSequence::Unload() {
  if (ended_) return;
  EndProgram(0);
}

void RestartSequence::StopTimers() {
  wait_->stop();
  activate_->stop();
  end_->stop();
}

void RestartSequence::EndProgram(int code) {
  ended_ = true;
  StopTimers();
  lock_.Release();
  hooks_.end(code);
}

}  // namespace ruvane
