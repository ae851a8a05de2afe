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

void drawWarning(WINDOW* window, const StatusChoice& choice) {
  int column = 0;
  const std::vector<std::string> rows = warningRows(warningLines(choice), COLS, column);
  wattron(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  for (size_t row = 0; row < rows.size() && static_cast<int>(row) < getmaxy(window); ++row)
    mvwaddstr(window, static_cast<int>(row), column, rows[row].c_str());
  wattroff(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  // The welcome text belongs below the warning, whatever the cursor did at
  // the end of its last row.
  wmove(window, std::min(static_cast<int>(rows.size()), getmaxy(window) - 1), 0);
}

/// Draws the notice on the last rows; returns how many it took.
int drawNotice(WINDOW* window, const std::string& notice) {
  if (notice.empty()) return 0;
  std::vector<std::string> rows = wrapText(notice, std::max(1, COLS - 1));
  const int height = getmaxy(window);
  if (static_cast<int>(rows.size()) > height) rows.resize(static_cast<size_t>(height));
  const int first = height - static_cast<int>(rows.size());
  wattron(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  for (size_t i = 0; i < rows.size(); ++i)
    mvwaddstr(window, first + static_cast<int>(i), 0, rows[i].c_str());
  wattroff(window, A_BOLD | COLOR_PAIR(COLOR_PAIR_WARNING));
  return static_cast<int>(rows.size());
}

// Prints the script's output in pieces of at most COLS - 2 characters; curses
// wraps them at the right edge. The window does not scroll: once a line ends
// on the last row there is no room for the next, which would otherwise be
// written over it.
void drawWelcomeText(WINDOW* window, FILE* script, int rows) {
  std::vector<char> piece(static_cast<size_t>(std::max(COLS, 3)));
  int limit = std::max(COLS - 1, 2);
  while (getcury(window) < rows && std::fgets(piece.data(), limit, script)) {
    wprintw(window, "%s", piece.data());
    // After a newline the cursor stands at column 0 unless it could not move on.
    const std::string text = piece.data();
    if (!text.empty() && text.back() == '\n' && getcurx(window) != 0) break;
  }
}

}  // namespace

void StatusPane::refresh(WINDOW* window) {
  StatusChoice chosen = checkStatus();
  if (drawn_ && chosen == lastShown_) return;
  drawn_ = true;
  lastShown_ = chosen;

  werase(window);
  wbkgd(window, COLOR_PAIR(COLOR_PAIR_STATUS));
  if (chosen.address.empty()) drawWarning(window, chosen);
  const int noticeRows = static_cast<int>(wrapText(notice_, std::max(1, COLS - 1)).size());

  FILE* script = popen(KESP::shell_quote(KESP::sysPath(kWelcomeScript)).c_str(), "re");
  if (!script) {
    wprintw(window, "%s", gettext("Failed to read welcome text"));
  } else {
    drawWelcomeText(window, script, getmaxy(window) - noticeRows);
    pclose(script);
  }
  drawNotice(window, notice_);
  wrefresh(window);
}

}  // namespace kesp_console
