#pragma once
// Asking one thing until the answer is acceptable: the prompt, the default
// shown in brackets, the check, and the message that names what was wrong.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "line_source.h"

namespace kesp_config_net {

/// Returns an empty text to accept an answer, or the sentence that says why not.
using AnswerCheck = std::function<std::string(const std::string& answer)>;

class Prompter {
 public:
  Prompter(LineSource& input, std::ostream& out) : input_(input), out_(out) {}

  /// Asks until check accepts the answer (blanks around it removed). An empty
  /// line gives fallback when that is not empty; the prompt then shows it in
  /// brackets. False when the operator left (Ctrl-D, Ctrl-C).
  bool ask(const std::string& prompt, const std::string& fallback, const AnswerCheck& check,
           std::string& answer);
  /// A line typed without echo; nothing is checked. False when the operator left.
  bool askSecret(const std::string& prompt, std::string& answer);
  /// A numbered menu under title: the answer is a number 1..N, an empty line
  /// takes fallbackIndex. choice is 0-based. False when the operator left.
  bool choose(const std::string& title, const std::vector<std::string>& items,
              size_t fallbackIndex, size_t& choice);

  /// Writes "  Not accepted: <problem>" (the form every refusal takes).
  void refuse(const std::string& problem);

  std::ostream& out() { return out_; }

 private:
  LineSource& input_;
  std::ostream& out_;
};

/// The text without blanks at either end.
std::string trimmed(const std::string& text);

}  // namespace kesp_config_net
