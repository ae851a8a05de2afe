// Name servers: resolv.conf (or the staged file that the next network change
// takes up) rewritten with new "nameserver" lines, every other line kept.

#include <arpa/inet.h>
#include <sys/stat.h>

#include "change/change_scope.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "files/names.h"
#include "files/root_path.h"
#include "files/text_lines.h"

namespace KESP {

namespace {

const char kNameServerKeyword[] = "nameserver";

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

bool isNameServerLine(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line.compare(start, 10, kNameServerKeyword) != 0) return false;
  const size_t after = start + 10;
  return after == line.size() || line[after] == ' ' || line[after] == '\t';
}

/// The current text with the name servers replaced: the new lines take the
/// place of the first old "nameserver" line (or are appended), the other old
/// ones go, and every other line (search, domain, options, comments) stays.
std::string withNameServers(const std::string& current, const std::vector<std::string>& servers) {
  std::list<std::string> newLines;
  for (const std::string& server : servers) newLines.push_back(kNameServerKeyword + (" " + server));
  std::list<std::string> lines = detail::splitLines(current);
  bool placed = false;
  for (auto line = lines.begin(); line != lines.end();) {
    if (!isNameServerLine(*line)) {
      ++line;
      continue;
    }
    if (!placed) lines.insert(line, newLines.begin(), newLines.end());
    placed = true;
    line = lines.erase(line);
  }
  if (!placed) lines.insert(lines.end(), newLines.begin(), newLines.end());
  return detail::joinLines(lines);
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

bool setDnsServers(const std::vector<std::string>& servers, bool pending) {
  for (const std::string& server : servers) {
    // Anything else would inject resolver options or lines.
    if (!isNameServerAddress(server)) {
      KESP_LOG(LOG_ERROR, "setDnsServers",
               "invalid name server address '" << detail::printable(server) << "'");
      return false;
    }
  }
  const std::string target = sysPath(pending ? RESOLV_CONF_PENDING : RESOLV_CONF);
  detail::ChangeScope scope("setDnsServers");
  if (!scope.isOpen()) return false;
  // A staged list starts from the staged file, else from resolv.conf, so
  // that applying it keeps resolv.conf's other lines.
  std::string current;
  bool missing = false;
  if (!detail::readWholeFile(target, current, &missing) && !missing) {
    KESP_LOG(LOG_ERROR, "setDnsServers", "can't read " << target << detail::errnoSuffix(errno));
    return false;
  }
  if (missing && pending && !detail::readWholeFile(sysPath(RESOLV_CONF), current)) current.clear();
  if (!detail::replaceFile(target, withNameServers(current, servers))) {
    KESP_LOG(LOG_ERROR, "setDnsServers", "Failed to write file " << target);
    return scope.finish(false);
  }
  return scope.finish(true);
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

bool getDnsServers(std::vector<std::string>& servers) {
  servers.clear();
  KeyValueFile resolver(' ');
  if (!resolver.load(sysPath(RESOLV_CONF))) return false;
  resolver.getAll(kNameServerKeyword, servers);
  return true;
}

}  // namespace KESP
