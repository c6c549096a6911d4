#include "restarter/startup_check.h"

#include "common/file_search.h"
#include "common/text_util.h"

namespace ruvane {

bool CheckServerPresent(common::MessagePort& messages) {
  if (common::FileIsPresent("\\server.exe", false)) return true;
  messages.Show(kServerMissingPrompt, kServerMissingTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
  return false;
}

std::string StartErrorText(const StartResult& result) {
  return "Run-time error '" + common::Dec(result.error) + "':\n\n" + result.description;
}

void ReportStartError(common::MessagePort& messages, const StartResult& result) {
  messages.Show(StartErrorText(result), kProgramTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
}

}  // namespace ruvane
