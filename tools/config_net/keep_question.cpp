#include "keep_question.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>

#include "dialogue_parts.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

const int kRemoteConfirmSeconds = 120;

}  // namespace

int dialogueConfirmSeconds(bool live) {
  const char* remote = std::getenv("SSH_CONNECTION");
  return live && remote && *remote ? kRemoteConfirmSeconds : 0;
}

bool askToKeep(int fd, std::ostream& out, int seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  std::string line;
  int shown = -1;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) break;
    const int secondsLeft = static_cast<int>((left + 999) / 1000);
    if (secondsLeft != shown) {
      shown = secondsLeft;
      // The same width every time: a shorter number leaves nothing behind.
      std::string count = std::to_string(secondsLeft);
      count.insert(0, count.size() < 3 ? 3 - count.size() : 0, ' ');
      out << "\r" << trf("Keep these settings? They are put back in {1} seconds unless you answer yes: ",
                         {count})
          << std::flush;
    }
    struct pollfd wait{fd, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(left % 1000 == 0 ? 1000 : left % 1000));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char byte = 0;
    const ssize_t got = read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (byte == '\n') {
      out << "\n";
      return isYesWord(line);
    }
    if (line.size() < 64) line += byte;
  }
  out << "\n";
  return false;
}

}  // namespace kesp_config_net
