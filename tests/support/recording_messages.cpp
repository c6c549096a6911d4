#include "tests/support/recording_messages.h"

common::MsgAnswer RecordingMessages::Show(const std::string& prompt, const std::string& title,
                                  common::MsgButtons buttons, common::MsgIcon icon) {
  shown.push_back({prompt, title, buttons, icon});
  if (buttons == common::MsgButtons::Ok) return common::MsgAnswer::Ok;
  if (answers.empty()) return common::MsgAnswer::No;
  common::MsgAnswer a = answers.front();
  answers.pop_front();
  return a;
}
