// Ruvane: restarts the game server beside it after a fixed delay.
#include <QApplication>

#include "restarter/restarter_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  ruvane::frmMain window;
  // A missing server is a failure, not the normal end of a restart.
  if (!window.frmMain_Form_Load()) return 1;
  window.show();
  return app.exec();
}
