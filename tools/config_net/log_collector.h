#pragma once
// The library writes the reason for a failure to its log. The tool collects
// that log in memory while it works, so that it can show an operator the
// reason of a failed step (and, with --verbose, everything) on standard
// error, instead of log lines scattered through its output.

#include <cstddef>
#include <string>
#include <vector>

namespace kesp_config_net {

struct LogLine {
  int level = 0;  // KESP::LogLevel
  std::string message;
};

/// Reads "<date> <time> [LEVEL] message" lines; a line without that shape
/// continues the message before it (or becomes an ERROR line of its own).
std::vector<LogLine> parseLogText(const std::string& text);

/// Adds message unless messages has it: a library call that looks at the
/// same file several times logs the same warning each time, and the person
/// reading the command's report needs it once.
void addMessageOnce(std::vector<std::string>& messages, const std::string& message);
/// The messages of the lines at or above a level, each once.
std::vector<std::string> messagesAtLeast(const std::vector<LogLine>& lines, int level);

/// Redirects the library's log at INFO into an anonymous in-memory file for
/// its lifetime; the previous destination and threshold come back afterwards.
/// Without such a file (no memfd), the log stays where it was.
class LogCollector {
 public:
  LogCollector();
  ~LogCollector();
  LogCollector(const LogCollector&) = delete;
  LogCollector& operator=(const LogCollector&) = delete;

  /// A position in the collected log, for linesSince.
  size_t mark() const;
  std::vector<LogLine> linesSince(size_t mark) const;

 private:
  int fd_ = -1;
  std::string oldFile_;
  int oldLevel_ = 0;
};

}  // namespace kesp_config_net
