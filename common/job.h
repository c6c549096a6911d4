// Jobs: what every job of the tools reports while it runs and what it
// returns when it ends.
//
// A job (a conversion, the map job, the listing, the view, find, the wipe,
// the backup, the restart) works on files and plain values. It tells its
// caller what happens through JobEvents, as it happens, and returns a
// JobResult. The window turns these into its captions, bar and boxes; the
// command line into text, JSON and an exit status; the tests into checks.
// Nobody reads a caption or an icon to learn what a job did.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace common {

// One item a job did not do, and why. Items are what a job counts: record
// or map numbers, or for the accounts their list position + 1.
struct ItemProblem {
  enum class Kind {
    kSkipped,  // left out on purpose (a value that does not fit, a file the
               // tools refuse to touch, an account changed by the server)
    kFailed,   // the system failed it (a write that failed, a full disk)
  };
  int32_t item = 0;
  std::string name;  // how the operator knows it (a file, an account); may be ""
  Status why;
  Kind kind = Kind::kSkipped;
};

// Something worth knowing about an item that was done all the same (a
// legacy map shorter than its layout, padded with zeros).
struct ItemNote {
  int32_t item = 0;
  std::string name;  // how the operator knows it (a file)
  std::string what;  // what was found and what was done about it
};

struct JobResult {
  std::string job;  // what ran: "items", "maps", "wipe", "backup", ...
  int32_t first = 1, last = 0;  // the range of items it was to cover
  bool started = false;  // false: it ended before its first item (see status)
  int32_t done = 0;      // items done (written, or read for a reading job)
  std::vector<ItemProblem> problems;  // items not done, in order
  // Of the items done, those made from nothing: a record whose section the
  // source lacks, a map with no legacy file (each written all blank).
  int32_t blank = 0;
  std::vector<ItemNote> notes;  // items done, with something to say, in order
  // Stopped on request (the window closed, an interrupt) before its last
  // item; the items after the one at hand were not tried.
  bool stopped = false;
  // Why the job did not start (a source missing, a maximum refused, the
  // server running, the operator's No) or did not finish (the map at which
  // it stopped); OK otherwise.
  Status status;
  // The flush that ends a writing job; OK when it was made, or when there
  // was nothing to flush. A job is on disk only when this is OK.
  Status flushed;
  std::chrono::steady_clock::duration elapsed{};

  int32_t Count(ItemProblem::Kind kind) const;
  int32_t skipped() const { return Count(ItemProblem::Kind::kSkipped); }
  int32_t failed() const { return Count(ItemProblem::Kind::kFailed); }
  // Items of the range not tried (the job stopped or failed before them).
  int32_t untried() const;
  // True when the job did every item of its range, none left out, and is
  // on disk.
  bool complete() const;
};

// How a job ended, in the fewest words a caller acts on.
enum class Outcome {
  kCompleted,  // every item done and on disk
  kSkipped,    // done, but some items were left out (named in problems)
  kFailed,     // not started, stopped at an item, not flushed, or nothing done
  kStopped,    // stopped on request
};
// A job whose range held items and that did none of them failed, however
// it ended.
Outcome OutcomeOf(const JobResult& result);

// What a job tells its caller as it runs. Every method has a default that
// does nothing, so a caller overrides what it shows.
class JobEvents {
 public:
  virtual ~JobEvents() = default;
  // The job begins its items: result.job, first and last are set.
  virtual void Started(const JobResult& result) { static_cast<void>(result); }
  // Before each item: the window lets its event loop run once here.
  virtual void BeforeItem(int32_t item) { static_cast<void>(item); }
  // Item `item` is done.
  virtual void ItemDone(int32_t item) { static_cast<void>(item); }
  // An item was not done; the job goes on with the next (or stops, then
  // Finished tells).
  virtual void ItemProblem(const common::ItemProblem& problem) {
    static_cast<void>(problem);
  }
  // Item `note.item` was done, with something to say about it.
  virtual void ItemNoted(const ItemNote& note) { static_cast<void>(note); }
  // Asked after each item but the last: true stops the job there.
  virtual bool StopRequested() { return false; }
  // The job has ended; `result` is what it returns.
  virtual void Finished(const JobResult& result) { static_cast<void>(result); }
};

// Measures a job's time and keeps its result and its events in step: the
// jobs use it so that a count and its event can never disagree.
class JobRun {
 public:
  JobRun(JobEvents& events, std::string job, int32_t first, int32_t last);
  JobResult& result() { return result_; }
  JobEvents& events() { return events_; }
  // Tells Started (once).
  void Start();
  void Before(int32_t item) { events_.BeforeItem(item); }
  void Done(int32_t item);
  void Problem(common::ItemProblem problem);
  // Before Done(note.item).
  void Note(ItemNote note);
  // True (and the result marked stopped) when the caller asked to stop.
  bool StopNow();
  // Sets the elapsed time, tells Finished, returns the result.
  JobResult Finish();

 private:
  JobEvents& events_;
  JobResult result_;
  std::chrono::steady_clock::time_point begun_;
};

}  // namespace common
