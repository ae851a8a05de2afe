#pragma once
// The upper window: the no-network warning when no interface is configured and
// addressed, then the appliance's welcome text. Drawn again only when the
// address that decides it changes.

#include <curses.h>

#include <string>

namespace kesp_console {

class StatusPane {
 public:
  /// Re-checks the network and redraws `window` when the deciding address
  /// differs from the one of the last drawing (always, the first time).
  void refresh(WINDOW* window);
  /// Makes the next refresh draw whatever it finds (a new, empty window).
  void forget() { lastShownAddress_ = kNeverShown; }

 private:
  // No interface address can equal it, so that the first refresh draws.
  static constexpr const char* kNeverShown = "wrong_ip";
  std::string lastShownAddress_ = kNeverShown;
};

}  // namespace kesp_console
