#pragma once
// Where the dialogue's answers come from: the terminal, or a script of lines
// in the tests. The dialogue's logic sees only this.

#include <string>

namespace kesp_config_net {

enum class ReadStatus {
  Line,         // a line was read
  End,          // end of input (Ctrl-D at the start of a line)
  Interrupted,  // Ctrl-C
};

class LineSource {
 public:
  virtual ~LineSource() = default;
  /// Shows the prompt and reads one line, without its line end.
  virtual ReadStatus readLine(const std::string& prompt, std::string& line) = 0;
  /// The same, without showing what is typed (passwords).
  virtual ReadStatus readSecret(const std::string& prompt, std::string& line) = 0;
};

}  // namespace kesp_config_net
