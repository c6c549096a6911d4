#include "common/job.h"

#include <utility>

namespace common {

int32_t JobResult::Count(ItemProblem::Kind kind) const {
  int32_t n = 0;
  for (const ItemProblem& p : problems) n += p.kind == kind;
  return n;
}

int32_t JobResult::untried() const {
  const int32_t range = last >= first ? last - first + 1 : 0;
  const int32_t tried = done + static_cast<int32_t>(problems.size());
  return range > tried ? range - tried : 0;
}

bool JobResult::complete() const {
  return started && status.ok() && flushed.ok() && !stopped && problems.empty() && untried() == 0;
}

Outcome OutcomeOf(const JobResult& result) {
  if (result.stopped) return Outcome::kStopped;
  if (!result.started || !result.status.ok() || !result.flushed.ok()) return Outcome::kFailed;
  const bool anyItems = result.last >= result.first;
  if (anyItems && result.done == 0) return Outcome::kFailed;
  if (!result.problems.empty() || result.untried() > 0) return Outcome::kSkipped;
  return Outcome::kCompleted;
}

JobRun::JobRun(JobEvents& events, std::string job, int32_t first, int32_t last)
    : events_(events), begun_(std::chrono::steady_clock::now()) {
  result_.job = std::move(job);
  result_.first = first;
  result_.last = last;
}

void JobRun::Start() {
  if (result_.started) return;
  result_.started = true;
  events_.Started(result_);
}

void JobRun::Done(int32_t item) {
  ++result_.done;
  events_.ItemDone(item);
}

void JobRun::Problem(common::ItemProblem problem) {
  events_.ItemProblem(problem);
  result_.problems.push_back(std::move(problem));
}

void JobRun::Note(ItemNote note) {
  events_.ItemNoted(note);
  result_.notes.push_back(std::move(note));
}

bool JobRun::StopNow() {
  if (!events_.StopRequested()) return false;
  result_.stopped = true;
  return true;
}

JobResult JobRun::Finish() {
  result_.elapsed = std::chrono::steady_clock::now() - begun_;
  events_.Finished(result_);
  return result_;
}

}  // namespace common
