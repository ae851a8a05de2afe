// How an interface is configured, read from the running family's files.

#include <dirent.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "address_entries.h"
#include "debian_grammar.h"
#include "debian_tree.h"
#include "kesp/sysroot.h"
#include "names.h"

namespace KESP {

namespace {

/// One pass over the lines of the main file and what it sources, keeping only
/// the interface's own lines.
bool readDebianFiles(const std::string& iface, AddressMode& mode, Ipv4Settings& ipv4,
                     Ipv6Settings& ipv6) {
  detail::DebianTree tree;
  return detail::loadDebianTree(tree, "getNetwork") &&
         detail::readDebianTreeInterface(tree, iface, mode, ipv4, ipv6);
}

bool readRedHatFiles(const std::string& iface, AddressMode& mode, Ipv4Settings& ipv4,
                     Ipv6Settings& ipv6) {
  KeyValueFile file('=');
  if (!file.load(sysPath(interfaceConfigPath(FLAVOUR_REDHAT, iface, "getNetwork")))) return false;
  readRedHatInterface(file, mode, ipv4, ipv6);
  return true;
}

bool readSuseFiles(const std::string& iface, AddressMode& mode, Ipv4Settings& ipv4,
                   Ipv6Settings& ipv6) {
  KeyValueFile file('=');
  if (!file.load(sysPath(interfaceConfigPath(FLAVOUR_SUSE, iface, "getNetwork")))) return false;
  readSuseInterface(file, hasDhcpv6Client(), mode, ipv4, ipv6);
  // The gateways live only in the routes file; stale ones must not survive.
  ipv4.gateway.clear();
  ipv6.gateway.clear();
  KeyValueFile routes(' ');
  if (routes.load(sysPath(SUSE_ROUTES_FILE))) readSuseRoutes(routes, ipv4, ipv6);
  return true;
}

struct FamilyReader {
  OsFlavour flavour;
  bool (*read)(const std::string&, AddressMode&, Ipv4Settings&, Ipv6Settings&);
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

// Copies and editor leftovers of ifcfg files that configure nothing.
const char* const kBackupSuffixes[] = {"~",       ".bak",     ".old",    ".orig",
                                       ".rpmnew", ".rpmsave", ".rpmorig"};

bool isBackupName(const std::string& name) {
  for (const char* suffix : kBackupSuffixes) {
    const std::string ending = suffix;
    if (name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

bool listIfcfgNames(const std::string& directory, std::vector<std::string>& names) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(sysPath(directory).c_str()), closedir);
  if (!dir) {
    KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "cannot read directory " << directory);
    return false;
  }
  const std::string prefix = "ifcfg-";
  while (const dirent* entry = readdir(dir.get())) {
    const std::string fileName = entry->d_name;
    if (fileName.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string name = fileName.substr(prefix.size());
    if (detail::isValidInterfaceName(name) && !isBackupName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return true;
}

/// The kernel's dynamic IPv6 addresses, read at most once for many interfaces.
class DynamicIpv6Addresses {
 public:
  bool heldBy(const std::string& iface) {
    if (!read_) {
      readable_ = detail::readIfInet6(text_);
      read_ = true;
    }
    // What getDynamicIpv6Address says, without reading the kernel's table again.
    std::vector<Ipv6Settings> addresses;
    return readable_ && parseDynamicIpv6Addresses(text_, iface, addresses) && !addresses.empty();
  }

 private:
  bool read_ = false;
  bool readable_ = false;
  std::string text_;
};

/// What getNetwork adds to a family's answer: the failure line and AUTOV6.
bool finishReading(const std::string& iface, bool found, bool detectAutoV6,
                   DynamicIpv6Addresses& dynamic, AddressMode& mode) {
  if (!found)
    KESP_LOG(LOG_ERROR, "getNetwork",
             "failed to read network interface files for '" << iface << "'");
  if (detectAutoV6 && dynamic.heldBy(iface)) mode = withAutoV6(mode);
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

}  // namespace

bool getNetwork(const std::string& iface, bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4,
                Ipv6Settings& ipv6) {
  mode = 0;
  // The name becomes part of a path; a bad one finds nothing.
  if (!detail::checkInterfaceName(iface, "getNetwork")) return false;

  bool found = false;
  const OsFlavour flavour = getOsFlavour();
  const FamilyReader* reader = nullptr;
  for (const FamilyReader& candidate : kFamilyReaders) {
    if (candidate.flavour == flavour) reader = &candidate;
  }
  if (reader)
    found = reader->read(iface, mode, ipv4, ipv6);
  else
    KESP_LOG(LOG_ERROR, "getNetwork", "Unknown OS type: " << static_cast<int>(flavour));
  DynamicIpv6Addresses dynamic;
  return finishReading(iface, found, detectAutoV6, dynamic, mode);
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6) {
  detail::DebianTree tree;
  if (getOsFlavour() != FLAVOUR_DEBIAN || !detail::loadDebianTree(tree, "getNetwork")) {
    // One file per interface (or nothing to read): one call per name is linear.
    for (ConfiguredNetwork& network : networks)
      network.configured =
          getNetwork(network.name, detectAutoV6, network.mode, network.ipv4, network.ipv6);
    return;
  }
  for (ConfiguredNetwork& network : networks) network.mode = 0;
  std::vector<bool> found(networks.size(), false);
  readDebianNetworks(tree, networks, found);
  DynamicIpv6Addresses dynamic;
  for (size_t i = 0; i < networks.size(); ++i) {
    ConfiguredNetwork& network = networks[i];
    network.configured = false;
    if (!detail::checkInterfaceName(network.name, "getNetwork")) {
      network.mode = 0;
      continue;
    }
    network.configured = finishReading(network.name, found[i], detectAutoV6, dynamic, network.mode);
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
      return listIfcfgNames(REDHAT_SCRIPTS_DIR, names);
    case FLAVOUR_SUSE:
      return listIfcfgNames(SUSE_NETWORK_DIR, names);
    case FLAVOUR_NONE:
      break;
  }
  KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "Unknown OS type: " << static_cast<int>(flavour));
  return false;
}

}  // namespace KESP
