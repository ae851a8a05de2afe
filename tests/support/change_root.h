#pragma once
// A system root for network-change tests: one family's fixture tree
// (tests/fixtures/change/<family>/root), fake programs that record how they
// were called, and snapshots of the whole tree to prove what changed.

#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace kesp_test {

/// Path (relative to the directory) to content of every file below dir;
/// symbolic links appear as "-> <target>", directories not at all.
using FileTree = std::map<std::string, std::string>;
FileTree readTree(const std::string& dir);

class ChangeRoot {
 public:
  /// Points the system root at a copy of the family's fixture tree.
  explicit ChangeRoot(const std::string& family);

  const SystemRoot& root() const { return root_; }
  std::string operator/(const std::string& absolutePath) const { return root_ / absolutePath; }

  /// Installs an executable shell script at the system path that appends one
  /// line "<system path> <arguments>" to the call record, then runs body with
  /// the arguments as "$@". The record lives outside the root.
  void fake(const std::string& absolutePath, const std::string& body = "") const;
  /// The recorded calls in order, one "<system path> <arguments>" each.
  std::vector<std::string> calls() const;
  void clearCalls() const;

  FileTree tree() const { return readTree(root_.path()); }

 private:
  SystemRoot root_;
  TempDir records_;
};

/// Absolute path of the `ip` program, for fakes that really change addresses.
std::string ipProgram();

}  // namespace kesp_test
