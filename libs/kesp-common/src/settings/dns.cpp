// Name servers: written where the owner of resolv.conf reads them (or staged
// for the next network change, which does the same), and read back as that
// owner will use them.

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cerrno>

#include "change/change_scope.h"
#include "files/file_write.h"
#include "files/names.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "settings/name_server_owners.h"

namespace KESP {

namespace {

/// Where systemd-resolved lists the servers it forwards to: the stub that
/// resolv.conf links to only names resolved itself.
const char kResolvedUpstreamFile[] = "/run/systemd/resolve/resolv.conf";

bool isIpAddress(const std::string& text, int family) {
  // inet_pton stops at a NUL byte; what follows it would still be written.
  if (text.find('\0') != std::string::npos) return false;
  unsigned char buffer[sizeof(struct in6_addr)];
  return inet_pton(family, text.c_str(), buffer) == 1;
}

bool isLinkLocalIpv6(const std::string& text) {
  struct in6_addr address;
  return isIpAddress(text, AF_INET6) && inet_pton(AF_INET6, text.c_str(), &address) == 1 &&
         address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

/// A new staged list starts from the staged file, else from resolv.conf, so
/// that applying it to a resolv.conf of its own keeps the file's other lines.
bool stageNameServers(const std::vector<std::string>& servers) {
  const std::string target = sysPath(RESOLV_CONF_PENDING);
  std::string current;
  bool missing = false;
  if (!detail::readWholeFile(target, current, &missing) && !missing) {
    KESP_LOG(LOG_ERROR, "setDnsServers", "can't read " << target << detail::errnoSuffix(errno));
    return false;
  }
  if (missing && !detail::readWholeFile(sysPath(RESOLV_CONF), current)) current.clear();
  if (!detail::replaceFile(target, detail::withNameServers(current, servers))) {
    KESP_LOG(LOG_ERROR, "setDnsServers", "Failed to write file " << target);
    return false;
  }
  return true;
}

/// What an owner configured with no servers of its own still uses: those of
/// the resolver file it writes.
bool readWrittenServers(NameServerOwner owner, std::vector<std::string>& servers,
                        std::string& source) {
  std::string text;
  if (owner == NameServerOwner::Resolved && detail::readWholeFile(sysPath(kResolvedUpstreamFile), text)) {
    servers = detail::nameServersOf(text);
    source = kResolvedUpstreamFile;
    return true;
  }
  bool missing = false;
  if (!detail::readWholeFile(sysPath(RESOLV_CONF), text, &missing)) {
    // An image's resolv.conf links into a /run that only the running system fills.
    source.clear();
    return missing;
  }
  servers = detail::nameServersOf(text);
  source = RESOLV_CONF;
  return true;
}

}  // namespace

bool isNameServerAddress(const std::string& text) {
  const size_t percent = text.find('%');
  if (percent == std::string::npos)
    return isIpAddress(text, AF_INET) || isIpAddress(text, AF_INET6);
  // A zone index only means something for a link-local address.
  return isLinkLocalIpv6(text.substr(0, percent)) &&
         detail::isValidInterfaceName(text.substr(percent + 1));
}

bool setDnsServers(const std::vector<std::string>& servers, bool pending, bool applyNow) {
  for (const std::string& server : servers) {
    // Anything else would inject resolver options or lines.
    if (!isNameServerAddress(server)) {
      KESP_LOG(LOG_ERROR, "setDnsServers",
               "invalid name server address '" << detail::printable(server) << "'");
      return false;
    }
  }
  detail::ChangeScope scope("setDnsServers");
  if (!scope.isOpen()) return false;
  const NameServerOwner owner = findNameServerOwner();
  // Staged servers that the next change could not write would be lost then.
  if (pending)
    return scope.finish(!detail::refuseUnwritableOwner(owner, "setDnsServers") &&
                        stageNameServers(servers));
  return scope.finish(detail::writeOwnedNameServers(owner, servers, applyNow, "setDnsServers"));
}

namespace detail {

bool applyStagedNameServers(const std::string& staged, const char* operation,
                            const std::string& comingUp) {
  const NameServerOwner owner = findNameServerOwner();
  // A resolv.conf of its own takes the staged text whole, search and options too.
  // The caller names the failure, with errno as the writer left it.
  if (owner == NameServerOwner::File) return replaceFile(sysPath(RESOLV_CONF), staged);
  return writeOwnedNameServers(owner, nameServersOf(staged), true, operation, comingUp);
}

}  // namespace detail

bool useDnsServersNow(const std::vector<std::string>& restarted) {
  return detail::applyOwnedNameServers(findNameServerOwner(), "useDnsServersNow", restarted);
}

bool withdrawPendingDnsServers() {
  const std::string staged = sysPath(RESOLV_CONF_PENDING);
  detail::ChangeScope scope("withdrawPendingDnsServers");
  if (!scope.isOpen()) return false;
  struct stat info;
  if (!detail::statInRoot(staged, info)) return scope.finish(false);
  if (!detail::removeFile(staged)) {
    KESP_LOG(LOG_ERROR, "withdrawPendingDnsServers",
             "can't remove " << staged << detail::errnoSuffix(errno));
    return scope.finish(false);
  }
  return scope.finish(true);
}

bool getDnsServers(std::vector<std::string>& servers, NameServerOwner& owner, std::string& source) {
  servers.clear();
  source.clear();
  owner = findNameServerOwner();
  if (!detail::placesOf(owner).read(servers, source)) return false;
  if (owner == NameServerOwner::File || !servers.empty()) return true;
  return readWrittenServers(owner, servers, source);
}

bool getDnsServers(std::vector<std::string>& servers) {
  NameServerOwner owner;
  std::string source;
  return getDnsServers(servers, owner, source);
}

}  // namespace KESP
