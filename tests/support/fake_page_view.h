// A PageView for converter tests: records progress and status changes,
// answers message boxes through RecordingMessages, and can run a callback
// on the n-th event-loop step (to click something in the middle of a job).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "converter/page_click.h"
#include "tests/support/recording_messages.h"

class FakePageView : public vostrel::PageView {
 public:
  void PumpEventsOnce() override {
    ++pumps;
    if (onPump) onPump(pumps);
  }
  void SetProgress(uint8_t percent) override { progress.push_back(percent); }
  void SetStatus(vostrel::Page page, const std::string& caption) override {
    status[page] = caption;
    statusHistory.push_back(caption);
  }
  bool StopRequested() override { return stop; }
  common::MessagePort& Messages() override { return messages; }

  int pumps = 0;
  bool stop = false;
  std::function<void(int)> onPump;  // called with the pump count
  std::vector<int> progress;
  std::map<vostrel::Page, std::string> status;
  std::vector<std::string> statusHistory;
  RecordingMessages messages;
};
