// What a desired state would change: each setting that differs from the
// system is written by its own writer into a draft, and the draft compared
// with the files as they are.

#include <arpa/inet.h>

#include <algorithm>

#include "change/change_request.h"
#include "files/draft.h"
#include "files/file_write.h"
#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "kesp/proxy.h"
#include "kesp/state_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"

namespace KESP {

namespace {

const char kOperation[] = "planState";
const char kDefaultProxyPort[] = "80";

/// The prefix length of a dotted netmask; -1 when it is none.
int prefixLength(const std::string& netmask) {
  struct in_addr mask;
  if (inet_pton(AF_INET, netmask.c_str(), &mask) != 1) return -1;
  return static_cast<int>(countBits(ntohl(mask.s_addr)));
}

/// IPv6 texts compare by what they mean: "2001:DB8:0::1" is "2001:db8::1".
bool sameIpv6(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::string canonicalA, canonicalB;
  return !a.empty() && !b.empty() && makeCanonicalIPv6(a, canonicalA) &&
         makeCanonicalIPv6(b, canonicalB) && canonicalA == canonicalB;
}

std::string withoutSlash(const std::string& prefix) {
  return !prefix.empty() && prefix[0] == '/' ? prefix.substr(1) : prefix;
}

bool sameConfiguration(const ConfiguredNetwork& current, const DesiredInterface& wanted) {
  if (!current.configured || current.mode != wanted.mode) return false;
  if (wanted.mode & STATICV4) {
    if (current.ipv4.address != wanted.ipv4Address ||
        prefixLength(current.ipv4.netmask) != prefixLength(wanted.ipv4Netmask) ||
        current.ipv4.gateway != wanted.ipv4Gateway)
      return false;
  }
  if (wanted.mode & STATICV6) {
    if (!sameIpv6(current.ipv6.address, wanted.ipv6Address) ||
        withoutSlash(current.ipv6.prefix) != withoutSlash(wanted.ipv6Prefix) ||
        (current.ipv6.gateway != wanted.ipv6Gateway &&
         !sameIpv6(current.ipv6.gateway, wanted.ipv6Gateway)))
      return false;
  }
  return true;
}

detail::ChangeRequest requestFor(const DesiredInterface& wanted) {
  return detail::ChangeRequest{wanted.name,        wanted.mode,        wanted.ipv4Address,
                               wanted.ipv4Netmask, wanted.ipv4Gateway, wanted.ipv6Address,
                               wanted.ipv6Prefix,  wanted.ipv6Gateway};
}

/// A change rewrites an existing configuration only: where the family
/// configures the interface nowhere yet, its own file is drafted first, as
/// the single-setting commands add it.
bool draftOwnFile(const std::string& iface) {
  return !needsOwnConfiguration(iface) || move(MOVE_ADD, iface, "");
}

bool planInterfaces(const DesiredState& state, bool live, const detail::DraftedFiles& draft,
                    StatePlan& plan) {
  if (state.interfaces.empty()) return true;
  std::vector<ConfiguredNetwork> current(state.interfaces.size());
  for (size_t i = 0; i < current.size(); ++i) current[i].name = state.interfaces[i].name;
  getNetworks(current, false);
  for (size_t i = 0; i < current.size(); ++i) {
    const DesiredInterface& wanted = state.interfaces[i];
    if (sameConfiguration(current[i], wanted)) continue;
    if (live && !detail::isRunnableRequest(getOsFlavour(), requestFor(wanted), kOperation))
      return false;
    const detail::DraftedFiles before = draft;
    if (!draftOwnFile(wanted.name) ||
        !writeNetworkFiles(wanted.name, wanted.mode, wanted.ipv4Address, wanted.ipv4Netmask,
                           wanted.ipv4Gateway, wanted.ipv6Address, wanted.ipv6Prefix,
                           wanted.ipv6Gateway)) {
      KESP_LOG(LOG_ERROR, kOperation, "the configuration of " << wanted.name << " cannot be made");
      return false;
    }
    // Files another setting's writer would only write unchanged do not count.
    bool touched = false;
    for (const auto& entry : draft) {
      const auto earlier = before.find(entry.first);
      touched = touched || earlier == before.end() ||
                earlier->second.content != entry.second.content ||
                earlier->second.removed != entry.second.removed;
    }
    if (touched) plan.restarts.push_back(wanted.name);
  }
  return true;
}

bool planNameServers(const DesiredState& state, StatePlan& plan) {
  if (!state.managesNameServers) return true;
  std::vector<std::string> current;
  getDnsServers(current);
  if (current == state.nameServers) return true;
  plan.nameServersChange = true;
  // Files only: making the owner use them is the change's own step, once
  // they are written.
  return setDnsServers(state.nameServers, false, false);
}

bool planHostName(const DesiredState& state, bool live, StatePlan& plan) {
  if (!state.managesHostName) return true;
  if (live) {
    // The running name is set by the host-name script once the files are in.
    plan.hostNameChanges = getHostName() != state.hostName;
    return true;
  }
  std::string current;
  getImageHostName(current);
  return current == state.hostName || setImageHostName(state.hostName);
}

bool planProxy(const DesiredState& state) {
  if (!state.managesProxy) return true;
  const DesiredProxy& wanted = state.proxy;
  std::string host, port, user, password;
  getProxy(host, port, user, password);
  const std::string wantedPort =
      wanted.host.empty() ? "" : (wanted.port.empty() ? kDefaultProxyPort : wanted.port);
  const bool same = host == wanted.host &&
                    (host.empty() || (port == wantedPort && user == wanted.user &&
                                      (!wanted.passwordGiven || password == wanted.password)));
  if (same) return true;
  std::string unwritten;
  return setProxyPreservingPasswordReporting(wanted.host, wantedPort, wanted.user, wanted.password,
                                             wanted.passwordGiven, unwritten);
}

/// The path as the user knows it: without the system root.
std::string pathInRoot(const std::string& fullPath) {
  const std::string root = sysPath("/");
  if (root.size() > 1 && fullPath.compare(0, root.size() - 1, root, 0, root.size() - 1) == 0)
    return fullPath.substr(root.size() - 1);
  return fullPath;
}

/// The drafted files that differ from the files on disk.
bool compareWithDisk(const detail::DraftedFiles& drafted, StatePlan& plan) {
  for (const auto& entry : drafted) {
    FileChange change;
    change.path = pathInRoot(entry.first);
    bool missing = false;
    change.existed = detail::readWholeFile(entry.first, change.before, &missing);
    if (!change.existed && !missing) {
      KESP_LOG(LOG_ERROR, kOperation, "can't read " << entry.first << detail::errnoSuffix(errno));
      return false;
    }
    change.exists = !entry.second.removed;
    change.after = entry.second.content;
    change.newFileMode = entry.second.newFileMode;
    if (change.exists == change.existed && change.after == change.before) continue;
    plan.files.push_back(change);
  }
  return true;
}

}  // namespace

bool planState(const DesiredState& state, bool live, StatePlan& plan) {
  plan = StatePlan();
  detail::DraftedFiles drafted;
  {
    detail::Draft draft;
    if (!planInterfaces(state, live, draft.files(), plan) || !planNameServers(state, plan) ||
        !planHostName(state, live, plan) || !planProxy(state))
      return false;
    drafted = draft.files();
  }
  return compareWithDisk(drafted, plan);
}

}  // namespace KESP
