// The netplan family: YAML under /etc/netplan (and /run/netplan,
// /lib/netplan), rendered by netplan for networkd. The appliance writes only
// its own file, so that the installer's and cloud-init's files stay as they
// were written.

#include "change/change_request.h"
#include "families/family.h"
#include "families/link_name_servers.h"
#include "families/netplan/netplan_files.h"
#include "families/netplan/netplan_settings.h"
#include "families/swap_sides.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {
namespace {

const char kNetplanProgram[] = "/usr/sbin/netplan";

class NetplanFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_NETPLAN; }
  const char* name() const override { return "netplan"; }
  const char* title() const override { return "netplan"; }
  const char* marker() const override { return "/etc/netplan"; }

  /// Only a YAML file makes a system netplan's: an empty /etc/netplan is left
  /// by the package on systems configured otherwise.
  bool isPresent() const override { return !netplanFilePaths().empty(); }

  std::string configPath(const std::string&, const char*) const override {
    return kNetplanOwnFile;
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    NetplanState state;
    if (!loadNetplanState(state, "getNetwork")) return;
    for (ConfiguredNetwork* network : networks) {
      const NetplanDefinition* definition = netplanWinner(state.definitions, network->name);
      if (!definition) continue;
      readNetplanDefinition(definition->node, network->mode, network->ipv4, network->ipv6,
                            network->furtherAddresses);
      network->configured = true;
    }
  }

  bool list(std::vector<std::string>& names) const override {
    NetplanState state;
    if (!loadNetplanState(state, "listConfiguredInterfaces")) return false;
    names = netplanInterfaceNames(state.definitions);
    return true;
  }

  /// The file in force for iface comes first (it exists, as the transaction
  /// requires), then the appliance's own file, which the change writes.
  std::vector<std::string> changeFilePaths(const std::string& iface,
                                           const char* operation) const override {
    NetplanState state;
    if (!loadNetplanState(state, operation)) return {};
    std::vector<std::string> paths;
    const NetplanDefinition* definition = netplanWinner(state.definitions, iface);
    if (definition)
      paths.push_back(definition->lastPath);
    else if (!state.files.empty())
      paths.push_back(state.files.front().path);
    if (paths.empty() || paths.front() != kNetplanOwnFile) paths.push_back(kNetplanOwnFile);
    return paths;
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    NetplanState state;
    if (!loadNetplanState(state, operation)) return false;
    writeNetplanInterface(state.own, state.definitions, request.iface, request.mode, ipv4, ipv6);
    return saveNetplanOwn(state.own, operation);
  }

  std::string refusal(const ChangeRequest& request) const override {
    NetplanState state;
    if (!loadNetplanState(state, "setNetworkAddresses")) return std::string();
    const NetplanDefinition* definition = netplanWinner(state.definitions, request.iface);
    // A virtual device's id is its name: no definition of the appliance's can
    // stand in for it, and netplan would append to its addresses.
    if (definition && definition->type != "ethernets")
      return request.iface + " is defined under " + definition->type + " in " +
             definition->lastPath + "; change it there";
    return std::string();
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    NetplanState state;
    if (!loadNetplanState(state, kMoveOperation)) return false;
    if (op == MOVE_ADD) {
      if (netplanWinner(state.definitions, first)) {
        KESP_LOG(LOG_ERROR, kMoveOperation, "Cant add: " << first);
        return false;
      }
      writeNetplanInterface(state.own, state.definitions, first, DHCPV4, Ipv4Settings(),
                            Ipv6Settings());
    } else if (op == MOVE_REMOVE) {
      if (!netplanWinner(state.definitions, first)) {
        KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << first);
        return false;
      }
      writeNetplanInterface(state.own, state.definitions, first, 0, Ipv4Settings(),
                            Ipv6Settings());
    } else {
      SwapSide a(first);
      SwapSide b(second);
      readBothSides(a, b);
      writeNetplanInterface(state.own, state.definitions, first, b.mode, b.ipv4, b.ipv6);
      writeNetplanInterface(state.own, state.definitions, second, a.mode, a.ipv4, a.ipv6);
    }
    return saveNetplanOwn(state.own, kMoveOperation);
  }

  /// netplan renders every file and has networkd apply them: bringing the
  /// interface down first would only cut it off for longer. A refused apply
  /// (a file it cannot render) applied nothing: the change has failed.
  bool control(const std::string&, bool up, AddressMode) const override {
    return !up || runCheckedStep(kNetplanProgram, {"apply"}, "controlInterface");
  }

  /// netplan's generator ran at the start of boot, from the files as the
  /// interrupted change had left them; its renderers start later and read
  /// what generate writes now.
  bool prepareBoot(const char* operation) const override {
    return runCheckedStep(kNetplanProgram, {"generate"}, operation);
  }

  // networkd and NetworkManager, netplan's renderers, carry DHCP clients of their own.
  bool hasDhcpv6Client() const override { return hasDhcpv4Client(); }
  bool hasDhcpv4Client() const override {
    return anyRegularFileInRoot({"/lib/systemd/systemd-networkd",
                                 "/usr/lib/systemd/systemd-networkd", "/usr/sbin/NetworkManager"});
  }
  ProxyFileKind proxyFile() const override { return ProxyFileKind::Apt; }

  // `nameservers` go to the renderer with the link, and from it to resolved.
  std::string nameServerInterface(bool live, const char*) const override {
    return routedFamilyInterface(*this, live);
  }
  bool writeInterfaceNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                 const char* operation) const override {
    return writeLinkNameServers(*this, iface, servers, getNetplanNameServers,
                                setNetplanNameServers, operation);
  }
  bool readInterfaceNameServers(std::vector<std::string>& servers,
                                std::string& source) const override {
    return readLinkNameServers(*this, servers, source, getNetplanNameServers,
                               netplanNameServersSource);
  }
  bool applyInterfaceNameServers(const std::string&, const char* operation) const override {
    return runCheckedStep(kNetplanProgram, {"apply"}, operation);
  }
  bool resolvedTakesInterfaceNameServers() const override { return true; }
};

}  // namespace

const Family& netplanFamily() {
  static const NetplanFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
