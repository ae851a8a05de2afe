#pragma once
// Answers typed at the terminal: one line at a time from standard input,
// Ctrl-C (SIGINT) and Ctrl-D reported as leaving, passwords read without echo.

#include <csignal>
#include <functional>
#include <iosfwd>
#include <string>

#include "line_source.h"

namespace kesp_config_net {

/// Reads standard input with read(2) so that a Ctrl-C interrupts a waiting
/// read; installs its SIGINT handler for its lifetime. answered (when given)
/// is called when the operator's Enter has moved the cursor to a new line.
class TerminalLineSource : public LineSource {
 public:
  explicit TerminalLineSource(std::ostream& out, std::function<void()> answered = nullptr);
  ~TerminalLineSource() override;
  TerminalLineSource(const TerminalLineSource&) = delete;
  TerminalLineSource& operator=(const TerminalLineSource&) = delete;

  ReadStatus readLine(const std::string& prompt, std::string& line) override;
  ReadStatus readSecret(const std::string& prompt, std::string& line) override;

 private:
  ReadStatus readRaw(std::string& line);

  std::ostream& out_;
  std::function<void()> answered_;
  std::string pending_;  // bytes read past the last line end
  bool ended_ = false;
  struct sigaction previous_;
};

/// Ignores SIGINT and SIGQUIT for its lifetime, so that a change once
/// confirmed is carried through (the transaction restores on its own failure,
/// not on an interruption).
class InterruptShield {
 public:
  InterruptShield();
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;

 private:
  struct sigaction previousInt_;
  struct sigaction previousQuit_;
};

}  // namespace kesp_config_net
