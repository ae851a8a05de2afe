#include "menu_actions.h"

#include <fcntl.h>
#include <libintl.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <string>

#include "kesp/sysroot.h"
#include "kesp/util.h"

// Marks texts for the catalogue that are translated later, where they are shown.
#define N_(text) text

char choices[2][64] = {N_("Login"), N_("Set Timezone")};

namespace {

const char kClearCommand[] = "/usr/bin/clear";
const char kLoginProgram[] = "/bin/login";
const char kTimezoneTool[] = "/opt/tolvex/share/kesp/kesp_set_timezone";

std::string g_failure;

void noteFailure(const std::string& program) {
  g_failure = program + ": " + strerror(errno);
}

void startTimezoneTool() {
  std::string tool = KESP::sysPath(kTimezoneTool);
  // The tool works on the system the console shows: a root given to the
  // console reaches it through the environment, its arguments stay as they are.
  // Set even when empty, so that a stray value in the console's own
  // environment cannot send the tool to another tree.
  setenv("KESP_SYSTEM_ROOT", KESP::systemRoot().c_str(), 1);
  char* const argv[] = {const_cast<char*>(tool.c_str()), nullptr};
  execv(tool.c_str(), argv);
  noteFailure(tool);
}

}  // namespace

namespace kesp_console {

const std::string& lastActionFailure() { return g_failure; }

// snprintf cuts by bytes; a translated label cut inside a multibyte character
// would show as garbage.
void dropIncompleteCharacter(char* text) {
  std::mbstate_t state{};
  std::size_t length = std::strlen(text);
  std::size_t offset = 0;
  while (offset < length) {
    std::size_t step = std::mbrlen(text + offset, length - offset, &state);
    if (step == static_cast<std::size_t>(-2) || step == static_cast<std::size_t>(-1)) {
      if (step == static_cast<std::size_t>(-2)) text[offset] = '\0';
      return;
    }
    offset += step == 0 ? 1 : step;
  }
}

void currentZoneName(char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  tzset();
  std::time_t now = std::time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) && size > 1) {
    if (std::strftime(buffer, size - 1, "%Z", &local) == 0) buffer[0] = '\0';
  }
  if (buffer[0] == '\0') std::snprintf(buffer, size, "%s", gettext("Unknown"));
}

void rewriteTimezoneLabel() {
  char zone[64];
  currentZoneName(zone, sizeof zone);
  char label[64] = {};
  std::snprintf(label, sizeof label - 1, gettext("%s (Current:%s)"), gettext(choices[1]), zone);
  dropIncompleteCharacter(label);
  std::size_t length = strnlen(label, sizeof choices[1] - 1);
  std::memcpy(choices[1], label, length);
  choices[1][length] = '\0';
}

void runLoginAction() {
  char hostName[256] = {};
  if (gethostname(hostName, sizeof hostName - 1) != 0) hostName[0] = '\0';

  char terminalPath[4096] = {};
  if (readlink("/proc/self/fd/0", terminalPath, sizeof terminalPath - 1) < 0) {
    std::perror("/proc/self/fd/0");
    terminalPath[0] = '\0';
  }

  // The prompt stays untranslated: it is the one getty shows, and scripts that
  // drive a console wait for it.
  std::printf("\n%s login: ", hostName);
  std::fflush(stdout);
  std::fflush(stdin);

  char userName[256] = {};
  if (std::scanf("%255s", userName) != 1) userName[0] = '\0';

  int terminal = open(terminalPath, O_RDWR);
  if (terminal < 0) {
    // Closing 0 to 2 anyway would start login as root without standard streams,
    // and the first files it opens would take their numbers.
    std::perror(terminalPath);
  } else {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int descriptor = 0; descriptor <= 2; ++descriptor) dup2(terminal, descriptor);
    if (terminal > 2) close(terminal);
  }

  std::string login = KESP::sysPath(kLoginProgram);
  execl(login.c_str(), "login", "--", userName, static_cast<char*>(nullptr));
  noteFailure(login);
}

}  // namespace kesp_console

void menu_handler(const char* name) {
  g_failure.clear();
  if (std::system(KESP::shell_quote(KESP::sysPath(kClearCommand)).c_str()) == -1) {
    // Not clearing the screen does not stop the action.
  }
  if (std::strcmp(name, gettext(choices[0])) == 0) {
    kesp_console::runLoginAction();
  } else if (std::strcmp(name, gettext(choices[1])) == 0) {
    startTimezoneTool();
  } else {
    g_failure = std::string(name) + ": " + gettext("no such entry");
  }
}
