#include "change_root.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

namespace kesp_test {

namespace {

void readTreeInto(const std::string& dir, const std::string& prefix, FileTree& tree) {
  DIR* handle = opendir(dir.c_str());
  if (!handle) throw std::runtime_error("cannot list " + dir);
  while (dirent* entry = readdir(handle)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      readTreeInto(path, prefix + name + "/", tree);
    } else if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t n = readlink(path.c_str(), target, sizeof target);
      tree[prefix + name] = "-> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    } else {
      tree[prefix + name] = readFile(path);
    }
  }
  closedir(handle);
}

std::string callRecord(const TempDir& records) { return records / "calls"; }

}  // namespace

FileTree readTree(const std::string& dir) {
  FileTree tree;
  readTreeInto(dir, "", tree);
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
