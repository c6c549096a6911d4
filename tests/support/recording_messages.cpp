#include "recording_messages.h"

MsgAnswer RecordingMessages::Show(const std::string& prompt, const std::string& title,
                                  MsgButtons buttons, MsgIcon icon) {
  shown.push_back({prompt, title, buttons, icon});
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (answers.empty()) return MsgAnswer::No;
  MsgAnswer a = answers.front();
  answers.pop_front();
  return a;
}
