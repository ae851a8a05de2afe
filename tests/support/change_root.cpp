#include "change_root.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

namespace kesp_test {

namespace {

std::string callRecord(const TempDir& records) { return records / "calls"; }

}  // namespace

FileTree readTree(const std::string& dir) {
  FileTree tree;
  const bool listed = forEachFileBelow(
      dir, [&tree](const std::string& relative, const std::string& full, const struct stat& info) {
        tree[relative] = entryContent(full, info);
      });
  if (!listed) throw std::runtime_error("cannot list " + dir);
  return tree;
}

ChangeRoot::ChangeRoot(const std::string& family) {
  root_.copyFixture("change/" + family + "/root");
}

void ChangeRoot::fake(const std::string& absolutePath, const std::string& body) const {
  root_.write(absolutePath,
              "#!/bin/sh\necho \"" + absolutePath + " $*\" >> '" + callRecord(records_) + "'\n" +
                  body + "\n",
              0755);
}

std::vector<std::string> ChangeRoot::calls() const {
  std::vector<std::string> lines;
  if (!fileExists(callRecord(records_))) return lines;
  std::istringstream in(readFile(callRecord(records_)));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void ChangeRoot::clearCalls() const { unlink(callRecord(records_).c_str()); }

std::string ipProgram() {
  static const std::string path = [] {
    std::string found = shellOutput("command -v ip || ls /usr/sbin/ip /sbin/ip 2>/dev/null");
    found = found.substr(0, found.find('\n'));
    if (found.empty()) throw std::runtime_error("the ip program is not installed");
    return found;
  }();
  return path;
}

}  // namespace kesp_test
