// The Debian family: /etc/network/interfaces and the files it sources, read
// and written as ifupdown reads them; ifup and ifdown, followed by the DHCPv6
// client's start and stop where that client is installed.

#include "families/debian/debian_family.h"

#include "families/debian/debian_dns.h"
#include "change/change_request.h"
#include "families/family.h"
#include "families/ports.h"
#include "files/word_list.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {

const std::string DEBIAN_INTERFACES_FILE = "/etc/network/interfaces";

namespace detail {
namespace {

const char kDhcpv6Client[] = "/etc/init.d/wide-dhcpv6-client";
const char* const kResolvconf[] = {"/sbin/resolvconf", "/usr/sbin/resolvconf"};
const char kDhcpv6Defaults[] = "/etc/default/wide-dhcpv6-client";
const char kDhcpv6InterfacesKey[] = "INTERFACES";

void updateDhcpv6Interfaces(KeyValueFile& defaults, const ChangeRequest& request) {
  std::string value;
  defaults.get(kDhcpv6InterfacesKey, value);
  defaults.set(kDhcpv6InterfacesKey,
               editInterfaceList(value, request.iface, (request.mode & DHCPV6) != 0));
}

class DebianFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_DEBIAN; }
  const char* name() const override { return "debian"; }
  const char* title() const override { return "Debian"; }
  const char* marker() const override { return "/etc/network"; }

  std::string configPath(const std::string& iface, const char* operation) const override {
    // The file that defines the interface, which may be a sourced one.
    DebianTree tree;
    if (!loadDebianTree(tree, operation)) return DEBIAN_INTERFACES_FILE;
    return tree.files[DebianTreeEdit(tree).ownerOf(iface)].path;
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    if (networks.empty()) return;
    DebianTree tree;
    if (!loadDebianTree(tree, "getNetwork")) return;
    if (networks.size() > 1) return readDebianNetworks(tree, networks);
    // One interface: one pass keeping only its own lines.
    ConfiguredNetwork& network = *networks.front();
    network.configured =
        readDebianTreeInterface(tree, network.name, network.mode, network.ipv4, network.ipv6);
  }

  bool list(std::vector<std::string>& names) const override {
    DebianTree tree;
    if (!loadDebianTree(tree, "listConfiguredInterfaces")) {
      KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "cannot read " << DEBIAN_INTERFACES_FILE);
      return false;
    }
    listDebianTreeInterfaces(tree, names);
    return true;
  }

  std::vector<std::string> changeFilePaths(const std::string& iface,
                                           const char* operation) const override {
    std::vector<std::string> paths = debianFilesOf(iface, operation);
    paths.push_back(kDhcpv6Defaults);
    return paths;
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    DebianTree tree;
    if (!loadDebianTree(tree, operation)) return false;
    DebianTreeEdit interfaces(tree);
    // The client's defaults are only kept in step, never created.
    KeyValueFile defaults('=');
    const bool haveDefaults = defaults.load(sysPath(kDhcpv6Defaults));
    if (!haveDefaults && defaults.unreadable()) return false;
    if (haveDefaults) updateDhcpv6Interfaces(defaults, request);
    // Edited where it is defined, which may be a file the main one sources.
    if (!interfaces.write(request.iface, request.mode, ipv4, ipv6)) return false;
    return interfaces.save() && (!haveDefaults || defaults.save());
  }

  std::string refusal(const ChangeRequest& request) const override {
    return portRefusal(request.iface, debianPortMaster(request.iface));
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    return moveDebian(op, first, second);
  }

  bool control(const std::string& iface, bool up, AddressMode mode) const override {
    if (!Family::control(iface, up, mode)) return false;
    // The DHCPv6 client reads its interface list when it starts, so it follows
    // every ifup and ifdown, whatever the mode.
    return !existsInRoot(kDhcpv6Client) || runControlStep(kDhcpv6Client, up ? "start" : "stop");
  }

  bool hasDhcpv6Client() const override { return existsInRoot(kDhcpv6Client); }
  bool hasDhcpv4Client() const override {
    // ifupdown tries dhclient, dhcpcd, udhcpc and pump.
    return anyRegularFileInRoot({"/sbin/dhclient", "/sbin/dhcpcd", "/sbin/udhcpc", "/sbin/pump"});
  }
  ProxyFileKind proxyFile() const override { return ProxyFileKind::Apt; }

  std::string nameServerInterface(bool live, const char* operation) const override {
    return debianNameServerInterface(live, operation);
  }
  bool writeInterfaceNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                 const char* operation) const override {
    return writeDebianTreeNameServers(iface, servers, operation);
  }
  bool readInterfaceNameServers(std::vector<std::string>& servers,
                                std::string& source) const override {
    return readDebianTreeNameServers(servers, source);
  }
  /// resolvconf rebuilds only from what is registered: the record ifupdown's
  /// hook makes at the next ifup is made now, under the same name.
  bool applyInterfaceNameServers(const std::string& iface, const char* operation) const override {
    std::string record, text;
    debianResolvconfRecord(iface, record, text);
    if (record.empty()) return true;
    const char* program =
        existsInRoot(kResolvconf[0]) || !existsInRoot(kResolvconf[1]) ? kResolvconf[0] : kResolvconf[1];
    return runCheckedStep(program, {"-a", record}, operation, &text);
  }
};

}  // namespace

const Family& debianFamily() {
  static const DebianFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
