// A stand-in for the game server (copied as server.exe) and for a loader
// (copied as wine): it only waits, whatever its arguments, so that the
// tools see a process by that name. Tests end it; it ends itself after a
// minute in case one does not.
#include <unistd.h>

int main() {
  sleep(60);
  return 0;
}
