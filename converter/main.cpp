// Vostrel: converts the game server's legacy world data to the newer layout.
#include <QApplication>

#include "converter/converter_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  vostrel::frmMain window;
  window.show();
  return app.exec();
}
