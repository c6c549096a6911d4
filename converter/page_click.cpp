#include "converter/page_click.h"

#include <cstdio>

#include "common/numeric_text.h"
#include "common/text_util.h"
#include "common/visible_text.h"
#include "converter/map_job.h"

namespace vostrel {

namespace {

// A reason short enough for a message box, even for a value thousands of
// characters long.
std::string Shortened(std::string reason) {
  constexpr size_t kMaxReason = 160;
  if (reason.size() > kMaxReason) reason = reason.substr(0, kMaxReason - 3) + "...";
  return reason;
}

constexpr size_t kListedSkips = 20;

// A job's events as the window shows them: the page's caption when it
// begins, the event loop let run before each record, and the bar after each
// record (before each map, for the map job, as the window always moved it).
class PageEvents : public common::JobEvents {
 public:
  PageEvents(PageView& view, ConverterState& state, Page page)
      : view_(view), state_(state), page_(page), barBeforeItem_(page == Page::Maps) {}

  void Started(const common::JobResult& result) override {
    last_ = result.last;
    view_.SetStatus(page_, kStatusInitiated);
  }
  void BeforeItem(int32_t item) override {
    view_.PumpEventsOnce();
    if (barBeforeItem_) Progress(item);
  }
  void ItemDone(int32_t item) override {
    if (!barBeforeItem_) Progress(item);
  }
  void ItemProblem(const common::ItemProblem& problem) override {
    if (!barBeforeItem_) Progress(problem.item);
  }
  bool StopRequested() override { return view_.StopRequested(); }

 private:
  void Progress(int32_t item) {
    state_.ProgressPercent = PercentOf(item, last_);
    view_.SetProgress(state_.ProgressPercent);
  }

  PageView& view_;
  ConverterState& state_;
  Page page_;
  bool barBeforeItem_;
  int32_t last_ = 0;
};

// After a job: the flush's box, then (unless the window is closing) the
// records left out.
void ShowEnd(const common::JobResult& result, Page page, PageView& view) {
  if (!result.flushed.ok()) {
    view.SetStatus(page, kStatusNotFlushed);
    view.Messages().Show(kPromptNotFlushed + result.flushed.message(), kTitleNotFlushed,
                         common::MsgButtons::Ok, common::MsgIcon::Stop);
  } else if (result.status.ok() && !result.stopped) {
    view.SetStatus(page, kStatusCompleted);
  }
}

void ShowSkipped(const common::JobResult& result, const char* noun, PageView& view) {
  std::vector<common::ItemProblem> left;
  for (const common::ItemProblem& p : result.problems) {
    // The map that stopped the job has a box of its own.
    if (!result.status.ok() && p.kind == common::ItemProblem::Kind::kFailed) continue;
    left.push_back(p);
  }
  if (left.empty()) return;
  view.Messages().Show(SkipReport(left, noun), kTitleSkipped, common::MsgButtons::Ok,
                       common::MsgIcon::Stop);
}

// Enters the job in the server folder's journal. The page's captions stay
// as they are: a journal that cannot be written is a warning on standard
// error, and the conversion stands.
void Journal(const common::ServerFolder& server, const common::JobResult& result) {
  if (const common::Status s = JournalConversion(server, result); !s.ok()) {
    const std::string line = "Vostrel: " + result.job + ": warning: not entered in the journal: " +
                             common::VisibleName(s.message()) + "\n";
    std::fputs(line.c_str(), stderr);
  }
}

}  // namespace

std::string SkipReport(const std::vector<common::ItemProblem>& problems, const std::string& noun) {
  std::string capital = noun;
  if (!capital.empty()) capital[0] = common::UpperAsciiChar(capital[0]);
  std::string text = problems.size() == 1
                         ? "1 " + noun + " was not converted; its old file was left as it was.\n"
                         : common::Dec(problems.size()) + " " + noun +
                               "s were not converted; their old files were left as they "
                               "were.\n";
  for (size_t i = 0; i < problems.size() && i < kListedSkips; ++i) {
    text += "\n" + capital + " " + common::Dec(problems[i].item) + ": " +
            Shortened(problems[i].why.message());
  }
  if (problems.size() > kListedSkips) {
    text += "\n... and " + common::Dec(problems.size() - kListedSkips) + " more.";
  }
  return text;
}

uint8_t PercentOf(int32_t n, int32_t max) {
  double percent = 0;
  if (max > 0) percent = common::RoundHalfEven(static_cast<double>(n) / max * 100.0);
  // A job never runs past its maximum, so this only guards the byte.
  if (!(percent >= 0)) percent = 0;
  if (percent > 100) percent = 100;
  return static_cast<uint8_t>(percent);
}

std::optional<int16_t> ReadMaximum(const std::string& text, common::MessagePort& messages) {
  const double value = common::RoundHalfEven(common::NumericValue(text));
  if (!(value >= -32768 && value <= 32767)) {
    messages.Show(kPromptBadMaximum, kTitleBadMaximum, common::MsgButtons::Ok,
                  common::MsgIcon::None);
    return std::nullopt;
  }
  return static_cast<int16_t>(value);
}

common::JobResult ConvertClick(const common::ServerFolder& server, ConverterState& state, Page page,
                               const std::string& maxText, PageView& view) {
  if (page == Page::Maps) return MapConvertClick(server, state, maxText, 0, view);
  if (maxText.empty()) return NotStarted(page, 0, common::Status::InvalidArgument("no maximum"));
  if (const std::optional<Notice> notice = CheckSource(server, page)) {
    view.Messages().Show(notice->prompt, notice->title, common::MsgButtons::Ok, notice->icon);
    return NotStarted(page, 0, notice->why);
  }
  const std::optional<int16_t> max = ReadMaximum(maxText, view.Messages());
  if (!max) return NotStarted(page, 0, common::Status::OutOfRange(kPromptBadMaximum));
  // The last check before the job's first write (its output folder). A No
  // needs no further word.
  if (common::Status s = CheckServer(server, view.Messages(), common::ServerCheck::kAsk); !s.ok()) {
    return NotStarted(page, *max, s);
  }

  PageEvents events(view, state, page);
  const common::JobResult result = RunConversion(server, page, *max, false, state, events);
  Journal(server, result);
  ShowEnd(result, page, view);
  // A job cut short by closing the window reports nothing more.
  if (view.StopRequested()) return result;
  ShowSkipped(result, "record", view);
  return result;
}

common::JobResult MapConvertClick(const common::ServerFolder& server, ConverterState& state,
                                  const std::string& maxText, int chk98State, PageView& view) {
  if (maxText.empty()) {
    return NotStarted(Page::Maps, 0, common::Status::InvalidArgument("no maximum"));
  }
  if (const std::optional<Notice> notice = CheckSource(server, Page::Maps)) {
    view.Messages().Show(notice->prompt, notice->title, common::MsgButtons::Ok, notice->icon);
    return NotStarted(Page::Maps, 0, notice->why);
  }
  // Before the first write: the newmaps folder is made just below.
  if (common::Status s = CheckServer(server, view.Messages(), common::ServerCheck::kAsk); !s.ok()) {
    return NotStarted(Page::Maps, 0, s);
  }
  MakeConvertedMapsFolder(server);
  const std::optional<int16_t> max = ReadMaximum(maxText, view.Messages());
  if (!max) return NotStarted(Page::Maps, 0, common::Status::OutOfRange(kPromptBadMaximum));

  PageEvents events(view, state, Page::Maps);
  const common::JobResult result =
      RunConversion(server, Page::Maps, *max, chk98State == 1, state, events);
  Journal(server, result);
  ShowEnd(result, Page::Maps, view);
  // Closing the window ended the job after a map: it did not complete, and
  // nothing more is shown. A map that stopped the job is still named.
  if (result.status.ok() && view.StopRequested()) return result;
  ShowSkipped(result, "map", view);
  if (result.status.ok()) return result;

  const common::ItemProblem& at = result.problems.back();
  const std::string map = common::Dec(at.item);
  view.SetStatus(Page::Maps, "Conversion stopped at map " + map + ".");
  std::string prompt = "The conversion stopped at map " + map + ": " + at.why.message() + ".";
  prompt += at.item > 1 ? "\nMaps 1 to " + common::Dec(at.item - 1) + " were converted; map " +
                              map + " and the maps after it were not."
                        : "\nNo map was converted.";
  view.Messages().Show(prompt, kTitleMapStopped, common::MsgButtons::Ok, common::MsgIcon::Stop);
  return result;
}

}  // namespace vostrel
