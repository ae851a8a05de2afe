// The networkd family: .network files under /etc/systemd/network (and /run,
// /usr/lib, /lib), edited in place, applied with networkctl.

#include "change/change_request.h"
#include "families/family.h"
#include "families/link_name_servers.h"
#include "families/networkd/networkd_edit.h"
#include "families/networkd/networkd_files.h"
#include "families/networkd/networkd_settings.h"
#include "families/swap_sides.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {
namespace {

const char kNetworkctl[] = "/usr/bin/networkctl";

bool runNetworkctl(const char* verb, const std::string& iface) {
  const std::string program = sysPath(kNetworkctl);
  const char* const argv[] = {program.c_str(), verb, iface.c_str(), nullptr};
  if (run_program(argv) < 0) {
    KESP_LOG(LOG_ERROR, "controlInterface", "can't run " << kNetworkctl << " " << verb);
    return false;
  }
  return true;
}

bool writeMode(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
               const Ipv6Settings& ipv6, const char* operation) {
  return editNetworkdFile(iface, operation, [&](KeyValueFile& file) {
    writeNetworkdInterface(file, iface, mode, ipv4, ipv6);
  });
}

class NetworkdFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_NETWORKD; }
  const char* name() const override { return "networkd"; }
  const char* title() const override { return "systemd-networkd"; }
  const char* marker() const override { return kNetworkdEtcDirectory; }
  bool isPresent() const override { return networkdIsManager(); }

  std::string configPath(const std::string& iface, const char*) const override {
    return networkdTargetPath(iface);
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    NetworkdFileSet files;
    for (ConfiguredNetwork* network : networks) {
      KeyValueFile file('=');
      std::string path;
      const NetworkdMatch match = files.find(network->name, file, path);
      if (match == NetworkdMatch::None || match == NetworkdMatch::Unreadable) continue;
      readNetworkdInterface(file, network->mode, network->ipv4, network->ipv6,
                            network->furtherAddresses);
      network->configured = true;
    }
  }

  bool list(std::vector<std::string>& names) const override {
    bool refused = false;
    networkdFilePaths(&refused);
    names = networkdInterfaceNames();
    return !refused;
  }

  /// The file networkd applies now comes first (it exists, as the transaction
  /// requires; for a new interface the first file stands in), then the file
  /// the change writes when that is another.
  std::vector<std::string> changeFilePaths(const std::string& iface, const char*) const override {
    KeyValueFile file('=');
    std::string current;
    const NetworkdMatch match = findNetworkdFile(iface, file, current);
    if (match == NetworkdMatch::Unreadable) return {};
    if (match == NetworkdMatch::None) {
      const std::vector<std::string> paths = networkdFilePaths();
      if (!paths.empty()) current = paths.front();
    }
    const std::string target = networkdTargetPath(iface);
    if (current.empty() || current == target) return {target};
    return {current, target};
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    return writeMode(request.iface, request.mode, ipv4, ipv6, operation);
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    KeyValueFile file('=');
    std::string path;
    const NetworkdMatch match = findNetworkdFile(first, file, path);
    if (match == NetworkdMatch::Unreadable) return false;
    const bool configured = match != NetworkdMatch::None;
    if (op == MOVE_ADD || op == MOVE_REMOVE) {
      if (configured == (op == MOVE_ADD)) {
        KESP_LOG(LOG_ERROR, kMoveOperation, (op == MOVE_ADD ? "Cant add: " : "Cant remove: ") << first);
        return false;
      }
      return writeMode(first, op == MOVE_ADD ? DHCPV4 : 0, Ipv4Settings(), Ipv6Settings(),
                       kMoveOperation);
    }
    SwapSide a(first);
    SwapSide b(second);
    readBothSides(a, b);
    return writeMode(first, b.mode, b.ipv4, b.ipv6, kMoveOperation) &&
           writeMode(second, a.mode, a.ipv4, a.ipv6, kMoveOperation);
  }

  /// Down, so that the wait after the change sees only addresses the new
  /// files brought; up is a reload of every file and a reconfiguration of
  /// the link, which brings it up again.
  bool control(const std::string& iface, bool up, AddressMode) const override {
    if (!up) return runNetworkctl("down", iface);
    // A refused reload or reconfiguration left the old settings running.
    return runCheckedStep(kNetworkctl, {"reload"}, "controlInterface") &&
           runCheckedStep(kNetworkctl, {"reconfigure", iface}, "controlInterface");
  }

  // networkd carries its own DHCPv4 and DHCPv6 clients.
  bool hasDhcpv6Client() const override { return hasDhcpv4Client(); }
  bool hasDhcpv4Client() const override {
    return anyRegularFileInRoot({"/lib/systemd/systemd-networkd", "/usr/lib/systemd/systemd-networkd"});
  }
  ProxyFileKind proxyFile() const override { return ProxyFileKind::Apt; }

  // A link's DNS= reaches resolved as the link's own servers.
  std::string nameServerInterface(bool live, const char*) const override {
    return routedFamilyInterface(*this, live);
  }
  bool writeInterfaceNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                 const char* operation) const override {
    return writeLinkNameServers(*this, iface, servers, getNetworkdNameServers,
                                setNetworkdNameServers, operation);
  }
  bool readInterfaceNameServers(std::vector<std::string>& servers,
                                std::string& source) const override {
    return readLinkNameServers(*this, servers, source, getNetworkdNameServers);
  }
  bool applyInterfaceNameServers(const std::string& iface, const char* operation) const override {
    return runCheckedStep(kNetworkctl, {"reload"}, operation) &&
           (iface.empty() || runCheckedStep(kNetworkctl, {"reconfigure", iface}, operation));
  }
  bool resolvedTakesInterfaceNameServers() const override { return true; }
};

}  // namespace

const Family& networkdFamily() {
  static const NetworkdFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
