#include "screen.h"

#include <libintl.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <initializer_list>

#include "menu_layout.h"

namespace kesp_console {

namespace {

const int kItemCount = 2;
const int kItemsColumn = 1;

/// Columns a UTF-8 text takes on the screen (one per character: the
/// catalogues hold no wide characters).
int textColumns(const char* text) {
  int columns = 0;
  for (const char* c = text; *c; ++c) columns += (static_cast<unsigned char>(*c) & 0xc0) != 0x80;
  return columns;
}

/// The start of text that fills at most `columns` columns, in bytes.
int bytesForColumns(const char* text, int columns) {
  int bytes = 0;
  for (int used = 0; text[bytes]; ++bytes) {
    if ((static_cast<unsigned char>(text[bytes]) & 0xc0) != 0x80 && used++ == columns) break;
  }
  return bytes;
}

/// The menu window and its item area for the current screen size, with the
/// hints laid out so that they never wrap into other rows; the menu is posted.
void placeMenu(ConsoleScreen& screen) {
  if (screen.menuSubWindow) {
    unpost_menu(screen.menu);
    delwin(screen.menuSubWindow);
    screen.menuSubWindow = nullptr;
  }
  if (screen.menuWindow) delwin(screen.menuWindow);

  screen.menuWindow = newwin(kMenuRows, COLS, std::max(0, LINES - kMenuRows), 0);
  wbkgd(screen.menuWindow, COLOR_PAIR(COLOR_PAIR_MENU));
  keypad(screen.menuWindow, TRUE);
  int itemRows = 0, itemColumns = 0;
  scale_menu(screen.menu, &itemRows, &itemColumns);
  itemColumns = std::max(1, std::min(itemColumns, COLS - 2 * kItemsColumn));
  screen.menuSubWindow = derwin(screen.menuWindow, kItemCount, itemColumns, 1, kItemsColumn);
  wbkgd(screen.menuSubWindow, COLOR_PAIR(COLOR_PAIR_MENU));
  set_menu_win(screen.menu, screen.menuWindow);
  set_menu_sub(screen.menu, screen.menuSubWindow);

  const char* const hints[2] = {gettext("Use Arrow Keys to navigate"),
                                gettext("and <ENTER> to select your choice.")};
  const HintPlacement place =
      placeHints(COLS, kItemsColumn + itemColumns, std::max(textColumns(hints[0]), textColumns(hints[1])));
  for (int i = 0; i < 2; ++i)
    mvwaddnstr(screen.menuWindow, place.firstRow + i, place.column, hints[i],
               bytesForColumns(hints[i], place.width));
  post_menu(screen.menu);
  wrefresh(screen.menuWindow);
}

void freeMenu(ConsoleScreen& screen) {
  if (screen.menu) {
    unpost_menu(screen.menu);
    free_menu(screen.menu);
    screen.menu = nullptr;
  }
  for (ITEM*& item : screen.items) {
    if (item) free_item(item);
    item = nullptr;
  }
}

void deleteWindows(ConsoleScreen& screen) {
  // A window with a derived window cannot be deleted before it.
  for (WINDOW** window : {&screen.menuSubWindow, &screen.menuWindow, &screen.status}) {
    if (*window) delwin(*window);
    *window = nullptr;
  }
}

void endScreen(ConsoleScreen& screen) {
  endwin();
  if (screen.terminal) delscreen(screen.terminal);
  screen.terminal = nullptr;
}

}  // namespace

bool openScreen(ConsoleScreen& screen) {
  screen.terminal = newterm(nullptr, stdout, stdin);
  if (!screen.terminal) return false;
  set_term(screen.terminal);
  start_color();
  cbreak();
  noecho();
  keypad(stdscr, TRUE);

  init_pair(COLOR_PAIR_WARNING, COLOR_WHITE, COLOR_RED);
  init_pair(COLOR_PAIR_PLAIN, COLOR_WHITE, COLOR_BLACK);
  init_pair(COLOR_PAIR_STATUS, COLOR_WHITE, COLOR_BLUE);
  init_pair(COLOR_PAIR_MENU, COLOR_BLUE, COLOR_WHITE);

  screen.status = newwin(LINES - kMenuRows, COLS, 0, 0);
  return true;
}

void buildMenu(ConsoleScreen& screen, const char* const labels[2], MenuAction action) {
  for (int i = 0; i < 2; ++i) {
    const char* label = gettext(labels[i]);
    screen.items[i] = new_item(label, label);
    set_item_userptr(screen.items[i], reinterpret_cast<void*>(action));
  }
  screen.items[2] = nullptr;
  screen.menu = new_menu(screen.items);
  menu_opts_off(screen.menu, O_SHOWDESC);
  set_menu_format(screen.menu, kItemCount, 1);
  set_menu_mark(screen.menu, "*");
  set_menu_fore(screen.menu, COLOR_PAIR(COLOR_PAIR_MENU) | A_REVERSE);
  set_menu_back(screen.menu, COLOR_PAIR(COLOR_PAIR_MENU));
  set_menu_grey(screen.menu, COLOR_PAIR(COLOR_PAIR_STATUS));
  placeMenu(screen);
}

void resizeScreen(ConsoleScreen& screen) {
  // The windows are made anew for the new size; the menu keeps its selection.
  if (screen.status) delwin(screen.status);
  screen.status = newwin(std::max(1, LINES - kMenuRows), COLS, 0, 0);
  // Everything on the terminal is stale: draw all of it again.
  clearok(curscr, TRUE);
  placeMenu(screen);
}

void moveSelection(ConsoleScreen& screen, int key) {
  switch (key) {
    case KEY_DOWN: menu_driver(screen.menu, REQ_DOWN_ITEM); break;
    case KEY_UP: menu_driver(screen.menu, REQ_UP_ITEM); break;
    case KEY_LEFT: menu_driver(screen.menu, REQ_LEFT_ITEM); break;
    case KEY_RIGHT: menu_driver(screen.menu, REQ_RIGHT_ITEM); break;
    default: break;
  }
}

MenuAction handOver(ConsoleScreen& screen, char (&name)[64]) {
  ITEM* chosen = current_item(screen.menu);
  MenuAction action = reinterpret_cast<MenuAction>(item_userptr(chosen));
  std::memset(name, 0, sizeof name);
  const char* label = item_name(chosen);
  std::memcpy(name, label, strnlen(label, sizeof name - 1));

  pos_menu_cursor(screen.menu);
  freeMenu(screen);
  deleteWindows(screen);

  werase(stdscr);
  wbkgd(stdscr, COLOR_PAIR(COLOR_PAIR_PLAIN));
  wrefresh(stdscr);
  endScreen(screen);
  return action;
}

void closeScreen(ConsoleScreen& screen) {
  freeMenu(screen);
  deleteWindows(screen);
  endScreen(screen);
}

}  // namespace kesp_console
