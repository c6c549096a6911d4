#include "converter/job_ui.h"

#include "common/binary_record.h"
#include "common/numeric_text.h"
#include "common/text_util.h"
#include "converter/converter_state.h"

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

}  // namespace

std::string SkipReport(const std::vector<SkippedRecord>& skipped, const std::string& noun) {
  std::string capital = noun;
  if (!capital.empty()) capital[0] = common::UpperAsciiChar(capital[0]);
  std::string text = skipped.size() == 1
                         ? "1 " + noun + " was not converted; its old file was left as it was.\n"
                         : common::Dec(skipped.size()) + " " + noun +
                               "s were not converted; their old files were left as they "
                               "were.\n";
  for (size_t i = 0; i < skipped.size() && i < kListedSkips; ++i) {
    text += "\n" + capital + " " + common::Dec(skipped[i].number) + ": " +
            Shortened(skipped[i].reason);
  }
  if (skipped.size() > kListedSkips) {
    text += "\n... and " + common::Dec(skipped.size() - kListedSkips) + " more.";
  }
  return text;
}

void ReportProgress(ConverterState& state, JobUi& ui, int32_t n, int16_t max) {
  double percent = 0;
  if (max > 0) percent = common::RoundHalfEven(static_cast<double>(n) / max * 100.0);
  // A job never runs past its maximum, so this only guards the byte.
  if (!(percent >= 0)) percent = 0;
  if (percent > 100) percent = 100;
  state.ProgressPercent = static_cast<uint8_t>(percent);
  ui.SetCount(n, max);
  ui.SetProgress(state.ProgressPercent);
}

std::optional<int16_t> ReadMaximum(const std::string& text, JobUi& ui) {
  const double value = common::RoundHalfEven(common::NumericValue(text));
  if (!(value >= -32768 && value <= 32767)) {
    ui.Messages().Show(kPromptBadMaximum, kTitleBadMaximum, common::MsgButtons::Ok,
                       common::MsgIcon::None);
    return std::nullopt;
  }
  return static_cast<int16_t>(value);
}

bool ClearToWrite(JobUi& ui) {
  const common::ServerCheck mode = ui.ServerCheckMode();
  const common::Status s = common::CheckServerBeforeWrite(ui.Messages(), mode);
  if (s.ok()) return true;
  if (mode == common::ServerCheck::kRefuse) {
    ui.Messages().Show(kPromptServerRunning + s.message(), common::kServerRunningTitle,
                       common::MsgButtons::Ok, common::MsgIcon::Stop);
  }
  return false;
}

bool FlushJobOutput(const std::string& folder, Page page, JobUi& ui) {
  const common::Status s = common::FlushFileSystem(folder);
  if (s.ok()) return true;
  ui.SetStatus(page, kStatusNotFlushed);
  ui.Messages().Show(kPromptNotFlushed + s.message(), kTitleNotFlushed, common::MsgButtons::Ok,
                     common::MsgIcon::Stop);
  return false;
}

}  // namespace vostrel
