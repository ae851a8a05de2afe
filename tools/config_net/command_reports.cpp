// How the commands tell a script what went wrong: one line naming the
// failure, the reasons the library logged under it, or the usage and a pointer
// to the help.

#include <ostream>

#include "commands.h"
#include "help_text.h"

namespace kesp_config_net {

int reportFailure(std::ostream& err, const std::string& what,
                  const std::vector<std::string>& reasons) {
  err << "kesp_config_net: " << what << "\n";
  for (const std::string& reason : reasons) err << "  " << reason << "\n";
  return EXIT_FAILED;
}

int reportUsage(std::ostream& err, const std::string& command, const std::string& message) {
  err << "kesp_config_net: " << message << "\n"
      << usageSynopsis(command) << "Try 'kesp_config_net "
      << (command.empty() ? "" : command + " ") << "--help'.\n";
  return EXIT_USAGE;
}

void reportWarnings(std::ostream& err, const Outcome& outcome) {
  for (const std::string& warning : outcome.warnings)
    err << "kesp_config_net: warning: " << warning << "\n";
  // A step that succeeded may still have failed in a part that does not
  // decide its result (the package manager's copy of the proxy, say).
  if (outcome.ok)
    for (const std::string& error : outcome.errors)
      err << "kesp_config_net: warning: " << error << "\n";
}

}  // namespace kesp_config_net
