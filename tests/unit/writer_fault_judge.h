#pragma once
// Whether the files an operation left behind after a fault are whole: each its
// old self or what the operation writes without faults, nothing else, and the
// failure reported. Kept apart so that the judge itself can be tested.

#include <string>

#include "tree_state.h"
#include "writer_fault_scenarios.h"

namespace kesp_test {

/// The write, fsync, close and rename calls of the writer.
const int kWriterCallKinds = 4;

/// What a scenario does when nothing fails: the files before and after, and
/// how often it makes each call.
struct Reference {
  TreeState before;
  TreeState after;
  TreeState intermediate;
  int counts[kWriterCallKinds] = {};
};

/// Empty when every file is whole and a failure was reported; otherwise what
/// is wrong. `before` and `after` come from the same root, at `rootPath`.
std::string judgeFiles(const WriterScenario& scenario, const Reference& reference,
                       const TreeState& before, const TreeState& after, bool result,
                       const std::string& log, const std::string& rootPath);

/// Injections made and files found damaged, with a line per damage.
struct Tally {
  int injections = 0;
  int damaged = 0;
  std::string problems;

  void add(const std::string& what, const std::string& problem);
  void add(const Tally& other);
  /// For passing a tally out of a child process.
  std::string encode() const;
  static Tally decode(const std::string& text);
  /// Fails the test on damage and prints "N injections, M files damaged".
  void report() const;
};

}  // namespace kesp_test
