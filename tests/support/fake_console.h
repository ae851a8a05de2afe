#pragma once
// A stand-in for a running console, for tests that reach updateNetworkDisplay:
// a child process named kesp_login that catches SIGUSR1 and is registered
// under a system root, as the console registers itself. It ends when the
// signal comes, so that a test sees whether the display update reached it.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "kesp/network_change.h"
#include "test_support.h"

namespace kesp_test {

class FakeConsole {
 public:
  /// Registers the stand-in under root (a directory used as system root).
  explicit FakeConsole(const std::string& root) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      prctl(PR_SET_NAME, "kesp_login");
      sigset_t usr1;
      sigemptyset(&usr1);
      sigaddset(&usr1, SIGUSR1);
      sigprocmask(SIG_BLOCK, &usr1, nullptr);
      signal(SIGUSR1, [](int) {});  // caught: shows in SigCgt
      if (write(ready[1], "r", 1) != 1) _exit(2);
      int got = 0;
      sigwait(&usr1, &got);
      _exit(got == SIGUSR1 ? 0 : 3);
    }
    close(ready[1]);
    char byte;
    if (pid_ > 0 && read(ready[0], &byte, 1) == 1)
      writeFile(root + KESP::CONSOLE_REGISTRY_DIR + "/" + std::to_string(pid_), "");
    close(ready[0]);
  }
  ~FakeConsole() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  FakeConsole(const FakeConsole&) = delete;
  FakeConsole& operator=(const FakeConsole&) = delete;

  /// True when the stand-in got SIGUSR1 (waits up to five seconds for it).
  bool redrawn() {
    for (int i = 0; i < 500 && !ended_; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        redrawn_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      } else {
        usleep(10000);
      }
    }
    return redrawn_;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  bool redrawn_ = false;
};

}  // namespace kesp_test
