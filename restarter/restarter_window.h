// Ruvane's window: a status line over the restart sequence, which waits,
// announces the restart, starts the server and ends the program.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "common/message_port.h"
#include "restarter/restart_sequence.h"
#include "restarter/server_launcher.h"

class QLabel;

namespace ruvane {

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

  bool ended() const { return sequence_->ended(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // A start the journal missed is said under the status text.
  void ShowJournalWarning();

  frmMainDeps deps_;
  std::unique_ptr<common::MessagePort> ownMessages_;
  std::unique_ptr<ServerStarter> ownStarter_;
  QLabel* lblStatus_;
  std::optional<RestartSequence> sequence_;
};

}  // namespace ruvane
