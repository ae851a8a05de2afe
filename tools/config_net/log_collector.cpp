#include "log_collector.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "kesp/log.h"

namespace kesp_config_net {

namespace {

struct LevelName {
  const char* tag;
  int level;
};

const LevelName kLevels[] = {
    {"[DEBUG] ", KESP::LOG_DEBUG}, {"[INFO] ", KESP::LOG_INFO},
    {"[WARN] ", KESP::LOG_WARN},   {"[ERROR] ", KESP::LOG_ERROR},
};

/// Level and message of a log line, false when it has no level tag.
bool splitLine(const std::string& line, LogLine& parsed) {
  for (const LevelName& name : kLevels) {
    const size_t at = line.find(name.tag);
    // The tag follows the timestamp, "dd/mm/YYYY HH:MM:SS " (20 bytes), or an
    // empty one when the clock could not be read.
    if (at != std::string::npos && at <= 21) {
      parsed.level = name.level;
      parsed.message = line.substr(at + std::string(name.tag).size());
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<LogLine> parseLogText(const std::string& text) {
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    LogLine parsed;
    if (splitLine(line, parsed)) {
      lines.push_back(parsed);
    } else if (!lines.empty()) {
      lines.back().message += "\n" + line;
    } else if (!line.empty()) {
      lines.push_back({KESP::LOG_ERROR, line});
    }
  }
  return lines;
}

void addMessageOnce(std::vector<std::string>& messages, const std::string& message) {
  if (std::find(messages.begin(), messages.end(), message) == messages.end())
    messages.push_back(message);
}

std::vector<std::string> messagesAtLeast(const std::vector<LogLine>& lines, int level) {
  std::vector<std::string> messages;
  for (const LogLine& line : lines)
    if (line.level >= level) addMessageOnce(messages, line.message);
  return messages;
}

LogCollector::LogCollector() : oldFile_(KESP::g_kesp_log_file_name), oldLevel_(KESP::g_kesp_log_level) {
  // Close-on-exec: the programs the library runs must not inherit it.
  fd_ = memfd_create("kesp_config_net-log", MFD_CLOEXEC);
  if (fd_ < 0) return;
  // The logger opens its destination by name for every line, in append mode.
  KESP::g_kesp_log_file_name = "/proc/self/fd/" + std::to_string(fd_);
  KESP::g_kesp_log_level = KESP::LOG_INFO;
}

LogCollector::~LogCollector() {
  if (fd_ < 0) return;
  KESP::g_kesp_log_file_name = oldFile_;
  KESP::g_kesp_log_level = oldLevel_;
  close(fd_);
}

size_t LogCollector::mark() const {
  struct stat status;
  if (fd_ < 0 || fstat(fd_, &status) != 0) return 0;
  return static_cast<size_t>(status.st_size);
}

std::vector<LogLine> LogCollector::linesSince(size_t mark) const {
  std::string text;
  if (fd_ < 0) return {};
  char buffer[4096];
  off_t offset = static_cast<off_t>(mark);
  for (;;) {
    const ssize_t got = pread(fd_, buffer, sizeof buffer, offset);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    offset += got;
  }
  return parseLogText(text);
}

}  // namespace kesp_config_net
