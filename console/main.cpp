// kesp_login: the appliance's console screen, in place of a login prompt.
//
//   kesp_login               runs on the real system
//   kesp_login --root DIR    every fixed path of the system's files and
//                            programs is taken under DIR (demo and tests)
//
// The command line is read whole before the terminal is touched: a wrong word
// must not leave a half-drawn screen on the appliance's terminal.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console_loop.h"
#include "kesp/sysroot.h"
#include "kesp_version.h"

namespace {

const char kUsage[] =
    "usage: kesp_login [--root DIR]\n"
    "       kesp_login --help | --version\n";

const char kHelp[] =
    "\n"
    "The appliance's console: its welcome text, a warning when no Ethernet\n"
    "interface is configured and holds an address, and a menu that hands the\n"
    "terminal to the login program or to the time-zone tool. It runs on a\n"
    "virtual terminal in place of a getty (kesp-login@tty1.service).\n"
    "\n"
    "  --root DIR   take every file and program of the system under DIR\n"
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "\n"
    "Keys: arrow keys choose, Enter starts the entry. See kesp_login(8).\n";

int usageError(const char* message, const char* word) {
  std::fprintf(stderr, "kesp_login: %s '%s'\n%s", message, word, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* root = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0) {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    if (std::strcmp(word, "--version") == 0) {
      std::printf("kesp_login %s\n", KESP_VERSION);
      return 0;
    }
    if (std::strcmp(word, "--root") == 0) {
      if (root) return usageError("option given twice", word);
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return usageError("a directory must follow", word);
      root = argv[++i];
      continue;
    }
    return usageError(word[0] == '-' ? "unknown option" : "unexpected argument", word);
  }
  if (root) {
    KESP::setSystemRoot(root);
    // The zone shown is the root's own, unless TZ names one.
    if (!std::getenv("TZ"))
      setenv("TZ", (":" + KESP::sysPath("/etc/localtime")).c_str(), 1);
  }
  return kesp_console::runConsole();
}
