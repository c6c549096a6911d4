// Ruvane's window: a status line and three timers that wait, announce the
// restart, start the server and end the program.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "common/message_port.h"
#include "restarter/server_launcher.h"

class QLabel;
class QTimer;

namespace ruvane {

// The timer intervals, in milliseconds.
struct Intervals {
  int wait = 35000;     // from load to the announcement
  int activate = 3000;  // from the announcement to the start
  int end = 5000;       // from the start to the end of the program
};

// What the window works with. Anything left empty is the real thing; tests
// pass their own.
struct frmMainDeps {
  common::MessagePort* messages = nullptr;
  ServerStarter* starter = nullptr;
  // Ends the program with an exit code; by default leaves the event loop.
  std::function<void(int)> endProgram;
  Intervals intervals;
};

class frmMain : public QWidget {
  Q_OBJECT

 public:
  // Builds the window as loaded: tmrWait counts from here on.
  explicit frmMain(frmMainDeps deps = {}, QWidget* parent = nullptr);
  ~frmMain() override;

  // The start-up check, to run before the window is shown. Returns false when
  // server.exe is missing: the box has been shown, the program has been
  // ended, and the window must not be shown.
  bool frmMain_Form_Load();

  // Timer handlers; each does nothing once the program has ended.
  void frmMain_tmrWait_Timer();
  void frmMain_tmrActivate_Timer();
  void frmMain_tmrEnd_Timer();

  // The window is closing: the program ends at once.
  void frmMain_Form_Unload();

  bool ended() const { return ended_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void StopTimers();
  // Stops every timer so no later tick can act, then ends the program.
  void EndProgram(int code);

  frmMainDeps deps_;
  std::unique_ptr<common::MessagePort> ownMessages_;
  std::unique_ptr<ServerStarter> ownStarter_;
  QLabel* lblStatus_;
  QTimer* tmrWait_;
  QTimer* tmrActivate_;
  QTimer* tmrEnd_;
  bool ended_ = false;
};

}  // namespace ruvane
