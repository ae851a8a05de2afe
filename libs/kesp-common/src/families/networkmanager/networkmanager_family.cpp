// The NetworkManager family: one key-file profile per connection under
// /etc/NetworkManager/system-connections (read-only ones under /run and
// /usr/lib). On a system that also carries older files (ifcfg files kept
// from an upgrade, an interfaces file), an interface those files configure
// and no profile does stays theirs: the daemon reads both, and the files
// that configure an interface are the ones to edit.

#include <sys/stat.h>

#include <algorithm>

#include "change/change_request.h"
#include "change/change_scope.h"
#include "families/family.h"
#include "families/networkmanager/profile_dns.h"
#include "families/networkmanager/profile_files.h"
#include "families/networkmanager/profile_settings.h"
#include "families/swap_sides.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "system/process.h"

namespace KESP {
namespace detail {
namespace {

const char kNmcli[] = "/usr/bin/nmcli";
// The families whose files the daemon may read beside its own profiles.
const OsFlavour kOlderFamilies[] = {FLAVOUR_DEBIAN, FLAVOUR_REDHAT, FLAVOUR_SUSE};

/// The older family whose files configure iface, when no profile does.
const Family* olderOwner(const std::string& iface) {
  for (OsFlavour flavour : kOlderFamilies) {
    const Family* family = familyOf(flavour);
    if (!family || !family->isPresent()) continue;
    ConfiguredNetwork network;
    network.name = iface;
    family->read({&network});
    if (network.configured) return family;
  }
  return nullptr;
}

/// Runs nmcli with args for taking a connection down; only a failure to start
/// it counts (its exit status says only that nothing was active).
bool runNmcli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {sysPath(kNmcli)};
  argv.insert(argv.end(), args.begin(), args.end());
  if (runArgv(argv) < 0) {
    KESP_LOG(LOG_ERROR, "controlInterface", "can't run " << kNmcli << " command");
    return false;
  }
  return true;
}

/// How nmcli names the profile: by its UUID, else its id, else its file name.
std::vector<std::string> connectionWords(const StoredProfile& profile) {
  std::string value;
  if (profile.content.get("connection", "uuid", value) && !value.empty()) return {"uuid", value};
  if (profile.content.get("connection", "id", value) && !value.empty()) return {"id", value};
  std::string name = profile.fileName;
  const std::string extension = ".nmconnection";
  if (name.size() > extension.size() &&
      name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
    name.resize(name.size() - extension.size());
  return {"id", name};
}

class NetworkManagerFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_NETWORKMANAGER; }
  const char* name() const override { return "networkmanager"; }
  const char* title() const override { return "NetworkManager"; }
  const char* marker() const override { return kProfileDirectory; }

  bool isPresent() const override {
    // Listing the directory tells that it is one: no status call first.
    bool directory = false;
    const bool anyProfile = anyProfileFile(directory);
    if (!directory) return false;
    if (anyProfile) return true;
    // A directory without profiles claims the system only when no other
    // family's files are there to configure it.
    for (OsFlavour flavour : kOlderFamilies) {
      const Family* family = familyOf(flavour);
      if (family && family->isPresent()) return false;
    }
    return true;
  }

  std::string configPath(const std::string& iface, const char* operation) const override {
    const ProfilePlace place = placeOf(iface);
    if (!place.found)
      if (const Family* older = olderOwner(iface)) return older->configPath(iface, operation);
    // A read-only profile is still the file that holds the configuration.
    return place.found ? place.profile.path() : place.target;
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    // For one interface (show IFACE, each read of a change) only its
    // possible profiles are asked for their owner and mode.
    const std::vector<StoredProfile> profiles =
        loadProfiles(networks.size() == 1 ? &networks[0]->name : nullptr);
    std::vector<ConfiguredNetwork*> rest;
    for (ConfiguredNetwork* network : networks) {
      const ProfilePlace place = placeOf(profiles, network->name);
      if (!place.found) {
        rest.push_back(network);
        continue;
      }
      readProfileSettings(place.profile.content, network->mode, network->ipv4, network->ipv6,
                          network->furtherAddresses);
      network->configured = true;
    }
    for (OsFlavour flavour : kOlderFamilies) {
      const Family* family = familyOf(flavour);
      if (rest.empty() || !family || !family->isPresent()) continue;
      family->read(rest);
      rest.erase(std::remove_if(rest.begin(), rest.end(),
                                [](const ConfiguredNetwork* n) { return n->configured; }),
                 rest.end());
    }
  }

  bool list(std::vector<std::string>& names) const override {
    names = profileInterfaces(loadProfiles());
    for (OsFlavour flavour : kOlderFamilies) {
      const Family* family = familyOf(flavour);
      std::vector<std::string> older;
      if (family && family->isPresent() && family->list(older))
        names.insert(names.end(), older.begin(), older.end());
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return true;
  }

  std::vector<std::string> changeFilePaths(const std::string& iface,
                                           const char* operation) const override {
    const ProfilePlace place = placeOf(iface);
    if (!place.found) {
      if (const Family* older = olderOwner(iface)) return older->changeFilePaths(iface, operation);
      return {place.target};
    }
    // A read-only profile is read from its place; the copy in /etc is new.
    if (place.profile.readOnly) return {place.profile.path(), place.target};
    return {place.target};
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    if (const Family* older = delegate(request.iface))
      return older->rewrite(request, ipv4, ipv6, operation);
    return writeInterfaceProfile(request.iface, request.mode, ipv4, ipv6, operation);
  }

  std::string refusal(const ChangeRequest& request) const override {
    const Family* older = delegate(request.iface);
    return older ? older->refusal(request) : std::string();
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    if (op == MOVE_ADD) return addProfile(first);
    if (op == MOVE_REMOVE) return removeProfile(first);
    return swapProfiles(first, second);
  }

  bool control(const std::string& iface, bool up, AddressMode mode) const override {
    if (const Family* older = delegate(iface)) return older->control(iface, up, mode);
    const ProfilePlace place = placeOf(iface);
    // Without a profile (a new one put back by a restore, say), loading its
    // path makes the daemon forget what it had read there.
    if (!place.found)
      return up ? runNmcli({"connection", "load", place.target})
                : runNmcli({"device", "disconnect", iface});
    const std::vector<std::string> id = connectionWords(place.profile);
    if (!up) return runNmcli({"connection", "down", id[0], id[1]});
    // The daemon reads profiles when told to; a copy in /etc and the
    // read-only original (back after a restore) are both read again.
    std::vector<std::string> load = {"connection", "load", place.target};
    if (place.profile.path() != place.target) load.push_back(place.profile.path());
    // nmcli fails when the daemon refused the profile or the activation did
    // not complete; it waits no longer than a change may take (the daemon's
    // own DHCP timeout is longer), and the change takes an activation still
    // under way down again.
    return runCheckedStep(kNmcli, load, "controlInterface") &&
           runCheckedStep(kNmcli,
                          {"--wait", std::to_string(ADDRESS_WAIT_SECONDS), "connection", "up",
                           id[0], id[1]},
                          "controlInterface");
  }

  // The daemon's own DHCP client serves both families.
  bool hasDhcpv6Client() const override { return daemonInstalled(); }
  bool hasDhcpv4Client() const override { return daemonInstalled(); }

  ProxyFileKind proxyFile() const override {
    if (existsInRoot("/etc/yum.conf") || existsInRoot("/etc/dnf/dnf.conf"))
      return ProxyFileKind::Yum;
    if (existsInRoot("/etc/sysconfig/proxy")) return ProxyFileKind::SuseSysconfig;
    return ProxyFileKind::Apt;
  }

  // Only profiles count: the daemon takes no servers from older files.
  std::string nameServerInterface(bool live, const char*) const override {
    return detail::nameServerInterface(live);
  }
  bool writeInterfaceNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                 const char* operation) const override {
    return writeProfilesNameServers(iface, servers, operation);
  }
  bool readInterfaceNameServers(std::vector<std::string>& servers,
                                std::string& source) const override {
    readProfilesNameServers(servers, source);
    return true;
  }
  bool applyInterfaceNameServers(const std::string& iface, const char* operation) const override {
    return applyProfilesNameServers(iface, operation);
  }
  bool resolvedTakesInterfaceNameServers() const override { return true; }

 private:
  static bool daemonInstalled() {
    return anyRegularFileInRoot({"/usr/sbin/NetworkManager", "/sbin/NetworkManager"});
  }

  /// The older family that owns iface (no profile of it, their files have it).
  static const Family* delegate(const std::string& iface) {
    if (placeOf(iface).found) return nullptr;
    return olderOwner(iface);
  }

  bool addProfile(const std::string& iface) const {
    if (placeOf(iface).found || olderOwner(iface)) {
      KESP_LOG(LOG_ERROR, kMoveOperation, "Cant add: " << iface);
      return false;
    }
    return writeInterfaceProfile(iface, DHCPV4, Ipv4Settings(), Ipv6Settings(), kMoveOperation);
  }

  bool removeProfile(const std::string& iface) const {
    const ProfilePlace place = placeOf(iface);
    if (!place.found) {
      if (const Family* older = olderOwner(iface)) return older->move(MOVE_REMOVE, iface, "");
      KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << iface);
      return false;
    }
    if (place.profile.readOnly) {
      KESP_LOG(LOG_ERROR, kMoveOperation,
               "Cant remove: " << iface << " (its profile " << place.profile.path()
                               << " is read-only)");
      return false;
    }
    if (!removeFile(sysPath(place.profile.path()))) {
      KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << iface);
      return false;
    }
    return true;
  }

  bool swapProfiles(const std::string& first, const std::string& second) const {
    if (delegate(first) || delegate(second)) {
      KESP_LOG(LOG_ERROR, kMoveOperation,
               "Cant swap " << first << " and " << second << ": not both configured by profiles");
      return false;
    }
    SwapSide a(first);
    SwapSide b(second);
    readBothSides(a, b);
    // Each profile keeps its own connection and link settings; only the
    // addresses change places.
    return writeInterfaceProfile(first, b.mode, b.ipv4, b.ipv6, kMoveOperation) &&
           writeInterfaceProfile(second, a.mode, a.ipv4, a.ipv6, kMoveOperation);
  }
};

}  // namespace

const Family& networkManagerFamily() {
  static const NetworkManagerFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
