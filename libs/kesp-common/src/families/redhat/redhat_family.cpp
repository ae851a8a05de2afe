// The Red Hat family: one ifcfg file per interface under
// /etc/sysconfig/network-scripts, the device named by its DEVICE line.

#include "change/change_request.h"
#include "families/family.h"
#include "families/ifcfg/ifcfg_addresses.h"
#include "families/ifcfg/ifcfg_files.h"
#include "families/ifcfg/ifcfg_move.h"
#include "families/ports.h"
#include "kesp/sysroot.h"

namespace KESP {

const std::string REDHAT_SCRIPTS_DIR = "/etc/sysconfig/network-scripts";

namespace detail {
namespace {

const char kDhcpv6Client[] = "/sbin/dhcp6c";

class RedHatFamily : public Family {
 public:
  OsFlavour flavour() const override { return FLAVOUR_REDHAT; }
  const char* name() const override { return "redhat"; }
  const char* title() const override { return "Red Hat"; }
  const char* marker() const override { return "/etc/sysconfig/network-scripts"; }

  std::string configPath(const std::string& iface, const char*) const override {
    return redHatFileOf(iface);
  }

  void read(const std::vector<ConfiguredNetwork*>& networks) const override {
    for (ConfiguredNetwork* network : networks) {
      KeyValueFile file('=');
      std::string other;
      const std::string path = redHatFileOf(network->name, &other);
      // A file named after the interface that configures another device is not its.
      if (!other.empty() || !file.load(sysPath(path))) continue;
      readRedHatInterface(file, network->mode, network->ipv4, network->ipv6);
      network->furtherAddresses = redHatAddresses(file).furtherTexts();
      network->configured = true;
    }
  }

  bool list(std::vector<std::string>& names) const override { return listRedHatInterfaces(names); }

  std::vector<std::string> changeFilePaths(const std::string& iface,
                                           const char* operation) const override {
    return {configPath(iface, operation)};
  }

  bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
               const char* operation) const override {
    KeyValueFile ifcfg('=');
    const std::string path = interfaceConfigPath(FLAVOUR_REDHAT, request.iface, operation);
    if (path.empty() || !ifcfg.load(sysPath(path))) return false;
    writeRedHatInterface(ifcfg, request.iface, request.mode, ipv4, ipv6);
    return ifcfg.save();
  }

  std::string refusal(const ChangeRequest& request) const override {
    std::string other;
    const std::string path = redHatFileOf(request.iface, &other);
    if (!other.empty()) return path + " configures " + other + ", not " + request.iface;
    const std::string port = portRefusal(request.iface, redHatPortMaster(request.iface));
    if (!port.empty()) return port;
    if (request.mode == DHCPV6)
      return "Centos installations are not capable of DHCPv6 only configurations: " +
             request.iface;
    return std::string();
  }

  bool move(int op, const std::string& first, const std::string& second) const override {
    return moveIfcfg(FLAVOUR_REDHAT, writeRedHatInterface, op, first, second);
  }

  bool hasDhcpv6Client() const override { return existsInRoot(kDhcpv6Client); }
  bool hasDhcpv4Client() const override {
    // The network scripts start dhclient, older releases dhcpcd.
    return anyRegularFileInRoot({"/sbin/dhclient", "/sbin/dhcpcd"});
  }
  ProxyFileKind proxyFile() const override { return ProxyFileKind::Yum; }
};

}  // namespace

const Family& redHatFamily() {
  static const RedHatFamily family;
  return family;
}

}  // namespace detail
}  // namespace KESP
