#include "console_loop.h"

#include <libintl.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "input_wait.h"
#include "kesp/sysroot.h"
#include "menu_actions.h"
#include "netlink_watcher.h"
#include "redraw_request.h"
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

/// Everything on the terminal drawn anew: the status after a fresh check, the
/// menu as it stands.
void redrawAll(ConsoleScreen& screen, StatusPane& pane) {
  clearok(curscr, TRUE);
  pane.forget();
  pane.refresh(screen.status);
  redrawwin(screen.menuWindow);
  wrefresh(screen.menuWindow);
}

}  // namespace

int runConsole() {
  setUpCatalogue();
  rewriteTimezoneLabel();

  StderrRedirect errors;
  NetlinkWatcher watcher;
  RedrawRequests redraws;
  std::string notice;
  // Each round shows the screen until an entry is chosen; the chosen program
  // replaces the process, and only when it cannot start does a new round
  // show the screen again, saying so.
  for (;;) {
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
    pane.setNotice(notice);
    pane.refresh(screen.status);
    const char* const labels[2] = {choices[0], choices[1]};
    buildMenu(screen, labels, menu_handler);

    InputWaiter input(screen.menuWindow, watcher, KEY_WAIT_MS);
    input.watchRedraws(redraws);
    for (;;) {
      Input next = input.next();
      if (next.event == InputEvent::TerminalClosed ||
          (next.event == InputEvent::Key && next.key == 0)) {
        closeScreen(screen);
        return 0;
      }
      if (next.event == InputEvent::Key && next.key == '\n') break;
      if (next.event == InputEvent::RedrawRequested) {
        redrawAll(screen, pane);
        continue;
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

    char name[64];
    MenuAction action = handOver(screen, name);
    // The action's own messages (a terminal that cannot be opened) are for
    // the operator; the program it starts is no console.
    errors.restore();
    redraws.suspend();
    action(name);
    redraws.restore();
    notice = std::string(gettext("Could not start")) + " " + lastActionFailure();
  }
}

}  // namespace kesp_console
