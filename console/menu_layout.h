#pragma once
// Where the key hints go beside or below the menu items, for any screen
// width. Pure, so that every size is tested without a terminal.

namespace kesp_console {

struct HintPlacement {
  int firstRow;  ///< row of the first hint in the menu window; the second follows
  int column;
  int width;     ///< hints are cut to this many columns, so that they never wrap
};

/// Hints sit at column 40 beside the items when they fit there, else as far
/// right as they fit without touching the items, else on the two rows below
/// the items from column 1. `itemsEnd` is the first column after the items.
HintPlacement placeHints(int columns, int itemsEnd, int hintWidth);

}  // namespace kesp_console
