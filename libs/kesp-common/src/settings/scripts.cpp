// The interface-list and deployment-property scripts, run without a shell: the
// property name is the caller's text and must never reach a command line.

#include "kesp/scripts.h"

#include <unistd.h>

#include <cerrno>

#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "system/process.h"

namespace KESP {

namespace {

const char* const kInterfaceScript = "/opt/tolvex/share/kesp/kesp_interfaces";
const char* const kPropertyScript = "/opt/tolvex/share/kesp/kesp_ovf_process";
const char* const kUnknownProperty = "Unable to determine";

/// Runs the program and captures its standard output. False, logged, when it
/// could not be started. A failed exec and a script's own status 127 look
/// alike after the fact, so a program that cannot be executed is caught first.
bool runScript(const std::vector<std::string>& argv, std::string& output,
               const char* operation) {
  if (access(argv[0].c_str(), X_OK) != 0) {
    int error = errno;
    KESP_LOG(LOG_ERROR, operation, "unable to run " << argv[0] << detail::errnoSuffix(error));
    return false;
  }
  if (detail::runArgv(argv, &output) == -1) {
    KESP_LOG(LOG_ERROR, operation, "unable to start " << argv[0]);
    return false;
  }
  return true;
}

}  // namespace

bool getScriptInterfaces(std::vector<std::string>& names) {
  std::string output;
  if (!runScript({sysPath(kInterfaceScript)}, output, "getScriptInterfaces")) return false;
  names.clear();
  std::string::size_type start = 0;
  while (start < output.size()) {
    std::string::size_type end = output.find('\n', start);
    // The last name counts even when the script did not end it with a newline.
    if (end == std::string::npos) end = output.size();
    names.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

void getOvfProperty(const std::string& name, std::string& value) {
  std::vector<std::string> argv = {sysPath(kPropertyScript), "-g"};
  for (const std::string& word : detail::splitBlanks(name)) argv.push_back(word);
  std::string output;
  value = runScript(argv, output, "getOvfProperty") ? output : kUnknownProperty;
}

}  // namespace KESP
