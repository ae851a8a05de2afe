#include "word_wrap.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace kesp_config_net {

namespace {

// What a prompt leaves free for the answer typed after it: an IPv4 address
// with its length, a few names.
const size_t kAnswerRoom = 24;

size_t characters(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

}  // namespace

void appendWrapped(const std::string& text, size_t width, size_t indent, size_t& column,
                   std::string& out) {
  // The last column stays free: a character there leaves the cursor at the
  // edge, where some consoles already begin the next line.
  const size_t usable = width > 1 ? width - 1 : width;
  if (indent * 2 > usable) indent = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t wordStart = text.find_first_not_of(' ', start);
    const std::string blanks = text.substr(start, wordStart == std::string::npos ? std::string::npos
                                                                                 : wordStart - start);
    if (wordStart == std::string::npos) {
      // Blanks that end the text (a prompt's) stay on the line when they fit.
      if (column + blanks.size() > usable) {
        out += "\n" + std::string(indent, ' ');
        column = indent;
      } else {
        out += blanks;
        column += blanks.size();
      }
      return;
    }
    size_t wordEnd = text.find(' ', wordStart);
    if (wordEnd == std::string::npos) wordEnd = text.size();
    const std::string word = text.substr(wordStart, wordEnd - wordStart);
    const size_t length = characters(word);
    if (column > indent && column + blanks.size() + length > usable) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else {
      out += blanks;
      column += blanks.size();
    }
    out += word;
    column += length;
    start = wordEnd;
  }
}

size_t terminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void WordWrapBuffer::lineEnded() {
  sync();
  column_ = 0;
}

void WordWrapBuffer::emitPending(size_t width) {
  if (column_ == 0) indent_ = pending_.find_first_not_of(' ') == std::string::npos
                                  ? 0
                                  : pending_.find_first_not_of(' ');
  std::string out;
  appendWrapped(pending_, width, indent_, column_, out);
  pending_.clear();
  target_->sputn(out.data(), static_cast<std::streamsize>(out.size()));
}

WordWrapBuffer::int_type WordWrapBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (traits_type::to_char_type(c) != '\n') {
    pending_ += traits_type::to_char_type(c);
    return c;
  }
  emitPending(width_);
  target_->sputc('\n');
  column_ = 0;
  return c;
}

int WordWrapBuffer::sync() {
  if (!pending_.empty())
    emitPending(width_ > 2 * kAnswerRoom ? width_ - kAnswerRoom : width_ / 2 + 1);
  return target_->pubsync();
}

}  // namespace kesp_config_net
