#include "input_wait.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "netlink_watcher.h"
#include "redraw_request.h"

namespace kesp_console {

InputWaiter::InputWaiter(WINDOW* keys, NetlinkWatcher& watcher,
                         std::chrono::milliseconds timeout)
    : keys_(keys), watcher_(watcher), timeout_(timeout) {
  restartClock();
}

void InputWaiter::restartClock() { deadline_ = std::chrono::steady_clock::now() + timeout_; }

Input InputWaiter::next() {
  bool hungUp = false;
  for (;;) {
    // Without delay, curses hands out what it buffered or what the terminal
    // has ready; it still waits its escape delay for the rest of a sequence.
    wtimeout(keys_, 0);
    int key = wgetch(keys_);
    if (key != ERR) {
      restartClock();
      return {InputEvent::Key, key};
    }
    if (hungUp) return {InputEvent::TerminalClosed, ERR};

    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      restartClock();
      return {InputEvent::TimedOut, ERR};
    }

    // A negative descriptor is skipped by poll.
    pollfd watched[3] = {{STDIN_FILENO, POLLIN, 0}, {watcher_.fd(), POLLIN, 0}, {redraws_ ? redraws_->fd() : -1, POLLIN, 0}};
    int ready = poll(watched, 3, static_cast<int>(left.count()));
    if (ready < 0) {
      // EINTR: a signal such as a window size change (curses reports it as a
      // key) or a redraw request (its descriptor is readable now).
      if (errno != EINTR) hungUp = true;
      continue;
    }
    if (ready == 0) continue;  // the deadline is checked above
    // A hung-up terminal also reports itself readable; what it still holds is
    // read above before the end is reported.
    if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp = true;
    if (watched[0].revents & POLLIN) {
      // Readable with nothing to read is the end of the input (a hung-up
      // terminal, or no terminal at all): waiting on would spin.
      int pending = 0;
      if (ioctl(STDIN_FILENO, FIONREAD, &pending) != 0 || pending == 0) hungUp = true;
      // Keys first: every key re-checks the network anyway.
      continue;
    }
    if ((watched[2].revents & POLLIN) && redraws_->drain()) {
      restartClock();
      return {InputEvent::RedrawRequested, ERR};
    }
    if ((watched[1].revents & POLLIN) && watcher_.drain()) {
      restartClock();
      return {InputEvent::NetworkChanged, ERR};
    }
  }
}

}  // namespace kesp_console
