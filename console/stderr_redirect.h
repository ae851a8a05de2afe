#pragma once
// While curses owns the terminal, anything written to standard error (the
// library's warnings, a failing welcome script) would land on the drawn screen
// behind curses' back. Standard error goes to a log file meanwhile and comes
// back to the terminal before the screen is handed over.

#include <string>
#include <vector>

namespace kesp_console {

/// The files that may take standard error, in order of preference: the one
/// KESP_LOG_FILE names (unless empty, "stdout" or "stderr"), then
/// "/var/log/kesp_login.log" under the system root.
std::vector<std::string> stderrLogCandidates();

class StderrRedirect {
 public:
  StderrRedirect() = default;
  ~StderrRedirect();
  StderrRedirect(const StderrRedirect&) = delete;
  StderrRedirect& operator=(const StderrRedirect&) = delete;

  /// Points descriptor 2 at the first candidate that opens for appending, or
  /// at /dev/null when none does. Returns the path used; empty when standard
  /// error could not be moved at all (it is then left as it was).
  std::string toLog();
  /// Points descriptor 2 back where it was before toLog(); harmless when it
  /// was not moved.
  void restore();
  bool active() const { return saved_ >= 0; }

 private:
  int saved_ = -1;
};

}  // namespace kesp_console
