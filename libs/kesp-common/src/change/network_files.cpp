// Rewriting a family's files for a change request: the interface file through
// the family's writer, and the files that must agree with it (the DHCPv6
// client's interface list on Debian, the default routes and the IPv6 module
// list on SUSE). Used by the transaction and, on offline images, by tools.

#include "change/change_request.h"
#include "change/change_scope.h"
#include "families/debian/debian_tree.h"
#include "families/suse/suse_routes.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "files/word_list.h"

namespace KESP {

namespace {

const char kDebianDhcpv6Defaults[] = "/etc/default/wide-dhcpv6-client";
const char kDhcpv6InterfacesKey[] = "INTERFACES";
const char kSuseKernelFile[] = "/etc/sysconfig/kernel";
const char kModulesOnBootKey[] = "MODULES_LOADED_ON_BOOT";

/// Loads a further file: true when it was read or is missing (then empty,
/// and saving creates it); false when it exists but cannot be read whole.
bool loadFurtherFile(TextFile& file, const std::string& path) {
  return file.load(path) || !file.unreadable();
}

void updateDhcpv6Interfaces(KeyValueFile& defaults, const detail::ChangeRequest& request) {
  std::string value;
  defaults.get(kDhcpv6InterfacesKey, value);
  defaults.set(kDhcpv6InterfacesKey,
               detail::editInterfaceList(value, request.iface, (request.mode & DHCPV6) != 0));
}

void updateModulesOnBoot(KeyValueFile& kernel, AddressMode mode, const char* operation) {
  const bool ipv6Wanted = (mode & IPV6_MODES) != 0;
  std::string value;
  kernel.get(kModulesOnBootKey, value);
  kernel.set(kModulesOnBootKey, detail::editModuleList(value, ipv6Wanted));
  if (ipv6Wanted)
    KESP_LOG(LOG_INFO, operation, "KESP has added ipv6 to " << kModulesOnBootKey);
  else
    KESP_LOG(LOG_INFO, operation, "KESP has removed ipv6 from " << kModulesOnBootKey);
}

bool rewriteDebian(const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                   const Ipv6Settings& ipv6, const char* operation) {
  detail::DebianTree tree;
  if (!detail::loadDebianTree(tree, operation)) return false;
  detail::DebianTreeEdit interfaces(tree);
  // The client's defaults are only kept in step, never created.
  KeyValueFile defaults('=');
  const bool haveDefaults = defaults.load(sysPath(kDebianDhcpv6Defaults));
  if (!haveDefaults && defaults.unreadable()) return false;
  if (haveDefaults) updateDhcpv6Interfaces(defaults, request);
  // Edited where it is defined, which may be a file the main one sources.
  if (!interfaces.write(request.iface, request.mode, ipv4, ipv6)) return false;
  return interfaces.save() && (!haveDefaults || defaults.save());
}

bool rewriteRedHat(const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                   const Ipv6Settings& ipv6, const char* operation) {
  KeyValueFile ifcfg('=');
  const std::string path = interfaceConfigPath(FLAVOUR_REDHAT, request.iface, operation);
  if (path.empty() || !ifcfg.load(sysPath(path))) return false;
  writeRedHatInterface(ifcfg, request.iface, request.mode, ipv4, ipv6);
  return ifcfg.save();
}

/// The networks a default line of the interface may lie in: those it had
/// and those the change gives it.
std::vector<detail::IfcfgAddress> suseNetworksOf(KeyValueFile& ifcfg, AddressMode mode,
                                                 const Ipv4Settings& ipv4,
                                                 const Ipv6Settings& ipv6) {
  std::vector<detail::IfcfgAddress> networks = detail::suseAddresses(ifcfg).all;
  if (mode & STATICV4)
    networks.push_back({"", ipv4.address, detail::prefixLengthOfNetmask(ipv4.netmask), false});
  if (mode & STATICV6) networks.push_back({"", ipv6.address, ipv6.prefix, true});
  return networks;
}

bool rewriteSuse(const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                 const Ipv6Settings& ipv6, const char* operation) {
  KeyValueFile ifcfg('=');
  const std::string path = interfaceConfigPath(FLAVOUR_SUSE, request.iface, operation);
  if (path.empty() || !ifcfg.load(sysPath(path))) return false;
  KeyValueFile routes(' ');
  KeyValueFile ownRoutes(' ');
  KeyValueFile kernel('=');
  if (!loadFurtherFile(routes, sysPath(SUSE_ROUTES_FILE)) ||
      !loadFurtherFile(ownRoutes, sysPath(detail::suseInterfaceRoutesPath(request.iface))) ||
      !loadFurtherFile(kernel, sysPath(kSuseKernelFile)))
    return false;
  const std::vector<detail::IfcfgAddress> networks =
      suseNetworksOf(ifcfg, request.mode, ipv4, ipv6);
  // An interface with routes of its own keeps its default routes there; the
  // shared file then holds none of them, so that no second one competes.
  const bool ownFile = !ownRoutes.lines.empty();
  writeSuseInterface(ifcfg, request.iface, request.mode, ipv4, ipv6);
  detail::writeSuseInterfaceRoutes(routes, request.iface, networks, ownFile ? 0 : request.mode,
                                   ipv4, ipv6);
  if (ownFile) writeSuseRoutes(ownRoutes, request.mode, ipv4, ipv6);
  updateModulesOnBoot(kernel, request.mode, operation);
  return ifcfg.save() && routes.save() && (!ownFile || ownRoutes.save()) && kernel.save();
}

}  // namespace

namespace detail {

std::vector<std::string> changeFilePaths(OsFlavour flavour, const std::string& iface,
                                         const char* operation) {
  switch (flavour) {
    case FLAVOUR_DEBIAN: {
      std::vector<std::string> paths = detail::debianFilesOf(iface, operation);
      paths.push_back(kDebianDhcpv6Defaults);
      return paths;
    }
    case FLAVOUR_REDHAT:
      return {interfaceConfigPath(flavour, iface, operation)};
    case FLAVOUR_SUSE:
      return {interfaceConfigPath(flavour, iface, operation), SUSE_ROUTES_FILE,
              detail::suseInterfaceRoutesPath(iface), kSuseKernelFile};
    case FLAVOUR_NONE:
      break;
  }
  KESP_LOG(LOG_ERROR, operation, "Unknown OS type: " << static_cast<int>(flavour));
  return {};
}

bool rewriteFamilyFiles(OsFlavour flavour, const ChangeRequest& request, const Ipv4Settings& ipv4,
                        const Ipv6Settings& ipv6, const char* operation) {
  switch (flavour) {
    case FLAVOUR_DEBIAN:
      return rewriteDebian(request, ipv4, ipv6, operation);
    case FLAVOUR_REDHAT:
      return rewriteRedHat(request, ipv4, ipv6, operation);
    case FLAVOUR_SUSE:
      return rewriteSuse(request, ipv4, ipv6, operation);
    case FLAVOUR_NONE:
      break;
  }
  return false;
}

}  // namespace detail

bool writeNetworkFiles(const std::string& iface, AddressMode mode, const std::string& ipv4Address,
                       const std::string& ipv4Netmask, const std::string& ipv4Gateway,
                       const std::string& ipv6Address, const std::string& ipv6Prefix,
                       const std::string& ipv6Gateway) {
  const char* const operation = "writeNetworkFiles";
  const detail::ChangeRequest request{iface,       mode,        ipv4Address, ipv4Netmask,
                                      ipv4Gateway, ipv6Address, ipv6Prefix,  ipv6Gateway};
  if (!detail::checkChangeRequest(request, operation)) return false;
  const OsFlavour flavour = getOsFlavour();
  if (!detail::isSupportedRequest(flavour, request, operation)) return false;
  if (detail::changeFilePaths(flavour, iface, operation).empty()) return false;
  detail::ChangeScope scope(operation);
  if (!scope.isOpen()) return false;
  if (!detail::rewriteFamilyFiles(flavour, request, request.ipv4Settings(), request.ipv6Settings(),
                                  operation)) {
    KESP_LOG(LOG_ERROR, operation, "failed to update network interface files");
    return scope.finish(false);
  }
  return scope.finish(true);
}

}  // namespace KESP
