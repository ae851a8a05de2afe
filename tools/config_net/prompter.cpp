#include "prompter.h"

#include <cctype>
#include <ostream>

#include "input_checks.h"
#include "translate.h"

namespace kesp_config_net {

std::string trimmed(const std::string& text) {
  size_t start = 0, end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

void Prompter::refuse(const std::string& problem) {
  out_ << "  " << trf("Not accepted: {1}", {problem}) << "\n";
}

bool Prompter::ask(const std::string& prompt, const std::string& fallback,
                   const AnswerCheck& check, std::string& answer) {
  const std::string shown = fallback.empty() ? prompt + ": " : prompt + " [" + fallback + "]: ";
  for (;;) {
    std::string line;
    out_.flush();
    if (input_.readLine(shown, line) != ReadStatus::Line) return false;
    std::string candidate = trimmed(line);
    if (candidate.empty()) candidate = fallback;
    const std::string problem = check(candidate);
    if (problem.empty()) {
      answer = candidate;
      return true;
    }
    refuse(problem);
  }
}

bool Prompter::askSecret(const std::string& prompt, std::string& answer) {
  out_.flush();
  return input_.readSecret(prompt + ": ", answer) == ReadStatus::Line;
}

bool Prompter::choose(const std::string& title, const std::vector<std::string>& items,
                      size_t fallbackIndex, size_t& choice) {
  out_ << title << "\n";
  for (size_t i = 0; i < items.size(); ++i) out_ << "  " << i + 1 << ") " << items[i] << "\n";
  const std::string range = "1-" + std::to_string(items.size());
  std::string answer;
  const bool answered =
      ask(trf("Choose {1}", {range}), std::to_string(fallbackIndex + 1),
          [&](const std::string& text) -> std::string {
            bool digits = !text.empty() && text.size() <= 3;
            for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
            if (!digits || std::stoul(text) < 1 || std::stoul(text) > items.size())
              return trf("{1} is not one of the choices {2}", {quoteForMessage(text), range});
            return "";
          },
          answer);
  if (!answered) return false;
  choice = std::stoul(answer) - 1;
  return true;
}

}  // namespace kesp_config_net
