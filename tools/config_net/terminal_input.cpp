#include "terminal_input.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <utility>

#include "bounded_input.h"

namespace kesp_config_net {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }

}  // namespace

TerminalLineSource::TerminalLineSource(std::ostream& out, std::function<void()> answered)
    : out_(out), answered_(std::move(answered)) {
  g_interrupted = 0;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the waiting read must return so that Ctrl-C takes effect.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &previous_);
}

TerminalLineSource::~TerminalLineSource() { sigaction(SIGINT, &previous_, nullptr); }

ReadStatus TerminalLineSource::readRaw(std::string& line) {
  for (;;) {
    if (g_interrupted) return ReadStatus::Interrupted;
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return ReadStatus::Line;
    }
    if (ended_) {
      if (pending_.empty()) return ReadStatus::End;
      line.swap(pending_);
      pending_.clear();
      return ReadStatus::Line;
    }
    char buffer[256];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0) {
      pending_.append(buffer, static_cast<size_t>(got));
      // No answer is that long: an input without line ends is not held.
      if (pending_.size() > kMaxInputBytes) {
        pending_.clear();
        ended_ = true;
        return ReadStatus::End;
      }
    } else if (got == 0) {
      ended_ = true;
    } else if (errno != EINTR) {
      ended_ = true;
    }
  }
}

ReadStatus TerminalLineSource::readLine(const std::string& prompt, std::string& line) {
  out_ << prompt << std::flush;
  const ReadStatus status = readRaw(line);
  // The cursor still stands after the prompt: end the line for what follows.
  if (status != ReadStatus::Line)
    out_ << "\n" << std::flush;
  else if (answered_)
    answered_();
  return status;
}

ReadStatus TerminalLineSource::readSecret(const std::string& prompt, std::string& line) {
  struct termios saved {};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  out_ << prompt << std::flush;
  const ReadStatus status = readRaw(line);
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  // Without echo the operator's Enter did not move the cursor either.
  if (terminal || status != ReadStatus::Line)
    out_ << "\n" << std::flush;
  else if (answered_)
    answered_();
  return status;
}

InterruptShield::InterruptShield() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &previousInt_);
  sigaction(SIGQUIT, &ignore, &previousQuit_);
}

InterruptShield::~InterruptShield() {
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGQUIT, &previousQuit_, nullptr);
}

}  // namespace kesp_config_net
