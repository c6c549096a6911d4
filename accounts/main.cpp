// Calmet, the account inspector: lists the server's accounts, shows their
// characters and can empty every inventory.
#include <QApplication>

#include "accounts/accounts_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  calmet::frmMain window;
  window.show();
  return app.exec();
}
