// The boxes the account inspector shows, as values: the jobs return what
// happened, and the window and the command both turn it into these, the
// window into a message box, the command into a line on standard error.
#pragma once

#include <string>

#include "common/job.h"
#include "common/message_port.h"
#include "common/visible_text.h"

namespace calmet {

struct Box {
  std::string prompt;
  std::string title;
  common::MsgIcon icon = common::MsgIcon::None;
  // The host path of the folder or file the box is about, "" when its
  // prompt names it already. The window's boxes keep their texts; on the
  // console, where a box must say which folder it means (--server-dir),
  // the path follows the prompt.
  std::string about;
};

// Shows `box` with an OK button; `console` adds the path it is about.
inline void ShowBox(common::MessagePort& messages, const Box& box, bool console) {
  std::string prompt = box.prompt;
  if (console && !box.about.empty()) {
    const std::string about = common::VisibleName(box.about);
    if (prompt.find(about) == std::string::npos) prompt += " (" + about + ")";
  }
  messages.Show(prompt, box.title, common::MsgButtons::Ok, box.icon);
}

// The texts of the box a job over every account (the wipe, the restore)
// ends with.
struct AccountJobTexts {
  const char* done;  // every account done
  const char* doneTitle;
  const char* left;  // before the list of the accounts left alone
  const char* leftTitle;
  const char* job;         // "wipe": "The wipe was stopped before account ..."
  const char* doneVerb;    // "wiped": "... were not wiped."
  const char* notFlushed;  // before the flush's reason
};

// The box for the end of `result` (about the folder `folder`): done, or
// what was left alone, where it was stopped and whether it is on disk.
Box AccountJobReport(const common::JobResult& result, const AccountJobTexts& texts,
                     const std::string& folder);

}  // namespace calmet
