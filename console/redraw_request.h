#pragma once
// Redraw requests from outside: after a network change the library asks every
// console to check the network again and draw itself anew (SIGUSR1), instead
// of ending it. A console that handles the signal says so with a file named
// by its process number under /run/kesp/consoles (under the system root), so
// that a change made on a system root reaches only the consoles shown for
// that root.

namespace kesp_console {

class RedrawRequests {
 public:
  /// Catches SIGUSR1 (each one makes fd() readable) and registers the
  /// process. Without a pipe fd() is -1 and the signal is left alone.
  RedrawRequests();
  /// Unregisters and puts the signal's default back.
  ~RedrawRequests();
  RedrawRequests(const RedrawRequests&) = delete;
  RedrawRequests& operator=(const RedrawRequests&) = delete;

  /// Non-blocking descriptor to wait on for readability, or -1.
  int fd() const { return readEnd_; }
  /// Reads every pending request; true when there was one.
  bool drain();
  /// Withdraws the registration and the handler (the process is about to be
  /// replaced by another program); restore() takes both up again.
  void suspend();
  void restore();

 private:
  int readEnd_ = -1;
  bool active_ = false;
};

}  // namespace kesp_console
