#include <unistd.h>

#include <cstring>

#include "change/change_scope.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "system/process.h"

namespace KESP {

namespace {

const char kHostNameScript[] = "/opt/tolvex/share/kesp/kesp_set_hostname";
const size_t kNameLimit = 64;
const char kRootVariable[] = "KESP_SYSTEM_ROOT";

/// The host name arrives as the script's arguments, split at blanks, never
/// through a shell: it is a caller's text and the script runs as root.
int runHostNameScript(const std::string* hostName) {
  std::string script = sysPath(kHostNameScript);
  std::vector<std::string> argv{script};
  std::string command = script;
  if (hostName) {
    command += " " + *hostName;
    for (const std::string& word : detail::splitBlanks(*hostName)) argv.push_back(word);
  }
  // The script edits the files of the root the library works on; empty for
  // the running system, whatever the caller's environment held.
  const std::vector<std::string> settings{std::string(kRootVariable) + "=" + systemRoot()};
  std::string output;
  int status = detail::runArgv(argv, &output, settings);
  if (status != 0) {
    KESP_LOG(LOG_ERROR, "kesp_set_hostname", "Unable to execute " << command << " command");
    return 1;
  }
  KESP_LOG(LOG_INFO, "kesp_set_hostname", "Output of " << command << ": " << output);
  return 0;
}

}  // namespace

int kesp_set_hostname() { return runHostNameScript(nullptr); }

int kesp_set_hostname(const std::string& hostName) {
  // The script rewrites the host-name files: one change at a time.
  detail::ChangeScope scope("kesp_set_hostname");
  if (!scope.isOpen()) return 1;
  // What the script rewrites is on record first, so that a run cut off
  // half-way can be put back like any other change.
  for (const char* file : {"/etc/hostname", "/etc/hosts"}) {
    if (!detail::journalBeforeChange(sysPath(file))) {
      scope.finish(false);
      return 1;
    }
  }
  const int status = runHostNameScript(&hostName);
  scope.finish(status == 0);
  return status;
}

std::string getHostName() {
  char buffer[kNameLimit + 1];
  if (gethostname(buffer, kNameLimit) != 0) return std::string();
  buffer[kNameLimit] = '\0';
  return buffer;
}

int getHostNameInto(char* buffer) {
  if (!buffer) return 0;
  return gethostname(buffer, kNameLimit);
}

int getDomainName(char* buffer) {
  if (!buffer) return 0;
  return getdomainname(buffer, kNameLimit);
}

int setDomainName(const char* name) {
  if (!name) return 0;
  return setdomainname(name, strnlen(name, kNameLimit));
}

}  // namespace KESP
