#include "accounts/account_boxes.h"

#include "common/text_util.h"

namespace calmet {

Box AccountJobReport(const common::JobResult& result, const AccountJobTexts& texts,
                     const std::string& folder) {
  if (result.complete()) return {texts.done, texts.doneTitle, common::MsgIcon::None, folder};
  auto paragraph = [](std::string* text) {
    if (!text->empty()) *text += "\n\n";
  };
  std::string text;
  if (!result.status.ok()) text = common::VisibleName(result.status.message());
  if (!result.problems.empty()) {
    paragraph(&text);
    text += texts.left;
    for (const common::ItemProblem& account : result.problems) {
      text += "\n" + common::VisibleName(account.name) + " (" +
              common::VisibleName(account.why.message()) + ")";
    }
  }
  if (result.stopped) {
    // Only a command stops such a job (an interrupt); the window has no way to.
    const int32_t next = result.first + result.done + static_cast<int32_t>(result.problems.size());
    paragraph(&text);
    text += std::string("The ") + texts.job + " was stopped before account " + common::Dec(next) +
            " of " + common::Dec(result.last) + "; accounts " + common::Dec(next) + " to " +
            common::Dec(result.last) + " were not " + texts.doneVerb + ".";
  }
  if (!result.flushed.ok()) {
    paragraph(&text);
    text += texts.notFlushed + common::VisibleName(result.flushed.message());
  }
  return {text, texts.leftTitle, common::MsgIcon::Stop, folder};
}

}  // namespace calmet
