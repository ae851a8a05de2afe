#pragma once
// The upper window: the no-network warning when no interface is configured and
// addressed, then the appliance's welcome text, and at its foot a notice of
// the console's own (a menu program that could not start). Drawn again only
// when what decides it changes.

#include <curses.h>

#include <string>

#include "status_choice.h"

namespace kesp_console {

class StatusPane {
 public:
  /// Re-checks the network and redraws `window` when what decides the pane
  /// differs from the last drawing (always, the first time).
  void refresh(WINDOW* window);
  /// Makes the next refresh draw whatever it finds (a new, empty window).
  void forget() { drawn_ = false; }
  /// A notice shown at the pane's foot from the next refresh on ("" for none).
  void setNotice(const std::string& notice) {
    notice_ = notice;
    drawn_ = false;
  }

 private:
  bool drawn_ = false;
  StatusChoice lastShown_;
  std::string notice_;
};

}  // namespace kesp_console
