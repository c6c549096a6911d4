#include "common/cli/progress_line.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "common/qt/ansi_text.h"
#include "common/text_util.h"
#include "common/visible_text.h"

namespace common::cli {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string ClockTime() {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char buf[16];
  strftime(buf, sizeof buf, "%H:%M:%S", &local);
  return buf;
}

}  // namespace

std::string Shown(const std::string& text) {
  return VisibleText(AnsiToQString(text)).toLocal8Bit().toStdString();
}

std::string Duration(Clock::duration d) {
  const double s = Seconds(d);
  char buf[32];
  if (s < 60) {
    std::snprintf(buf, sizeof buf, "%.2f s", s);
  } else {
    const long long whole = static_cast<long long>(s);
    std::snprintf(buf, sizeof buf, "%lld min %02lld s", whole / 60, whole % 60);
  }
  return buf;
}

ProgressLine::ProgressLine(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
  if (open_) End("stopped");
}

void ProgressLine::Begin(const std::string& label) {
  if (open_) End("stopped");
  label_ = Shown(label);
  done_ = total_ = 0;
  lastTenth_ = -1;
  begun_ = Clock::now();
  lastDraw_ = {};
  open_ = true;
}

void ProgressLine::Update(int32_t done, int32_t total) {
  done_ = done;
  total_ = total;
  Draw();
}

void ProgressLine::End(const std::string& outcome) {
  if (!open_) return;
  open_ = false;
  if (quiet_) return;
  const std::string line = label_ + ": " + Dec(done_) + "/" + Dec(total_) + " " + Shown(outcome);
  std::fprintf(stderr, terminal_ ? "\r\033[K%s\n" : "%s\n", line.c_str());
  std::fflush(stderr);
}

void ProgressLine::Finish(const std::string& summary) {
  if (!open_) return;
  open_ = false;
  if (quiet_) return;
  const std::string line = Shown(summary);
  std::fprintf(stderr, terminal_ ? "\r\033[K%s\n" : "%s\n", line.c_str());
  std::fflush(stderr);
}

void ProgressLine::Note(const std::string& text) {
  const std::string line = Shown(text);
  const bool drawn = terminal_ && open_ && !quiet_ && lastDraw_ != Clock::time_point{};
  std::fprintf(stderr, drawn ? "\r\033[K%s\n" : "%s\n", line.c_str());
  std::fflush(stderr);
  if (drawn) {
    lastDraw_ = {};
    Draw();
  }
}

void ProgressLine::Draw() {
  if (quiet_ || !open_ || total_ <= 0) return;
  const Clock::time_point now = Clock::now();
  const double elapsed = Seconds(now - begun_);
  const double rate = elapsed > 0 ? done_ / elapsed : 0;
  const int percent = static_cast<int>(int64_t{done_} * 100 / total_);
  if (!terminal_) {
    // A log gets a line at every tenth, with the time, not one per item.
    const int tenth = static_cast<int>(int64_t{done_} * 10 / total_);
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    std::fprintf(stderr, "%s %s: %d/%d (%d%%), %.0f/s, %s\n", ClockTime().c_str(),
                 label_.c_str(), done_, total_, percent, rate,
                 Duration(now - begun_).c_str());
    std::fflush(stderr);
    return;
  }
  // Redrawn at most every 50 ms: a terminal need not see each item.
  if (done_ != total_ && now - lastDraw_ < std::chrono::milliseconds(50)) return;
  lastDraw_ = now;
  constexpr int kWidth = 24;
  const int filled = static_cast<int>(int64_t{done_} * kWidth / total_);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::string left = "?";
  if (rate > 0) {
    left = Duration(std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>((total_ - done_) / rate)));
  }
  std::fprintf(stderr, "\r\033[K%s: %d/%d [%s] %d%% %.0f/s, %s, %s left", label_.c_str(), done_,
               total_, bar.c_str(), percent, rate, Duration(now - begun_).c_str(), left.c_str());
  std::fflush(stderr);
}

}  // namespace common::cli
