// A MessagePort for tests: records every box and answers from a queue
// (Ok, or the next queued answer for a Yes/No box; No when none is queued).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/message_port.h"

struct ShownMessage {
  std::string prompt;
  std::string title;
  common::MsgButtons buttons;
  common::MsgIcon icon;
};

class RecordingMessages : public common::MessagePort {
 public:
  common::MsgAnswer Show(const std::string& prompt, const std::string& title, common::MsgButtons buttons,
                 common::MsgIcon icon) override;
  std::vector<ShownMessage> shown;
  std::deque<common::MsgAnswer> answers;
};
