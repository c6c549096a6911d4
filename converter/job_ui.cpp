#include "converter/job_ui.h"

#include "common/binary_record.h"
#include "common/numeric_text.h"
#include "converter/converter_state.h"

namespace vostrel {

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
