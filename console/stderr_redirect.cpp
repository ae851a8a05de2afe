#include "stderr_redirect.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "kesp/sysroot.h"

namespace kesp_console {

namespace {

const char kDefaultLogFile[] = "/var/log/kesp_login.log";

int openForAppending(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0640);
}

}  // namespace

std::vector<std::string> stderrLogCandidates() {
  std::vector<std::string> candidates;
  const char* named = std::getenv("KESP_LOG_FILE");
  if (named && *named) {
    std::string name(named);
    // These two select the library's streams; they are no files.
    if (name != "stdout" && name != "stderr") candidates.push_back(name);
  }
  candidates.push_back(KESP::sysPath(kDefaultLogFile));
  return candidates;
}

StderrRedirect::~StderrRedirect() { restore(); }

std::string StderrRedirect::toLog() {
  if (saved_ >= 0) return std::string();
  // Kept first: with descriptor 2 closed there is nothing to protect, and the
  // log must not be opened as descriptor 2 and then closed again.
  int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (saved < 0) return std::string();

  std::string used;
  int log = -1;
  for (const std::string& candidate : stderrLogCandidates()) {
    log = openForAppending(candidate);
    if (log >= 0) {
      used = candidate;
      break;
    }
  }
  if (log < 0) {
    log = open("/dev/null", O_WRONLY | O_CLOEXEC);
    used = "/dev/null";
  }
  std::fflush(stderr);
  if (log < 0 || dup2(log, STDERR_FILENO) < 0) {
    if (log >= 0) close(log);
    close(saved);
    return std::string();
  }
  close(log);
  saved_ = saved;
  return used;
}

void StderrRedirect::restore() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  dup2(saved_, STDERR_FILENO);
  close(saved_);
  saved_ = -1;
}

}  // namespace kesp_console
