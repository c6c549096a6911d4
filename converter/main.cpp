// Vostrel: converts the game server's legacy world data to the newer layout.
#include <QApplication>

#include "common/cli/program_main.h"
#include "converter/convert_command.h"
#include "converter/converter_window.h"

int main(int argc, char* argv[]) {
  static const common::cli::Program program{
      "Vostrel",
      "Converts the game server's legacy world data (items.ini, spells.ini, signs.ini, "
      "shops.ini, npcs.ini, maps) into one file per record. Without a command it opens its "
      "window.",
      vostrel::DefineOptions, vostrel::RunCommand, [] {
        vostrel::frmMain window;
        window.show();
        return QApplication::exec();
      }};
  return common::cli::Main(argc, argv, program);
}
