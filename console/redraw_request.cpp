#include "redraw_request.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "kesp/network_change.h"
#include "kesp/sysroot.h"

namespace kesp_console {

namespace {

volatile int g_writeEnd = -1;

extern "C" void onRedrawSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (g_writeEnd >= 0 && write(g_writeEnd, &byte, 1) < 0) {
    // A full pipe already holds a request.
  }
  errno = saved;
}

std::string registrationPath() {
  return KESP::sysPath(KESP::CONSOLE_REGISTRY_DIR) + "/" + std::to_string(getpid());
}

void registerProcess() {
  // Each level once: the directories may exist already.
  for (const char* directory : {"/run", "/run/kesp", KESP::CONSOLE_REGISTRY_DIR})
    mkdir(KESP::sysPath(directory).c_str(), 0755);
  const int fd = open(registrationPath().c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;  // then the console is found by name alone, on the real system
  const std::string line = std::to_string(getpid()) + "\n";
  if (write(fd, line.data(), line.size()) < 0) {
    // An empty file registers the process as well.
  }
  close(fd);
}

}  // namespace

RedrawRequests::RedrawRequests() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readEnd_ = ends[0];
  g_writeEnd = ends[1];
  restore();
}

RedrawRequests::~RedrawRequests() {
  suspend();
  if (readEnd_ >= 0) close(readEnd_);
  if (g_writeEnd >= 0) close(g_writeEnd);
  g_writeEnd = -1;
}

void RedrawRequests::restore() {
  if (readEnd_ < 0 || active_) return;
  struct sigaction action = {};
  action.sa_handler = onRedrawSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the wait for a key ends at once and sees the request.
  sigaction(SIGUSR1, &action, nullptr);
  registerProcess();
  active_ = true;
}

void RedrawRequests::suspend() {
  if (!active_) return;
  unlink(registrationPath().c_str());
  signal(SIGUSR1, SIG_DFL);
  active_ = false;
}

bool RedrawRequests::drain() {
  if (readEnd_ < 0) return false;
  bool requested = false;
  char buffer[64];
  for (;;) {
    const ssize_t got = read(readEnd_, buffer, sizeof buffer);
    if (got > 0) {
      requested = true;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return requested;
    }
  }
}

}  // namespace kesp_console
