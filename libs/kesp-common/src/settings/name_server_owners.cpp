// The owners of resolv.conf in one table: where each reads its name servers,
// and the program that makes it rewrite resolv.conf from them now.

#include "settings/name_server_owners.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>

#include "families/family.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "system/process.h"

namespace KESP {
namespace detail {

namespace {

const char* const kSystemctl[] = {"/usr/bin/systemctl", "/bin/systemctl", nullptr};
const char* const kReloadResolved[] = {"try-reload-or-restart", "systemd-resolved.service", nullptr};
const char* const kResolvconf[] = {"/sbin/resolvconf", "/usr/sbin/resolvconf", nullptr};
const char* const kUpdate[] = {"-u", nullptr};
const char* const kNetconfig[] = {"/sbin/netconfig", "/usr/sbin/netconfig", nullptr};
const char* const kNetconfigUpdate[] = {"update", "-f", nullptr};

const NameServerPlaces kPlaces[] = {
    {NameServerOwner::File, "file", writeResolverFile, readResolverFile, nullptr, nullptr},
    {NameServerOwner::Resolved, "systemd-resolved", writeResolvedServers, readResolvedServers,
     kSystemctl, kReloadResolved},
    {NameServerOwner::Resolvconf, "resolvconf", writeResolvconfServers, readResolvconfServers,
     kResolvconf, kUpdate},
    {NameServerOwner::Openresolv, "openresolv", writeOpenresolvServers, readOpenresolvServers,
     kResolvconf, kUpdate},
    // Its profiles, and the NetworkManager family's reapply makes it use them now.
    {NameServerOwner::NetworkManager, "NetworkManager", writeNetworkManagerServers,
     readNetworkManagerServers, nullptr, nullptr, true},
    {NameServerOwner::Netconfig, "netconfig", writeNetconfigServers, readNetconfigServers,
     kNetconfig, kNetconfigUpdate},
};

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text.empty() ? "none" : text;
}

/// Runs the owner's program so that resolv.conf follows the new configuration now.
bool runOwnerProgram(const NameServerPlaces& places, const char* operation) {
  if (!places.programPaths) return true;
  std::vector<std::string> argv;
  for (const char* const* path = places.programPaths; *path; ++path) {
    struct stat info;
    if (statInRoot(sysPath(*path), info)) {
      argv.push_back(sysPath(*path));
      break;
    }
  }
  if (argv.empty()) {
    KESP_LOG(LOG_ERROR, operation,
             "can't make " << places.name << " use the name servers now: " << places.programPaths[0]
                           << " is missing");
    return false;
  }
  for (const char* const* argument = places.programArguments; *argument; ++argument)
    argv.push_back(*argument);
  // Its output is its own report, not the tool's: a script may be reading ours.
  std::string output;
  const int status = runArgv(argv, &output);
  if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    const int shown = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : status;
    KESP_LOG(LOG_ERROR, operation,
             argv[0] << " failed (status " << shown << "): " << places.name
                     << " does not use the name servers" << (output.empty() ? "" : ": ") << output);
    return false;
  }
  if (!output.empty()) KESP_LOG(LOG_INFO, operation, argv[0] << ": " << output);
  return true;
}

}  // namespace

const NameServerPlaces& placesOf(NameServerOwner owner) {
  for (const NameServerPlaces& places : kPlaces)
    if (places.owner == owner) return places;
  return kPlaces[0];
}

const Family* interfaceServerFamily(NameServerOwner owner) {
  switch (owner) {
    case NameServerOwner::Resolvconf:
    case NameServerOwner::Openresolv:
      return detectFamily();
    case NameServerOwner::NetworkManager:
      return familyOf(FLAVOUR_NETWORKMANAGER);
    case NameServerOwner::Resolved: {
      const Family* family = detectFamily();
      return family && family->resolvedTakesInterfaceNameServers() ? family : nullptr;
    }
    default:
      return nullptr;
  }
}

bool refuseUnwritableOwner(NameServerOwner owner, const char* operation) {
  const NameServerPlaces& places = placesOf(owner);
  if (places.write && places.needsInterface) {
    const Family* family = interfaceServerFamily(owner);
    if (family && !family->nameServerInterface(false, operation).empty()) return false;
    KESP_LOG(LOG_ERROR, operation,
             "/etc/resolv.conf belongs to " << places.name
                 << ", which takes name servers only from an interface's configuration, "
                    "and none configures an interface");
    return true;
  }
  if (places.write) return false;
  KESP_LOG(LOG_ERROR, operation,
           "/etc/resolv.conf belongs to " << places.name
               << ", which would replace name servers written there; writing them where "
               << places.name << " reads them is not supported yet");
  return true;
}

bool writeOwnedNameServers(NameServerOwner owner, const std::vector<std::string>& servers,
                           bool applyNow, const char* operation, const std::string& comingUp) {
  if (refuseUnwritableOwner(owner, operation)) return false;
  const NameServerPlaces& places = placesOf(owner);
  if (!places.write(servers, applyNow, operation)) return false;
  // Servers the owner would not merge into what it uses would vanish at its
  // next rewrite: a later drop-in or another interface's option wins.
  std::vector<std::string> used;
  std::string source;
  if (!places.read(used, source)) {
    KESP_LOG(LOG_ERROR, operation, "can't read back the name servers of " << places.name);
    return false;
  }
  if (used != servers) {
    KESP_LOG(LOG_ERROR, operation,
             places.name << " would use " << joined(used) << " (from " << source << "), not "
                         << joined(servers));
    return false;
  }
  if (!applyNow) return true;
  return applyOwnedNameServers(owner, operation, {comingUp});
}

bool applyOwnedNameServers(NameServerOwner owner, const char* operation,
                           const std::vector<std::string>& comingUp) {
  // The family's daemon takes the servers first; the owner then rewrites
  // resolv.conf from what it now has.
  const Family* family = interfaceServerFamily(owner);
  const std::string iface = family ? family->nameServerInterface(true, operation) : std::string();
  const bool broughtUp =
      !iface.empty() && std::find(comingUp.begin(), comingUp.end(), iface) != comingUp.end();
  if (family && !broughtUp && !family->applyInterfaceNameServers(iface, operation)) return false;
  return runOwnerProgram(placesOf(owner), operation);
}

}  // namespace detail

const char* nameServerOwnerName(NameServerOwner owner) { return detail::placesOf(owner).name; }

}  // namespace KESP
