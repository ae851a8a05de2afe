#include "menu_layout.h"

#include <algorithm>

namespace kesp_console {

namespace {

const int kHintColumn = 40;
const int kGap = 2;  // blanks between the items and the hints
const int kBesideRow = 1;
const int kBelowRow = 3;

}  // namespace

HintPlacement placeHints(int columns, int itemsEnd, int hintWidth) {
  // The last column stays free: a character there moves the cursor past the
  // edge, and on the last row that would scroll the window.
  const int usable = columns - 1;
  const int column = std::min(kHintColumn, usable - hintWidth);
  if (column >= itemsEnd + kGap) return {kBesideRow, column, hintWidth};
  return {kBelowRow, 1, std::max(0, std::min(hintWidth, usable - 1))};
}

}  // namespace kesp_console
