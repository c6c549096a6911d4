// A job's events and result on a console: its progress line, the summary
// that ends it, an interrupt that stops it between two items, and the exit
// status its result comes to.
#pragma once

#include <string>
#include <vector>

#include "common/cli/command_line.h"
#include "common/cli/progress_line.h"
#include "common/job.h"

namespace common::cli {

// SIGINT and SIGTERM stop a command's job after the item at hand, instead
// of ending the process in the middle of a write. Watch() installs the
// handlers; a second signal of the same kind ends the process at once, as
// an operator who presses Ctrl-C twice expects.
class Interrupts {
 public:
  static void Watch();
  static bool Requested();
  // The signal that asked, 0 when none did.
  static int Signal();
};

// The exit status of a command that ran `results`: 128 + the signal when an
// interrupt stopped it (130 for SIGINT, 143 for SIGTERM); otherwise 1 when
// any job failed, 3 when any left items out, 0 when all completed.
int ExitStatusOf(const std::vector<JobResult>& results);

// The words a summary uses for a job's items.
struct ItemWords {
  const char* one;   // "record"
  const char* many;  // "records"
  const char* done;  // "written", "wiped", "read"
  // After the count of items done blank: "blank (no section in the source)".
  const char* blank = "blank";
};

// "Items: 998 records written, 5 blank, 2 skipped, in 1.23 s" (and, when it stopped,
// at which item and what was not done; when it was not flushed, why).
std::string Summary(const std::string& label, const JobResult& result, const ItemWords& words);

// A job's events on the console: a progress line, ended with the job's
// summary, and StopRequested() answered by Interrupts. The summary of a job
// that stopped or failed is printed even when quiet: a script's log must
// say what was done and what was not. Keeps the totals over the jobs it
// has seen, for a command that runs several.
class ConsoleJob : public JobEvents {
 public:
  ConsoleJob(bool quiet, ItemWords words);
  // The next job's label ("Items").
  void Label(std::string label) { label_ = std::move(label); }

  void Started(const JobResult& result) override;
  void ItemDone(int32_t item) override;
  void ItemProblem(const common::ItemProblem& problem) override;
  bool StopRequested() override { return Interrupts::Requested(); }
  void Finished(const JobResult& result) override;

  // "All: 5 jobs, 4000 records written, 2 skipped, in 3.40 s" after several.
  void PrintTotal(const std::vector<JobResult>& results) const;

  // A line about the running job (ProgressLine::Note), printed even when
  // quiet.
  void Note(const std::string& text) { progress_.Note(text); }

 private:
  bool quiet_;
  ItemWords words_;
  std::string label_;
  ProgressLine progress_;
  int32_t count_ = 0, total_ = 0;
};

}  // namespace common::cli
