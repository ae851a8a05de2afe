#pragma once
// The time-zone dialogue on a text terminal: the current zone, then a choice by
// region and city from numbered pages, or a zone name typed whole. Reads lines
// from `in` and writes to `out`, so that it runs the same on a terminal and in
// tests; the zone database is reached through the two functions given.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "kesp/time_zone.h"

namespace kesp_set_timezone {

struct ZoneDatabase {
  /// Entries of a database directory ("" for the top); false when unreadable.
  std::function<bool(const std::string&, std::vector<KESP::ZoneEntry>&)> list;
  std::function<bool(const std::string&)> isZone;
};

/// Entries shown per page: with the heading and the prompt they fit a
/// 24-line terminal.
constexpr size_t kPageSize = 16;

/// Runs the dialogue and returns the zone chosen, or "" when the operator
/// leaves the zone as it is (q, or the end of the input).
std::string chooseZone(std::istream& in, std::ostream& out, const std::string& current,
                       const ZoneDatabase& database);

}  // namespace kesp_set_timezone
