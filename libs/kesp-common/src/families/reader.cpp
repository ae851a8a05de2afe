// How an interface is configured, read from the running family's files.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "system/address_entries.h"
#include "families/debian/debian_grammar.h"
#include "families/debian/debian_tree.h"
#include "families/ifcfg/ifcfg_addresses.h"
#include "families/ifcfg/ifcfg_files.h"
#include "families/suse/suse_routes.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "files/root_path.h"

namespace KESP {

namespace {

/// What a reading for several interfaces needs from files that all of them
/// share: each is read at most once, when first needed.
class SharedFiles {
 public:
  bool dhcpv6Client() {
    if (!dhcpv6Known_) dhcpv6Client_ = hasDhcpv6Client();
    dhcpv6Known_ = true;
    return dhcpv6Client_;
  }

  /// SUSE's routes file; null when it cannot be read.
  KeyValueFile* suseRoutes() {
    if (!routesTried_) routesLoaded_ = routes_.load(sysPath(SUSE_ROUTES_FILE));
    routesTried_ = true;
    return routesLoaded_ ? &routes_ : nullptr;
  }

  /// What getDynamicIpv6Address says, with the kernel's table read once.
  bool holdsDynamicIpv6(const std::string& iface) {
    if (!ifInet6Tried_) {
      std::string text;
      if (detail::readIfInet6(text)) ifInet6_ = detail::ifInet6ByDevice(text);
    }
    ifInet6Tried_ = true;
    const auto lines = ifInet6_.find(iface);
    std::vector<Ipv6Settings> addresses;
    return lines != ifInet6_.end() && parseDynamicIpv6Addresses(lines->second, iface, addresses) &&
           !addresses.empty();
  }

 private:
  bool dhcpv6Known_ = false;
  bool dhcpv6Client_ = false;
  bool routesTried_ = false;
  bool routesLoaded_ = false;
  KeyValueFile routes_{' '};
  bool ifInet6Tried_ = false;
  std::unordered_map<std::string, std::string> ifInet6_;  ///< lines by device
};

/// One pass over the lines of the main file and what it sources, keeping only
/// the interface's own lines.
bool readDebianFiles(const std::string& iface, SharedFiles&, AddressMode& mode, Ipv4Settings& ipv4,
                     Ipv6Settings& ipv6, std::vector<std::string>&) {
  detail::DebianTree tree;
  return detail::loadDebianTree(tree, "getNetwork") &&
         detail::readDebianTreeInterface(tree, iface, mode, ipv4, ipv6);
}

bool readRedHatFiles(const std::string& iface, SharedFiles&, AddressMode& mode, Ipv4Settings& ipv4,
                     Ipv6Settings& ipv6, std::vector<std::string>& further) {
  KeyValueFile file('=');
  std::string other;
  const std::string path = detail::redHatFileOf(iface, &other);
  // A file named after the interface that configures another device is not its.
  if (!other.empty() || !file.load(sysPath(path))) return false;
  readRedHatInterface(file, mode, ipv4, ipv6);
  further = detail::redHatAddresses(file).furtherTexts();
  return true;
}

bool readSuseFiles(const std::string& iface, SharedFiles& shared, AddressMode& mode,
                   Ipv4Settings& ipv4, Ipv6Settings& ipv6, std::vector<std::string>& further) {
  KeyValueFile file('=');
  if (!file.load(sysPath(interfaceConfigPath(FLAVOUR_SUSE, iface, "getNetwork")))) return false;
  readSuseInterface(file, shared.dhcpv6Client(), mode, ipv4, ipv6);
  const detail::IfcfgAddresses addresses = detail::suseAddresses(file);
  further = addresses.furtherTexts();
  // The gateways live only in the routes files; stale ones must not survive.
  ipv4.gateway.clear();
  ipv6.gateway.clear();
  if (KeyValueFile* routes = shared.suseRoutes())
    detail::readSuseInterfaceRoutes(*routes, iface, addresses.all, ipv4, ipv6);
  // The interface's own file outranks the shared one.
  KeyValueFile ownRoutes(' ');
  if (ownRoutes.load(sysPath(detail::suseInterfaceRoutesPath(iface))))
    readSuseRoutes(ownRoutes, ipv4, ipv6);
  return true;
}

struct FamilyReader {
  OsFlavour flavour;
  bool (*read)(const std::string&, SharedFiles&, AddressMode&, Ipv4Settings&, Ipv6Settings&,
               std::vector<std::string>&);
};

const FamilyReader kFamilyReaders[] = {
    {FLAVOUR_DEBIAN, readDebianFiles},
    {FLAVOUR_REDHAT, readRedHatFiles},
    {FLAVOUR_SUSE, readSuseFiles},
};

/// An autoconfigured address adds AUTOV6 only where the files chose no IPv6 mode.
AddressMode withAutoV6(AddressMode mode) {
  switch (mode) {
    case 0:
      return AUTOV6;
    case STATICV4:
      return STATICV4 | AUTOV6;
    case DHCPV4:
      return DHCPV4 | AUTOV6;
    default:
      return mode;
  }
}

/// What getNetwork adds to a family's answer: the failure line (where asked
/// for) and AUTOV6.
bool finishReading(const std::string& iface, bool found, bool detectAutoV6, SharedFiles& shared,
                   AddressMode& mode, bool logMissing = true) {
  if (!found && logMissing)
    KESP_LOG(LOG_ERROR, "getNetwork",
             "failed to read network interface files for '" << iface << "'");
  if (detectAutoV6 && shared.holdsDynamicIpv6(iface)) mode = withAutoV6(mode);
  return found;
}

/// The Debian reading of getNetwork for every entry, in one pass over the
/// tree: each iface line hands the lines after it to the reading of the
/// interface it names, if that one is asked for.
void readDebianNetworks(const detail::DebianTree& tree, std::vector<ConfiguredNetwork>& networks,
                        std::vector<bool>& found) {
  std::vector<detail::DebianInterfaceReading> readings;
  readings.reserve(networks.size());
  std::unordered_map<std::string, detail::DebianInterfaceReading*> byName;
  for (ConfiguredNetwork& network : networks) {
    readings.emplace_back(network.name, network.mode, network.ipv4, network.ipv6);
    byName.emplace(network.name, &readings.back());  // a repeated name is read once
  }
  detail::DebianInterfaceReading* current = nullptr;
  detail::walkDebianTree(
      tree,
      [&](const char* stored, std::size_t size) {
        if (!current && !detail::mayBeIfaceLine(stored, size)) return;
        const detail::DebianLine line = detail::classifyDebianLine(std::string(stored, size));
        if (line.kind == detail::DebianLineKind::Iface) {
          const auto reading = byName.find(detail::ifaceLineName(line.text));
          current = reading == byName.end() ? nullptr : reading->second;
        }
        if (current) current->feed(line);
      },
      [&current] {
        if (current) current->leaveStanza();
        current = nullptr;
      });
  for (size_t i = 0; i < networks.size(); ++i) {
    const detail::DebianInterfaceReading* reading = byName.at(networks[i].name);
    if (reading == &readings[i]) {
      found[i] = reading->found();
      continue;
    }
    // The same name asked for twice: the first entry holds the reading.
    const ConfiguredNetwork& first = networks[static_cast<size_t>(reading - readings.data())];
    networks[i].mode = first.mode;
    networks[i].ipv4 = first.ipv4;
    networks[i].ipv6 = first.ipv6;
    found[i] = reading->found();
  }
}

/// The names of the tree's iface lines, each once, in reading order.
void listDebianTreeInterfaces(const detail::DebianTree& tree, std::vector<std::string>& names) {
  std::unordered_set<std::string> seen;
  detail::walkDebianTree(
      tree,
      [&](const char* stored, std::size_t size) {
        if (!detail::mayBeIfaceLine(stored, size)) return;
        const detail::DebianLine line = detail::classifyDebianLine(std::string(stored, size));
        if (line.kind != detail::DebianLineKind::Iface) return;
        std::string name = detail::ifaceLineName(line.text);
        if (!name.empty() && seen.insert(name).second) names.push_back(std::move(name));
      },
      [] {});
}

/// getNetwork on a flavour already detected, with files shared between calls.
bool readNetwork(OsFlavour flavour, SharedFiles& shared, const std::string& iface,
                 bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4, Ipv6Settings& ipv6,
                 std::vector<std::string>& further, bool logMissing = true) {
  mode = 0;
  // The name becomes part of a path; a bad one finds nothing.
  if (!detail::checkInterfaceName(iface, "getNetwork")) return false;

  bool found = false;
  const FamilyReader* reader = nullptr;
  for (const FamilyReader& candidate : kFamilyReaders) {
    if (candidate.flavour == flavour) reader = &candidate;
  }
  if (reader)
    found = reader->read(iface, shared, mode, ipv4, ipv6, further);
  else
    KESP_LOG(LOG_ERROR, "getNetwork", "Unknown OS type: " << static_cast<int>(flavour));
  return finishReading(iface, found, detectAutoV6, shared, mode, logMissing || !reader);
}

}  // namespace

bool getNetwork(const std::string& iface, bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4,
                Ipv6Settings& ipv6) {
  SharedFiles shared;
  std::vector<std::string> further;
  return readNetwork(getOsFlavour(), shared, iface, detectAutoV6, mode, ipv4, ipv6, further);
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6) {
  const OsFlavour flavour = getOsFlavour();
  SharedFiles shared;
  detail::DebianTree tree;
  if (flavour != FLAVOUR_DEBIAN || !detail::loadDebianTree(tree, "getNetwork")) {
    // One file per interface (or nothing to read), and the shared ones once.
    for (ConfiguredNetwork& network : networks)
      network.configured = readNetwork(flavour, shared, network.name, detectAutoV6, network.mode,
                                       network.ipv4, network.ipv6, network.furtherAddresses, false);
    return;
  }
  for (ConfiguredNetwork& network : networks) network.mode = 0;
  std::vector<bool> found(networks.size(), false);
  readDebianNetworks(tree, networks, found);
  for (size_t i = 0; i < networks.size(); ++i) {
    ConfiguredNetwork& network = networks[i];
    network.configured = false;
    if (!detail::checkInterfaceName(network.name, "getNetwork")) {
      network.mode = 0;
      continue;
    }
    network.configured =
        finishReading(network.name, found[i], detectAutoV6, shared, network.mode, false);
  }
}

bool listConfiguredInterfaces(std::vector<std::string>& names) {
  names.clear();
  const OsFlavour flavour = getOsFlavour();
  switch (flavour) {
    case FLAVOUR_DEBIAN: {
      detail::DebianTree tree;
      if (!detail::loadDebianTree(tree, "listConfiguredInterfaces")) {
        KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "cannot read " << DEBIAN_INTERFACES_FILE);
        return false;
      }
      listDebianTreeInterfaces(tree, names);
      return true;
    }
    case FLAVOUR_REDHAT:
      return detail::listRedHatInterfaces(names);
    case FLAVOUR_SUSE:
      return detail::listIfcfgFileNames(SUSE_NETWORK_DIR, names, "listConfiguredInterfaces");
    case FLAVOUR_NONE:
      break;
  }
  KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "Unknown OS type: " << static_cast<int>(flavour));
  return false;
}

}  // namespace KESP
