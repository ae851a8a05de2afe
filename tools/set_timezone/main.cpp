// kesp_set_timezone: the appliance's time-zone tool, started by the console's
// "Set Timezone" entry on the console terminal.
//
//   kesp_set_timezone               on the running system
//   kesp_set_timezone --root DIR    on the system under DIR (KESP_SYSTEM_ROOT=DIR
//                                   does the same; the console passes its
//                                   own --root on that way)

#include <libintl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "kesp/sysroot.h"
#include "kesp/time_zone.h"
#include "kesp_version.h"
#include "zone_dialogue.h"

namespace {

const char kDomain[] = "kesp_set_timezone";
const char kCatalogueDirectory[] = "/opt/tolvex/lib/locale";
const char kSystemdRunning[] = "/run/systemd/system";
const char kTimedatectl[] = "/usr/bin/timedatectl";

const char kUsage[] =
    "usage: kesp_set_timezone [--root DIR]\n"
    "       kesp_set_timezone --help | --version\n";

std::string tr(const char* text) { return gettext(text); }

bool systemdRuns() {
  struct stat info;
  return stat(KESP::sysPath(kSystemdRunning).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// Where systemd runs, its own tool sets the zone (it also tells the running
/// services); elsewhere the files are all there is.
bool applyZone(const std::string& zone) {
  if (!systemdRuns()) return KESP::setTimeZoneFiles(zone);
  const std::string program = KESP::sysPath(kTimedatectl);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execl(program.c_str(), "timedatectl", "set-timezone", zone.c_str(), static_cast<char*>(nullptr));
    std::perror(program.c_str());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int usageError(const char* word) {
  std::fprintf(stderr, "kesp_set_timezone: %s '%s'\n%s", tr("unknown argument").c_str(), word, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const char* root = std::getenv("KESP_SYSTEM_ROOT");
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::printf("%s\nChooses the appliance's time zone in a dialogue. See kesp_login(8).\n", kUsage);
      return 0;
    }
    if (word == "--version") {
      std::printf("kesp_set_timezone %s\n", KESP_VERSION);
      return 0;
    }
    if (word == "--root" && i + 1 < argc && argv[i + 1][0] != '\0') {
      root = argv[++i];
      continue;
    }
    return usageError(argv[i]);
  }
  if (root && root[0] != '\0') KESP::setSystemRoot(root);
  bindtextdomain(kDomain, KESP::sysPath(kCatalogueDirectory).c_str());
  textdomain(kDomain);

  kesp_set_timezone::ZoneDatabase database{KESP::listZoneEntries, KESP::isZoneName};
  const std::string zone =
      kesp_set_timezone::chooseZone(std::cin, std::cout, KESP::configuredTimeZone(), database);
  int status = 0;
  if (zone.empty()) {
    std::cout << tr("The time zone stays as it is.") << "\n";
  } else if (applyZone(zone)) {
    std::cout << tr("The time zone is now:") << " " << zone << "\n";
  } else {
    std::cout << tr("The time zone could not be set; see the messages above.") << "\n";
    status = 1;
  }
  std::cout << tr("Press Enter to return to the console.") << std::flush;
  std::string line;
  std::getline(std::cin, line);
  return status;
}
