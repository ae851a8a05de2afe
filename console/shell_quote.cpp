#include "shell_quote.h"

namespace kesp_console {

std::string quotedForShell(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

}  // namespace kesp_console
