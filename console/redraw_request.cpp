#include "redraw_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "kesp/network_change.h"

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
  KESP::registerConsole(getpid());
  active_ = true;
}

void RedrawRequests::suspend() {
  if (!active_) return;
  KESP::unregisterConsole(getpid());
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
