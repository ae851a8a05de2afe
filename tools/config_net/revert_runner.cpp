#include "revert_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <ostream>
#include <vector>

#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

const char kOperation[] = "confirm-within";

std::string ownProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  return std::string(path, static_cast<size_t>(n));
}

/// A unit of PID 1 runs in PID 1's network namespace: only there may it
/// restart this change's interfaces.
bool systemdRunsThisNetwork() {
  struct stat ours, init;
  if (access("/run/systemd/system", F_OK) != 0) return false;
  if (stat("/proc/self/ns/net", &ours) != 0 || stat("/proc/1/ns/net", &init) != 0) return false;
  return ours.st_ino == init.st_ino && ours.st_dev == init.st_dev;
}

std::vector<std::string> revertWords(const std::string& program, const std::string& root) {
  std::vector<std::string> words{program};
  if (!root.empty()) words.insert(words.end(), {"--system-root", root});
  words.insert(words.end(), {"revert", "--if-due"});
  return words;
}

/// Runs words (no shell) and waits; true when it exited 0. With detach the
/// child starts a session of its own, its streams on /dev/null, and its other
/// descriptors (the change lock among them) closed.
bool runWords(const std::vector<std::string>& words, bool detach) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      if (detach) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
      }
    }
    if (detach) {
      setsid();
      // The second fork leaves no session leader to take a terminal, and
      // leaves the watcher to init, not to the tool.
      const pid_t watcher = fork();
      if (watcher != 0) _exit(watcher < 0 ? 1 : 0);
    }
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool startRevertRunner(long long deadline, const std::string& systemRoot) {
  const std::string program = ownProgram();
  if (program.empty()) {
    KESP_LOG(KESP::LOG_ERROR, kOperation, "cannot tell where this program is");
    return false;
  }
  std::vector<std::string> revert = revertWords(program, systemRoot);
  const long long now = static_cast<long long>(std::time(nullptr));
  const long long seconds = deadline > now ? deadline - now : 1;
  const std::string systemdRun = KESP::sysPath("/usr/bin/systemd-run");
  if (systemdRunsThisNetwork() && access(systemdRun.c_str(), X_OK) == 0) {
    std::vector<std::string> words{systemdRun,
                                   "--quiet",
                                   "--collect",
                                   "--unit=kesp-revert-" + std::to_string(deadline) + "-" +
                                       std::to_string(getpid()),
                                   "--on-active=" + std::to_string(seconds) + "s",
                                   "--timer-property=AccuracySec=1s",
                                   "--"};
    words.insert(words.end(), revert.begin(), revert.end());
    if (runWords(words, false)) return true;
    KESP_LOG(KESP::LOG_WARN, kOperation, "systemd-run could not start the timer; a watcher waits instead");
  }
  revert.insert(revert.end(), {"--at", std::to_string(deadline)});
  if (runWords(revert, true)) return true;
  KESP_LOG(KESP::LOG_ERROR, kOperation, "cannot start a watcher for the deadline");
  return false;
}

void sleepUntil(long long deadline) {
  for (;;) {
    const long long now = static_cast<long long>(std::time(nullptr));
    if (now >= deadline) return;
    struct timespec wait{static_cast<time_t>(deadline - now), 0};
    nanosleep(&wait, nullptr);
  }
}

PendingGuard::PendingGuard(int seconds, const std::string& systemRoot) {
  if (seconds <= 0) return;
  armed_ = true;
  KESP::setConfirmWithin(seconds,
                         [systemRoot](long long deadline) { return startRevertRunner(deadline, systemRoot); });
}

PendingGuard::~PendingGuard() {
  if (armed_) KESP::setConfirmWithin(0, nullptr);
}

void reportPending(std::ostream& out) {
  KESP::PendingChange pending;
  if (!KESP::findPendingChange(pending)) return;
  out << trf("pending until {1}: 'kesp_config_net confirm' keeps the change, 'kesp_config_net "
             "revert' puts it back; unconfirmed, it is put back by itself",
             {pending.deadlineText})
      << "\n";
}

}  // namespace kesp_config_net
