// Ruvane: restarts the game server beside it after a fixed delay.
#include <QApplication>

#include "common/cli/program_main.h"
#include "restarter/restart_command.h"
#include "restarter/restarter_window.h"

int main(int argc, char* argv[]) {
  static const common::cli::Program program{
      ruvane::Manual, ruvane::RunCommand, [] {
        ruvane::frmMain window;
        // A missing server is a failure, not the normal end of a restart.
        if (!window.frmMain_Form_Load()) return 1;
        window.show();
        return QApplication::exec();
      }};
  return common::cli::Main(argc, argv, program);
}
