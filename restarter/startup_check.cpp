#include "startup_check.h"

#include "file_search.h"
#include "text_util.h"

namespace ruvane {

bool CheckServerPresent(MessagePort& messages) {
  if (FileIsPresent("\\server.exe", false)) return true;
  messages.Show(kServerMissingPrompt, kServerMissingTitle, MsgButtons::Ok, MsgIcon::Stop);
  return false;
}

std::string StartErrorText(const StartResult& result) {
  return "Run-time error '" + Dec(result.error) + "':\n\n" + result.description;
}

void ReportStartError(MessagePort& messages, const StartResult& result) {
  messages.Show(StartErrorText(result), kProgramTitle, MsgButtons::Ok, MsgIcon::Stop);
}

}  // namespace ruvane
