// Calmet, the account inspector: lists the server's accounts, shows their
// characters and can empty every inventory.
#include <QApplication>

#include "accounts/accounts_command.h"
#include "accounts/accounts_window.h"
#include "common/cli/program_main.h"

int main(int argc, char** argv) {
  static const common::cli::Program program{calmet::Manual, calmet::RunCommand, [] {
                                              calmet::frmMain window;
                                              window.show();
                                              return QApplication::exec();
                                            }};
  return common::cli::Main(argc, argv, program);
}
