#include "kesp/sysroot.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace KESP {

namespace {
bool g_offlineImage = false;

std::string& rootStorage() {
  static std::string root;
  return root;
}

/// dir made absolute, with "//", "." and ".." taken out, for a root that does
/// not exist (yet): the same text however it was spelled.
std::string lexicallyCanonical(const std::string& dir) {
  std::string path = dir;
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result;
}
}  // namespace

void setSystemRoot(const std::string& dir) {
  // "/tmp/x/", "tmp/x", "/tmp//x" and a link to /tmp/x give the same paths, so
  // that whatever is recorded under the root means the same on every run;
  // "/" means the real system.
  std::string root;
  if (!dir.empty()) {
    char* real = realpath(dir.c_str(), nullptr);
    root = real ? std::string(real) : lexicallyCanonical(dir);
    std::free(real);
  }
  while (!root.empty() && root.back() == '/') root.pop_back();
  rootStorage() = root;
}

const std::string& systemRoot() { return rootStorage(); }

void setOfflineImage(bool offline) { g_offlineImage = offline; }

bool offlineImage() { return g_offlineImage; }

std::string sysPath(const std::string& absolutePath) {
  const std::string& root = rootStorage();
  if (root.empty()) return absolutePath;
  return root + absolutePath;
}

}  // namespace KESP
