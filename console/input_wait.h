#pragma once
// Waiting for what the console reacts to: a key, a network change reported by
// the kernel, or the key time-out. The terminal and the netlink socket are
// waited on together, and keys that curses has already buffered (the rest of
// an escape sequence, a quick series of keys) always come first.

#include <curses.h>

#include <chrono>

namespace kesp_console {

class NetlinkWatcher;
class RedrawRequests;

enum class InputEvent {
  Key,             // `key` holds the curses key code
  TimedOut,        // no key for the whole time-out
  NetworkChanged,  // the kernel reported a link or address change
  RedrawRequested, // another program asked for a redraw (after a change)
  TerminalClosed,  // the terminal hung up: no key will ever come
};

struct Input {
  InputEvent event;
  int key;
};

class InputWaiter {
 public:
  /// Keys are read from `keys`; `watcher` may have no socket. The time-out
  /// starts again after every event.
  InputWaiter(WINDOW* keys, NetlinkWatcher& watcher, std::chrono::milliseconds timeout);
  /// Also waits for redraw requests.
  void watchRedraws(RedrawRequests& requests) { redraws_ = &requests; }
  Input next();
  /// Reads keys from another window from now on (the screen was laid out anew).
  void readKeysFrom(WINDOW* keys) { keys_ = keys; }

 private:
  void restartClock();

  WINDOW* keys_;
  NetlinkWatcher& watcher_;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point deadline_;
  RedrawRequests* redraws_ = nullptr;
};

}  // namespace kesp_console
