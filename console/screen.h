#pragma once
// The terminal wrapper: taking the terminal over with curses, the two windows,
// the colours and the menu, and giving the terminal back.

#include <curses.h>
#include <menu.h>

namespace kesp_console {

enum ColourPair : short {
  COLOR_PAIR_WARNING = 1,  // white on red: the no-network warning
  COLOR_PAIR_PLAIN = 2,    // white on black: the screen left behind at hand-over
  COLOR_PAIR_STATUS = 3,   // white on blue: status pane, unselectable items
  COLOR_PAIR_MENU = 4,     // blue on white: menu area and items
};

/// Rows at the bottom of the screen that belong to the menu.
constexpr int kMenuRows = 5;

using MenuAction = void (*)(const char*);

struct ConsoleScreen {
  SCREEN* terminal = nullptr;
  WINDOW* status = nullptr;
  WINDOW* menuWindow = nullptr;
  WINDOW* menuSubWindow = nullptr;
  MENU* menu = nullptr;
  ITEM* items[3] = {nullptr, nullptr, nullptr};
};

/// Starts curses on standard input and output with cbreak, no echo, keypad
/// translation and the four colour pairs, and creates the status window.
/// False when the terminal cannot be used (nothing is left to undo then).
bool openScreen(ConsoleScreen& screen);

/// Builds the two-entry menu from `labels` (translated here) in the bottom
/// rows, prints the key hints, posts it and refreshes the menu window.
void buildMenu(ConsoleScreen& screen, const char* const labels[2], MenuAction action);

/// Lays the screen out again for the terminal's new size (after KEY_RESIZE):
/// a new, empty status window and the menu and hints placed anew, the
/// selection kept. The menu window changes too.
void resizeScreen(ConsoleScreen& screen);

/// Passes a key to the menu (arrow keys move the selection).
void moveSelection(ConsoleScreen& screen, int key);

/// Tears everything down and leaves the terminal cleared and in normal mode;
/// returns the current item's action and copies its name into `name`.
MenuAction handOver(ConsoleScreen& screen, char (&name)[64]);

/// Frees the menu and windows and ends curses mode, for a normal exit.
void closeScreen(ConsoleScreen& screen);

}  // namespace kesp_console
