#include "common/cli/job_console.h"

#include <signal.h>

#include <csignal>
#include <cstdio>

#include "common/cli/command_line.h"
#include "common/text_util.h"

namespace common::cli {

namespace {

volatile std::sig_atomic_t gSignal = 0;

void OnSignal(int sig) {
  if (gSignal == sig) {
    // Asked twice: the operator wants out now.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  gSignal = sig;
}

std::string Counted(int32_t n, const ItemWords& w) {
  return Dec(n) + " " + (n == 1 ? w.one : w.many);
}

}  // namespace

void Interrupts::Watch() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool Interrupts::Requested() { return gSignal != 0; }

int Interrupts::Signal() { return gSignal; }

int ExitStatusOf(const std::vector<JobResult>& results) {
  if (Interrupts::Requested()) return 128 + Interrupts::Signal();
  bool failed = false, skipped = false;
  for (const JobResult& r : results) {
    switch (OutcomeOf(r)) {
      case Outcome::kCompleted:
        break;
      case Outcome::kSkipped:
        skipped = true;
        break;
      case Outcome::kFailed:
      case Outcome::kStopped:
        failed = true;
        break;
    }
  }
  if (failed) return kExitFailed;
  return skipped ? kExitSkipped : kExitDone;
}

std::string Summary(const std::string& label, const JobResult& r, const ItemWords& w) {
  std::string s = label + ": ";
  if (!r.started) {
    s += "not started";
    if (!r.status.ok()) s += ": " + r.status.message();
    return s;
  }
  s += Counted(r.done, w) + " " + w.done;
  if (r.blank > 0) s += ", " + Dec(r.blank) + " " + w.blank;
  if (r.skipped() > 0) s += ", " + Dec(r.skipped()) + " skipped";
  if (r.failed() > 0) s += ", " + Dec(r.failed()) + " failed";
  s += ", in " + Duration(r.elapsed);
  if (r.stopped || r.untried() > 0) {
    const int32_t next = r.first + r.done + static_cast<int32_t>(r.problems.size());
    s += std::string(r.stopped ? "; stopped" : "; ended") + " before " + w.one + " " + Dec(next) +
         ": " + Dec(next) + " to " + Dec(r.last) + " not done";
  }
  if (!r.status.ok() && r.started) s += " (" + r.status.message() + ")";
  if (!r.flushed.ok()) s += "; not flushed to disk: " + r.flushed.message();
  return s;
}

ConsoleJob::ConsoleJob(bool quiet, ItemWords words)
    : quiet_(quiet), words_(words), progress_(quiet) {}

void ConsoleJob::Started(const JobResult& result) {
  count_ = 0;
  total_ = result.last >= result.first ? result.last - result.first + 1 : 0;
  progress_.Begin(label_);
}

void ConsoleJob::ItemDone(int32_t) { progress_.Update(++count_, total_); }

void ConsoleJob::ItemProblem(const common::ItemProblem&) { progress_.Update(++count_, total_); }

void ConsoleJob::Finished(const JobResult& result) {
  const std::string summary = Summary(label_, result, words_);
  const bool mustSay = OutcomeOf(result) == Outcome::kStopped || OutcomeOf(result) == Outcome::kFailed;
  if (progress_.open()) {
    progress_.Finish(summary);
    if (!quiet_ || !mustSay) return;
  } else if (quiet_ && !mustSay) {
    return;
  }
  PrintErr(summary);
}

void ConsoleJob::PrintTotal(const std::vector<JobResult>& results) const {
  if (results.size() < 2 || quiet_) return;
  JobResult all;
  all.started = true;
  int32_t done = 0, skipped = 0, failed = 0, blank = 0;
  std::chrono::steady_clock::duration elapsed{};
  for (const JobResult& r : results) {
    done += r.done;
    blank += r.blank;
    skipped += r.skipped();
    failed += r.failed();
    elapsed += r.elapsed;
  }
  std::string s = "All: " + Dec(static_cast<long long>(results.size())) + " jobs, " +
                  Counted(done, words_) + " " + words_.done;
  if (blank > 0) s += ", " + Dec(blank) + " blank";
  if (skipped > 0) s += ", " + Dec(skipped) + " skipped";
  if (failed > 0) s += ", " + Dec(failed) + " failed";
  s += ", in " + Duration(elapsed);
  PrintErr(s);
}

}  // namespace common::cli
