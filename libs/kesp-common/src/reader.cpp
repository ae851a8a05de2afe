// How an interface is configured, read from the running family's files.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "debian_grammar.h"
#include "kesp/sysroot.h"
#include "names.h"
#include "root_path.h"

namespace KESP {

namespace {

bool readDebianFiles(const std::string& iface, AddressMode& mode, Ipv4Settings& ipv4,
                     Ipv6Settings& ipv6) {
  TextFile file;
  if (!file.load(sysPath(DEBIAN_INTERFACES_FILE))) return false;
  return readDebianInterface(file, iface, mode, ipv4, ipv6);
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
  const int fd = detail::openInRoot(sysPath(directory), O_RDONLY | O_DIRECTORY);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : fdopendir(fd), closedir);
  if (fd >= 0 && !dir) ::close(fd);
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

/// What getNetwork adds to a family's answer: the failure line and AUTOV6.
bool finishReading(const std::string& iface, bool found, bool detectAutoV6, AddressMode& mode) {
  if (!found)
    KESP_LOG(LOG_ERROR, "getNetwork",
             "failed to read network interface files for '" << iface << "'");
  Ipv6Settings scratch;
  if (detectAutoV6 && getDynamicIpv6Address(iface, scratch)) mode = withAutoV6(mode);
  return found;
}

/// Every interface's lines of a Debian file: each iface line starts the lines
/// of the interface it names (a nameless one, of none), and readDebianInterface
/// on them reads what it reads on the whole file.
std::map<std::string, TextFile> splitDebianInterfaces(const TextFile& file) {
  std::map<std::string, TextFile> parts;
  TextFile* current = nullptr;
  for (const std::string& stored : file.lines) {
    const detail::DebianLine line = detail::classifyDebianLine(stored);
    if (line.kind == detail::DebianLineKind::Iface) {
      const std::string name = detail::ifaceLineName(line.text);
      current = name.empty() ? nullptr : &parts[name];
    }
    if (current) current->lines.push_back(stored);
  }
  return parts;
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
  return finishReading(iface, found, detectAutoV6, mode);
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6) {
  TextFile file;
  if (getOsFlavour() != FLAVOUR_DEBIAN || !file.load(sysPath(DEBIAN_INTERFACES_FILE))) {
    // One file per interface (or nothing to read): one call per name is linear.
    for (ConfiguredNetwork& network : networks)
      network.configured =
          getNetwork(network.name, detectAutoV6, network.mode, network.ipv4, network.ipv6);
    return;
  }
  const std::map<std::string, TextFile> parts = splitDebianInterfaces(file);
  for (ConfiguredNetwork& network : networks) {
    network.mode = 0;
    network.configured = false;
    if (!detail::checkInterfaceName(network.name, "getNetwork")) continue;
    const auto part = parts.find(network.name);
    const bool found = part != parts.end() &&
                       readDebianInterface(part->second, network.name, network.mode,
                                           network.ipv4, network.ipv6);
    network.configured = finishReading(network.name, found, detectAutoV6, network.mode);
  }
}

bool listConfiguredInterfaces(std::vector<std::string>& names) {
  names.clear();
  const OsFlavour flavour = getOsFlavour();
  switch (flavour) {
    case FLAVOUR_DEBIAN: {
      TextFile file;
      if (!file.load(sysPath(DEBIAN_INTERFACES_FILE))) {
        KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "cannot read " << DEBIAN_INTERFACES_FILE);
        return false;
      }
      listDebianInterfaces(file, names);
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
