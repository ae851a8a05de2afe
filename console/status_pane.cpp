#include "status_pane.h"

#include <libintl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "banner.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "screen.h"
#include "status_check.h"

namespace kesp_console {

namespace {

const char kWelcomeScript[] = "/opt/tolvex/share/kesp/kesp_login_textgen";

void drawBanner(WINDOW* window) {
  int column = 0;
  if (!bannerColumn(COLS, column)) return;
  wattron(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  for (int row = 0; row < kBannerRows; ++row)
    mvwprintw(window, row, column, "%s", kBannerLines[row]);
  wattroff(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  // On a screen wider than the banner the cursor stops beside its last line;
  // the welcome text belongs below it.
  wmove(window, kBannerRows, 0);
}

// Prints the script's output in pieces of at most COLS - 2 characters; curses
// wraps them at the right edge and the window does not scroll.
void drawWelcomeText(WINDOW* window, FILE* script) {
  std::vector<char> piece(static_cast<size_t>(std::max(COLS, 3)));
  int limit = std::max(COLS - 1, 2);
  while (std::fgets(piece.data(), limit, script) && getcury(window) < LINES - kMenuRows)
    wprintw(window, "%s", piece.data());
}

}  // namespace

void StatusPane::refresh(WINDOW* window) {
  std::string chosen = checkStatusAddress();
  if (chosen == lastShownAddress_) return;
  lastShownAddress_ = chosen;

  werase(window);
  wbkgd(window, COLOR_PAIR(COLOR_PAIR_STATUS));
  if (chosen.empty()) drawBanner(window);

  FILE* script = popen(KESP::shell_quote(KESP::sysPath(kWelcomeScript)).c_str(), "re");
  if (!script) {
    wprintw(window, "%s", gettext("Failed to read welcome text"));
    wrefresh(window);
    return;
  }
  drawWelcomeText(window, script);
  pclose(script);
  wrefresh(window);
}

}  // namespace kesp_console
