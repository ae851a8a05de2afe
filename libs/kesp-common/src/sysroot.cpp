#include "kesp/sysroot.h"

namespace KESP {

namespace {
std::string& rootStorage() {
  static std::string root;
  return root;
}
}  // namespace

void setSystemRoot(const std::string& dir) {
  std::string root = dir;
  // "/tmp/x/" and "/tmp/x" must give the same paths, and "/" means the real system.
  while (!root.empty() && root.back() == '/') root.pop_back();
  rootStorage() = root;
}

const std::string& systemRoot() { return rootStorage(); }

std::string sysPath(const std::string& absolutePath) {
  const std::string& root = rootStorage();
  if (root.empty()) return absolutePath;
  return root + absolutePath;
}

}  // namespace KESP
