// Progress of a command's job on standard error, for an operator watching a
// terminal or reading a log later.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace common::cli {

// On a terminal one line per job, redrawn in place at most every 50 ms with
// the count, a bar, the rate, the time elapsed and the time left; in a log
// (standard error not a terminal) a line at every tenth with the clock time.
// Each job ends with a line of its own (its counts and time). Prints nothing
// when quiet.
class ProgressLine {
 public:
  explicit ProgressLine(bool quiet);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // A new job called `label` ("Items"); its clock starts.
  void Begin(const std::string& label);
  void Update(int32_t done, int32_t total);
  // Ends the job's line with "<label>: <done>/<total> <outcome>".
  void End(const std::string& outcome);
  // Ends the job's line with `summary` (its counts and time), which
  // replaces the drawn line.
  void Finish(const std::string& summary);
  // A message about the job (a record it left out) on a line of its own,
  // above the progress line, which is drawn again below it. Printed even
  // when quiet: it is no progress.
  void Note(const std::string& text);
  bool open() const { return open_; }

 private:
  void Draw();
  bool quiet_;
  bool terminal_;
  std::string label_;
  int32_t done_ = 0, total_ = 0;
  int lastTenth_ = -1;
  std::chrono::steady_clock::time_point begun_{}, lastDraw_{};
  bool open_ = false;
};

// "1.23 s", "2 min 05 s": a duration as the progress and summaries show it.
std::string Duration(std::chrono::steady_clock::duration d);

// A single-byte text (the server's bytes) as the terminal shows it, every
// control escaped (common/visible_text.h).
std::string Shown(const std::string& text);

}  // namespace common::cli
