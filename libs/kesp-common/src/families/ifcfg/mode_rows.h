#pragma once
// The ifcfg families tell the mode from a few facts about the file: a table of
// rows, the first row whose facts all hold deciding.

#include <cstddef>

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

struct ModeRow {
  unsigned requiredFacts;
  AddressMode mode;
};

/// The mode of the first row whose required facts are all among facts; 0 when none.
template <size_t N>
AddressMode firstMatchingMode(const ModeRow (&rows)[N], unsigned facts) {
  for (const ModeRow& row : rows) {
    if ((facts & row.requiredFacts) == row.requiredFacts) return row.mode;
  }
  return 0;
}

}  // namespace detail
}  // namespace KESP
