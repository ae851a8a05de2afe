#include <unistd.h>

#include <cstring>

#include "change_scope.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "process.h"

namespace KESP {

namespace {

const char kHostNameScript[] = "/opt/tolvex/share/kesp/kesp_set_hostname";
const char kDisplayUpdate[] = "killall -9 kesp_login";
const size_t kNameLimit = 64;

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
  std::string output;
  int status = detail::runArgv(argv, &output);
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

void updateNetworkDisplay() {
  std::string output;
  if (execute(kDisplayUpdate, output) < 0) {
    KESP_LOG(LOG_WARN, "updateNetworkDisplay", "Unable to execute " << kDisplayUpdate << " command");
    return;
  }
  KESP_LOG(LOG_INFO, "updateNetworkDisplay", "Output of " << kDisplayUpdate << ": " << output);
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
