#include "console_loop.h"

#include <libintl.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "input_wait.h"
#include "kesp/sysroot.h"
#include "menu_actions.h"
#include "netlink_watcher.h"
#include "screen.h"
#include "status_pane.h"
#include "stderr_redirect.h"

namespace kesp_console {

namespace {

const std::chrono::milliseconds KEY_WAIT_MS(600000);
const char kCatalogueDomain[] = "kesp_login";
const char kCatalogueDirectory[] = "/opt/tolvex/lib/locale";

void setUpCatalogue() {
  std::setlocale(LC_ALL, "");
  bindtextdomain(kCatalogueDomain, KESP::sysPath(kCatalogueDirectory).c_str());
  textdomain(kCatalogueDomain);
}

}  // namespace

int runConsole() {
  setUpCatalogue();

  StderrRedirect errors;
  errors.toLog();

  ConsoleScreen screen;
  if (!openScreen(screen)) {
    errors.restore();
    const char* terminal = std::getenv("TERM");
    std::fprintf(stderr, gettext("kesp_login: cannot use the terminal (TERM=%s)\n"),
                 terminal ? terminal : "");
    return 1;
  }

  StatusPane pane;
  pane.refresh(screen.status);

  rewriteTimezoneLabel();
  const char* const labels[2] = {choices[0], choices[1]};
  buildMenu(screen, labels, menu_handler);

  NetlinkWatcher watcher;
  InputWaiter input(screen.menuWindow, watcher, KEY_WAIT_MS);
  for (;;) {
    Input next = input.next();
    if (next.event == InputEvent::TerminalClosed || (next.event == InputEvent::Key && next.key == 0)) {
      closeScreen(screen);
      return 0;
    }
    if (next.event == InputEvent::Key && next.key == '\n') {
      char name[64];
      MenuAction action = handOver(screen, name);
      // The action's own messages (a terminal that cannot be opened) are for
      // the operator.
      errors.restore();
      action(name);
      _exit(1);
    }
    if (next.event == InputEvent::Key && next.key == KEY_RESIZE) {
      resizeScreen(screen);
      input.readKeysFrom(screen.menuWindow);
      pane.forget();
    } else if (next.event == InputEvent::Key) {
      moveSelection(screen, next.key);
      wrefresh(screen.menuWindow);
    }
    pane.refresh(screen.status);
  }
}

}  // namespace kesp_console
