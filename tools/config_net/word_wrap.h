#pragma once
// The dialogue's text on a terminal, broken between words before the
// terminal's edge: a console breaks a long line wherever it fills up, in the
// middle of a word.

#include <streambuf>
#include <string>

namespace kesp_config_net {

/// Appends text (no line ends) to out for a terminal of width columns whose
/// cursor stands at column: a word that would reach the last column starts a
/// new line, indented like the line it continues (indent: that line's leading
/// blanks). Columns are counted in characters of UTF-8 text. A word longer
/// than a line is left whole for the terminal to break.
void appendWrapped(const std::string& text, size_t width, size_t indent, size_t& column,
                   std::string& out);

/// The columns of the terminal on standard output; 80 when it does not say.
size_t terminalColumns();

/// Passes what is written on to target, each line wrapped by appendWrapped.
/// A partial line goes on at every flush: a prompt, which then leaves room
/// for its answer before the edge, where the terminal would break it.
class WordWrapBuffer : public std::streambuf {
 public:
  WordWrapBuffer(std::streambuf* target, size_t width) : target_(target), width_(width) {}
  ~WordWrapBuffer() override { sync(); }

  /// The cursor went to the start of a line without passing here: the
  /// operator's Enter ended an answer.
  void lineEnded();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  void emitPending(size_t width);

  std::streambuf* target_;
  size_t width_;
  size_t column_ = 0;
  size_t indent_ = 0;
  std::string pending_;  // written since the last line end or flush
};

}  // namespace kesp_config_net
