// How the commands tell a script what went wrong: one line naming the
// failure, the reasons the library logged under it, or the usage and a pointer
// to the help.

#include <ostream>

#include "commands.h"
#include "help_text.h"
#include "kesp/interface_files.h"
#include "translate.h"

namespace kesp_config_net {

int reportFailure(std::ostream& err, const std::string& what,
                  const std::vector<std::string>& reasons) {
  err << "kesp_config_net: " << what << "\n";
  for (const std::string& reason : reasons) err << "  " << reason << "\n";
  return EXIT_FAILED;
}

int reportUsage(std::ostream& err, const std::string& command, const std::string& message) {
  err << "kesp_config_net: " << message << "\n"
      << usageSynopsis(command)
      << trf("Try '{1}'.", {"kesp_config_net " + (command.empty() ? "" : command + " ") + "--help"})
      << "\n";
  return EXIT_USAGE;
}

namespace {

/// "a, b or c"
std::string orList(const std::vector<std::string>& items) {
  std::string list;
  for (size_t i = 0; i < items.size(); ++i)
    list += (i == 0 ? "" : i + 1 == items.size() ? tr(" or ") : ", ") + items[i];
  return list;
}

}  // namespace

std::string knownFamilies() { return orList(KESP::osFlavourTitles()); }

std::string noFamilyMessage(const std::string& root) {
  const std::string looked = orList(KESP::osFlavourMarkers());
  if (root.empty())
    return trf("no {1} network configuration was found on this system "
               "(looked for the directory {2})",
               {knownFamilies(), looked});
  return trf("no {1} network configuration was found under the root {2} "
             "(looked for the directory {3})",
             {knownFamilies(), root, looked});
}

int reportNoFamily(std::ostream& err, const std::string& root) {
  return reportFailure(err, noFamilyMessage(root), {});
}

void reportWarnings(std::ostream& err, const Outcome& outcome) {
  for (const std::string& warning : outcome.warnings)
    err << "kesp_config_net: " << trf("warning: {1}", {warning}) << "\n";
  // A step that succeeded may still have failed in a part that does not
  // decide its result (the package manager's copy of the proxy, say).
  if (outcome.ok)
    for (const std::string& error : outcome.errors)
      err << "kesp_config_net: " << trf("warning: {1}", {error}) << "\n";
}

}  // namespace kesp_config_net
