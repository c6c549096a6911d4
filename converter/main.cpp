// Vostrel: converts the game server's legacy world data to the newer layout.
#include <QApplication>

#include "common/cli/program_main.h"
#include "converter/convert_command.h"
#include "converter/converter_window.h"

int main(int argc, char* argv[]) {
  static const common::cli::Program program{
      vostrel::Manual, vostrel::RunCommand, [] {
        vostrel::frmMain window;
        window.show();
        return QApplication::exec();
      }};
  return common::cli::Main(argc, argv, program);
}
