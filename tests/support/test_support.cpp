#include "test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"

namespace kesp_test {

namespace {

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kesp-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  // Tests may leave read-only directories behind (permission cases).
  shell("chmod -R u+rwx " + KESP::shell_quote(path_) + " 2>/dev/null; rm -rf " +
        KESP::shell_quote(path_));
}

std::string TempDir::operator/(const std::string& relative) const {
  return path_ + "/" + relative;
}

SystemRoot::SystemRoot() { KESP::setSystemRoot(dir_.path()); }

SystemRoot::~SystemRoot() { KESP::setSystemRoot(""); }

std::string SystemRoot::operator/(const std::string& absolutePath) const {
  return dir_.path() + absolutePath;
}

std::string fixtureCopyCommand(const std::string& source, const std::string& target) {
  const std::string to = KESP::shell_quote(target);
  return "cp -a " + KESP::shell_quote(source) + "/. " + to + " && find " + to +
         " -name '*.nmconnection' -type f -exec chmod 600 {} +";
}

void SystemRoot::copyFixture(const std::string& fixture) const {
  std::string source = fixturePath(fixture);
  if (shell(fixtureCopyCommand(source, dir_.path())) != 0)
    throw std::runtime_error("cannot copy fixture " + source);
}

void SystemRoot::write(const std::string& absolutePath, const std::string& content,
                       unsigned mode) const {
  writeFile(*this / absolutePath, content, mode);
}

std::string SystemRoot::read(const std::string& absolutePath) const {
  return readFile(*this / absolutePath);
}

LogCapture::LogCapture(int level)
    : file_(dir_ / "log"),
      oldFile_(KESP::g_kesp_log_file_name),
      oldLevel_(KESP::g_kesp_log_level) {
  KESP::g_kesp_log_file_name = file_;
  KESP::g_kesp_log_level = level;
}

LogCapture::~LogCapture() {
  KESP::g_kesp_log_file_name = oldFile_;
  KESP::g_kesp_log_level = oldLevel_;
}

std::string LogCapture::text() const {
  return fileExists(file_) ? readFile(file_) : std::string();
}

std::vector<std::string> LogCapture::lines() const {
  std::vector<std::string> result;
  std::istringstream in(text());
  std::string line;
  while (std::getline(in, line)) {
    // "dd/mm/YYYY HH:MM:SS [LEVEL] message": drop the 20-byte timestamp.
    result.push_back(line.size() > 20 ? line.substr(20) : line);
  }
  return result;
}

bool LogCapture::contains(const std::string& text) const {
  return this->text().find(text) != std::string::npos;
}

std::string fixturePath(const std::string& relative) {
  return std::string(KESP_FIXTURES_DIR) + "/" + relative;
}

void makeDirs(const std::string& path) {
  std::string partial;
  std::istringstream in(path);
  std::string part;
  if (!path.empty() && path[0] == '/') partial = "";
  while (std::getline(in, part, '/')) {
    if (part.empty()) continue;
    partial += "/" + part;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
      throw std::runtime_error("mkdir " + partial + ": " + std::strerror(errno));
  }
}

void writeFile(const std::string& path, const std::string& content, unsigned mode) {
  std::string::size_type slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) makeDirs(path.substr(0, slash));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
  chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool fileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

namespace {

bool walkBelow(const std::string& dir, const std::string& prefix,
               const std::function<void(const std::string&, const std::string&,
                                        const struct stat&)>& visit) {
  DIR* handle = opendir(dir.c_str());
  if (!handle) return false;
  while (const dirent* entry = readdir(handle)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode))
      walkBelow(path, prefix + name + "/", visit);
    else
      visit(prefix + name, path, info);
  }
  closedir(handle);
  return true;
}

}  // namespace

bool forEachFileBelow(const std::string& dir,
                      const std::function<void(const std::string&, const std::string&,
                                               const struct stat&)>& visit) {
  return walkBelow(dir, "", visit);
}

std::string entryContent(const std::string& path, const struct stat& info) {
  if (!S_ISLNK(info.st_mode)) return readFile(path);
  char target[4096];
  const ssize_t n = readlink(path.c_str(), target, sizeof target);
  return "-> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
}

bool isRoot() { return geteuid() == 0; }

int shell(const std::string& command) {
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string shellOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

}  // namespace kesp_test
