// kesp_login: the appliance's console screen, in place of a login prompt.
//
//   kesp_login               runs on the real system; no argument is read
//   kesp_login --root DIR    every fixed path of the system's files and
//                            programs is taken under DIR (demo and tests)

#include <cstdio>
#include <cstring>

#include "console_loop.h"
#include "kesp/sysroot.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--root") == 0) {
    if (argc != 3 || argv[2][0] == '\0') {
      std::fprintf(stderr, "usage: %s [--root DIR]\n", argv[0]);
      return 2;
    }
    KESP::setSystemRoot(argv[2]);
  }
  return kesp_console::runConsole();
}
