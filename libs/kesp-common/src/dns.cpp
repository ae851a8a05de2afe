#include <arpa/inet.h>

#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "names.h"

namespace KESP {

namespace {

bool isIpAddress(const std::string& text) {
  // inet_pton stops at a NUL byte; what follows it would still be written.
  if (text.find('\0') != std::string::npos) return false;
  unsigned char buffer[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

}  // namespace

bool setDnsServers(const std::vector<std::string>& servers, bool pending) {
  for (const std::string& server : servers) {
    // Anything else would inject resolver options or lines.
    if (!isIpAddress(server)) {
      KESP_LOG(LOG_ERROR, "setDnsServers",
               "invalid name server address '" << detail::printable(server) << "'");
      return false;
    }
  }
  KeyValueFile resolver(' ');
  resolver.set("nameserver", servers);
  return resolver.save(sysPath(pending ? RESOLV_CONF_PENDING : RESOLV_CONF));
}

bool getDnsServers(std::vector<std::string>& servers) {
  servers.clear();
  KeyValueFile resolver(' ');
  if (!resolver.load(sysPath(RESOLV_CONF))) return false;
  resolver.getAll("nameserver", servers);
  return true;
}

}  // namespace KESP
