#pragma once
// Every operation of the library that writes files, each set up on a fixture
// root of its distribution family, for the fault-injection suite.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "change_root.h"

namespace kesp_test {

struct WriterScenario {
  std::string name;
  /// tests/fixtures/change/<family>/root is copied into the system root.
  std::string family;
  /// Adds the files and fake programs the operation needs.
  std::function<void(const ChangeRoot&)> setUp;
  /// The operation; its result.
  std::function<bool()> run;
  /// System paths whose failed write leaves the result true by contract, with
  /// the text the log must hold then.
  std::map<std::string, std::string> loggedOnly;
  /// The operation's result when nothing fails.
  bool succeeds = true;
  /// The operation writes the old content back after a failure (a new inode).
  bool restores = false;
  /// When set, a run of this on a fresh root gives further states a file may
  /// be left in, provided the log reports that its restore failed.
  std::function<bool()> intermediate;
};

std::vector<WriterScenario> writerScenarios();

/// Owner given to every fixture file when running as root, so that keeping
/// the owner is tested too.
const unsigned kFixtureOwner = 4321;

}  // namespace kesp_test
