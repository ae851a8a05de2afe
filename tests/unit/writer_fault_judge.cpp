#include "writer_fault_judge.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>
#include <vector>

namespace kesp_test {

namespace {

const char kJournal[] = "var/lib/kesp/change.journal";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

std::string judgeFiles(const WriterScenario& scenario, const Reference& reference,
                       const TreeState& before, const TreeState& after, bool result,
                       const std::string& log, const std::string& rootPath) {
  std::set<std::string> paths;
  for (const TreeState* tree : {&before, &after, &reference.after, &reference.intermediate})
    for (const auto& entry : *tree) paths.insert(entry.first);

  std::vector<std::string> unchanged;  // files the operation should have changed
  for (const std::string& path : paths) {
    const FileState* old = findFile(before, path);
    const FileState* now = findFile(after, path);
    const FileState* wanted = findFile(reference.after, path);
    const FileState* halfway = findFile(reference.intermediate, path);
    if (!now) {
      if (old && wanted) return path + " was lost";
      if (old) continue;  // the operation removes it
      if (wanted) unchanged.push_back(path);
      continue;
    }
    if (old && sameFile(*now, *old)) {
      const bool rewrittenAlike = wanted && sameFile(*wanted, *old);
      // A failed change rolls its files back, each as a new copy of the old.
      if (now->inode != old->inode && !rewrittenAlike && !scenario.restores && result)
        return path + " was replaced although its content did not change";
      if (!rewrittenAlike) unchanged.push_back(path);
      continue;
    }
    if (wanted && sameFile(*now, *wanted)) continue;
    if (halfway && sameFile(*now, *halfway) && !result &&
        contains(log, "can't open " + rootPath + "/" + path + " for writing"))
      continue;
    // A file the rollback could not write back stays journaled for recovery.
    if (path == kJournal && !result && contains(log, " for writing")) continue;
    if (!old && !wanted) return path + " was left behind";
    return path + " is neither its old nor its new content (or lost its mode or owner)";
  }
  if (result) {
    for (const std::string& path : unchanged) {
      auto reported = scenario.loggedOnly.find("/" + path);
      if (reported == scenario.loggedOnly.end() || !contains(log, reported->second))
        return "success reported although " + path + " was not written";
    }
  } else if (!contains(log, "[ERROR]")) {
    return "failure not logged";
  }
  return std::string();
}

void Tally::add(const std::string& what, const std::string& problem) {
  ++injections;
  if (problem.empty()) return;
  ++damaged;
  problems += what + ": " + problem + "\n";
}

void Tally::add(const Tally& other) {
  injections += other.injections;
  damaged += other.damaged;
  problems += other.problems;
}

std::string Tally::encode() const {
  return std::to_string(injections) + " " + std::to_string(damaged) + "\n" + problems;
}

Tally Tally::decode(const std::string& text) {
  Tally tally;
  std::istringstream in(text);
  if (!(in >> tally.injections >> tally.damaged)) {
    tally.damaged = 1;
    tally.problems = "no result from the child: " + text + "\n";
    return tally;
  }
  std::string endOfCounts;
  std::getline(in, endOfCounts);
  tally.problems.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return tally;
}

void Tally::report() const {
  EXPECT_EQ(damaged, 0) << problems;
  EXPECT_GT(injections, 0);
  std::printf("%d injections, %d files damaged\n", injections, damaged);
}

}  // namespace kesp_test
