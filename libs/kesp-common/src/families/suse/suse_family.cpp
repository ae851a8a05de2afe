// The SUSE family: one ifcfg file per interface under /etc/sysconfig/network,
// the gateways in its routes files, IPv6 loaded as a module at boot.

#include <ifaddrs.h>
#include <sys/socket.h>

#include "change/change_request.h"
#include "families/family.h"
#include "families/ifcfg/ifcfg_addresses.h"
#include "families/ifcfg/ifcfg_files.h"
#include "families/ifcfg/ifcfg_move.h"
#include "families/ports.h"
#include "families/suse/suse_routes.h"
#include "system/address_entries.h"
#include "files/word_list.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {

const std::string SUSE_NETWORK_DIR = "/etc/sysconfig/network";
const std::string SUSE_ROUTES_FILE = "/etc/sysconfig/network/routes";

namespace detail {
namespace {

const char kDhcpv6Client[] = "/sbin/dhcp6c";
const char kModuleLoader[] = "/etc/init.d/boot.loadmodules";
const char kKernelFile[] = "/etc/sysconfig/kernel";
const char kModulesOnBootKey[] = "MODULES_LOADED_ON_BOOT";

/// Loads a further file: true when it was read or is missing (then empty,
/// and saving creates it); false when it exists but cannot be read whole.
bool loadFurtherFile(TextFile& file, const std::string& path) {
  return file.load(path) || !file.unreadable();
}

void updateModulesOnBoot(KeyValueFile& kernel, AddressMode mode, const char* operation) {
  const bool ipv6Wanted = (mode & IPV6_MODES) != 0;
  std::string value;
  kernel.get(kModulesOnBootKey, value);
  kernel.set(kModulesOnBootKey, editModuleList(value, ipv6Wanted));
  if (ipv6Wanted)
    KESP_LOG(LOG_INFO, operation, "KESP has added ipv6 to " << kModulesOnBootKey);
  else
    KESP_LOG(LOG_INFO, operation, "KESP has removed ipv6 from " << kModulesOnBootKey);
}

/// The networks a default line of the interface may lie in: those it had
/// and those the change gives it.
std::vector<IfcfgAddress> networksOf(KeyValueFile& ifcfg, AddressMode mode,
                                     const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  std::vector<IfcfgAddress> networks = suseAddresses(ifcfg).all;
  if (mode & STATICV4)
    networks.push_back({"", ipv4.address, prefixLengthOfNetmask(ipv4.netmask), false});
  if (mode & STATICV6) networks.push_back({"", ipv6.address, ipv6.prefix, true});
  return networks;
}

/// The networks the interfaces other than iface have, configured or live: a
/// default route without a device that lies in one of them is theirs. When
/// they cannot all be read, every network, so that no default is taken for
/// one nobody reaches.
std::vector<IfcfgAddress> othersNetworks(const std::string& iface) {
  const std::vector<IfcfgAddress> everything{{"", "0.0.0.0", "0", false}, {"", "::", "0", true}};
  std::vector<std::string> names;
  if (!listIfcfgFileNames(SUSE_NETWORK_DIR, names, "writeNetworkFiles")) return everything;
  std::vector<IfcfgAddress> networks;
  for (const std::string& name : names) {
    if (name == iface) continue;
    KeyValueFile file('=');
    if (!file.load(sysPath(SUSE_NETWORK_DIR + "/ifcfg-" + name))) return everything;
    const std::vector<IfcfgAddress> own = suseAddresses(file).all;
    networks.insert(networks.end(), own.begin(), own.end());
  }
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return everything;
  const std::vector<AddressEntry> entries = toAddressEntries(list);
  freeifaddrs(list);
  for (const AddressEntry& entry : entries) {
    if (entry.name == iface) continue;
    const bool ipv6 = entry.family == AF_INET6;
    networks.push_back(
        {"", entry.address, ipv6 ? entry.prefix : prefixLengthOfNetmask(entry.netmask), ipv6});
  }
  return networks;
}

class SuseFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_SUSE; }
  const char* name() const override { return "suse"; }
  const char* title() const override { return "SUSE"; }
  const char* marker() const override { return "/etc/sysconfig/network"; }

  std::string configPath(const std::string& iface, const char*) const override {
    return SUSE_NETWORK_DIR + "/ifcfg-" + iface;
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    if (networks.empty()) return;
    const bool dhcpv6Client = hasDhcpv6Client();
    // The shared routes file is read once for all of them.
    KeyValueFile routes(' ');
    const bool haveRoutes = routes.load(sysPath(SUSE_ROUTES_FILE));
    for (ConfiguredNetwork* network : networks) {
      KeyValueFile file('=');
      if (!file.load(sysPath(configPath(network->name, "getNetwork")))) continue;
      readSuseInterface(file, dhcpv6Client, network->mode, network->ipv4, network->ipv6);
      const IfcfgAddresses addresses = suseAddresses(file);
      network->furtherAddresses = addresses.furtherTexts();
      // The gateways live only in the routes files; stale ones must not survive.
      network->ipv4.gateway.clear();
      network->ipv6.gateway.clear();
      if (haveRoutes)
        readSuseInterfaceRoutes(routes, network->name, addresses.all, network->ipv4,
                                network->ipv6);
      // The interface's own file outranks the shared one.
      KeyValueFile ownRoutes(' ');
      if (ownRoutes.load(sysPath(suseInterfaceRoutesPath(network->name))))
        readSuseRoutes(ownRoutes, network->ipv4, network->ipv6);
      network->configured = true;
    }
  }

  bool list(std::vector<std::string>& names) const override {
    return listIfcfgFileNames(SUSE_NETWORK_DIR, names, "listConfiguredInterfaces");
  }

  std::vector<std::string> changeFilePaths(const std::string& iface,
                                           const char* operation) const override {
    return {interfaceConfigPath(FLAVOUR_SUSE, iface, operation), SUSE_ROUTES_FILE,
            suseInterfaceRoutesPath(iface), kKernelFile};
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    KeyValueFile ifcfg('=');
    const std::string path = interfaceConfigPath(FLAVOUR_SUSE, request.iface, operation);
    if (path.empty() || !ifcfg.load(sysPath(path))) return false;
    KeyValueFile routes(' ');
    KeyValueFile ownRoutes(' ');
    KeyValueFile kernel('=');
    if (!loadFurtherFile(routes, sysPath(SUSE_ROUTES_FILE)) ||
        !loadFurtherFile(ownRoutes, sysPath(suseInterfaceRoutesPath(request.iface))) ||
        !loadFurtherFile(kernel, sysPath(kKernelFile)))
      return false;
    const std::vector<IfcfgAddress> networks = networksOf(ifcfg, request.mode, ipv4, ipv6);
    // An interface with routes of its own keeps its default routes there; the
    // shared file then holds none of them, so that no second one competes.
    const bool ownFile = !ownRoutes.lines.empty();
    writeSuseInterface(ifcfg, request.iface, request.mode, ipv4, ipv6);
    AddressMode newGateways = 0;
    if ((request.mode & STATICV4) && !ipv4.gateway.empty()) newGateways |= STATICV4;
    if ((request.mode & STATICV6) && !ipv6.gateway.empty()) newGateways |= STATICV6;
    const std::vector<IfcfgAddress> others =
        newGateways ? othersNetworks(request.iface) : std::vector<IfcfgAddress>{};
    writeSuseInterfaceRoutes(routes, request.iface, networks, ownFile ? 0 : request.mode, ipv4,
                             ipv6, newGateways, others);
    if (ownFile) writeSuseRoutes(ownRoutes, request.mode, ipv4, ipv6);
    updateModulesOnBoot(kernel, request.mode, operation);
    return ifcfg.save() && routes.save() && (!ownFile || ownRoutes.save()) && kernel.save();
  }

  std::string refusal(const ChangeRequest& request) const override {
    return portRefusal(request.iface, susePortMaster(request.iface));
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    return moveIfcfg(FLAVOUR_SUSE, writeSuseInterface, op, first, second);
  }

  bool control(const std::string& iface, bool up, AddressMode mode) const override {
    // The IPv6 module list may just have changed; load it before ifup needs it.
    if (up && (mode & IPV6_MODES) && existsInRoot(kModuleLoader) &&
        !runControlStep(kModuleLoader, "restart"))
      return false;
    return Family::control(iface, up, mode);
  }

  bool hasDhcpv6Client() const override { return existsInRoot(kDhcpv6Client); }
  bool hasDhcpv4Client() const override {
    // wicked starts its dhcp4 helper; older releases dhcpcd or dhclient.
    return anyRegularFileInRoot({"/usr/lib/wicked/bin/wickedd-dhcp4",
                                 "/usr/libexec/wicked/bin/wickedd-dhcp4", "/sbin/dhcpcd",
                                 "/sbin/dhclient"});
  }
  ProxyFileKind proxyFile() const override { return ProxyFileKind::SuseSysconfig; }
};

}  // namespace

const Family& suseFamily() {
  static const SuseFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
