#include "restarter/startup_check.h"

#include "common/file_search.h"
#include "common/server_layout.h"
#include "common/text_util.h"

namespace ruvane {

bool CheckServerPresent(common::MessagePort& messages) {
  if (common::FileIsPresent(common::layout::kServerExe, false)) return true;
  messages.Show(kServerMissingPrompt, kServerMissingTitle, common::MsgButtons::Ok,
                common::MsgIcon::Stop);
  return false;
}

std::string StartErrorText(const common::Status& result) {
  // A failure without an error number still says why, rather than giving the
  // host's text for 0.
  const std::string description =
      result.sysError() != 0 ? common::ErrnoText(result.sysError()) : result.message();
  return "Run-time error '" + common::Dec(result.sysError()) + "':\n\n" + description;
}

void ReportStartError(common::MessagePort& messages, const common::Status& result) {
  messages.Show(StartErrorText(result), kProgramTitle, common::MsgButtons::Ok,
                common::MsgIcon::Stop);
}

}  // namespace ruvane
