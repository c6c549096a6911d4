// Ruvane: restarts the game server beside it after a fixed delay.
#include <QApplication>

#include "common/cli/program_main.h"
#include "restarter/restart_command.h"
#include "restarter/restarter_window.h"

int main(int argc, char* argv[]) {
  static const common::cli::Program program{
      "Ruvane",
      "Checks that server.exe lies in the server folder, then starts it after a fixed delay "
      "and ends. One restart of a folder runs at a time, and the server is not started while "
      "the folder's server.exe still runs. It starts in the server folder, its input from "
      "/dev/null and its output appended to server-output.log there. Without --no-window it "
      "shows its steps in a window.",
      ruvane::DefineOptions, ruvane::RunCommand, [] {
        ruvane::frmMain window;
        // A missing server is a failure, not the normal end of a restart.
        if (!window.frmMain_Form_Load()) return 1;
        window.show();
        return QApplication::exec();
      }};
  return common::cli::Main(argc, argv, program);
}
