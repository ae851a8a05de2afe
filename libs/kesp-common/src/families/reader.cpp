// How an interface is configured, read from the running family's files: the
// public calls, and what they add to every family's answer.

#include <functional>
#include <unordered_map>

#include "families/family.h"
#include "files/file_write.h"
#include "files/names.h"
#include "kesp/discovery.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "system/address_entries.h"

namespace KESP {

namespace {

/// The kernel's dynamic IPv6 addresses, read once for every interface asked about.
class DynamicIpv6 {
 public:
  /// What getDynamicIpv6Address says.
  bool heldBy(const std::string& iface) {
    if (!tried_) {
      std::string text;
      if (detail::readIfInet6(text)) byDevice_ = detail::ifInet6ByDevice(text);
    }
    tried_ = true;
    const auto lines = byDevice_.find(iface);
    std::vector<Ipv6Settings> addresses;
    return lines != byDevice_.end() &&
           parseDynamicIpv6Addresses(lines->second, iface, addresses) && !addresses.empty();
  }

 private:
  bool tried_ = false;
  std::unordered_map<std::string, std::string> byDevice_;  ///< lines by device
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

/// Whether an interface holds a dynamic IPv6 address; null: not asked.
using DynamicIpv6Test = std::function<bool(const std::string&)>;

/// Reads every entry through the family: bad names and an unknown family
/// find nothing (both logged), the rest is the family's. With logMissing an
/// interface without files is logged too. AUTOV6 is added where heldBy says
/// an address makes it so.
void readNetworks(const std::vector<ConfiguredNetwork*>& networks, const DynamicIpv6Test& heldBy,
                  bool logMissing) {
  const detail::Family* family = detail::detectFamily();
  std::vector<ConfiguredNetwork*> named;
  for (ConfiguredNetwork* network : networks) {
    network->mode = 0;
    network->configured = false;
    // The name becomes part of a path; a bad one finds nothing.
    if (detail::checkInterfaceName(network->name, "getNetwork")) named.push_back(network);
  }
  if (family) family->read(named);
  for (ConfiguredNetwork* network : named) {
    if (!family) KESP_LOG(LOG_ERROR, "getNetwork", "Unknown OS type: " << FLAVOUR_NONE);
    if (!network->configured && (logMissing || !family))
      KESP_LOG(LOG_ERROR, "getNetwork",
               "failed to read network interface files for '" << network->name << "'");
    // Where the files chose an IPv6 mode the kernel's table cannot change it.
    const AddressMode autoMode = withAutoV6(network->mode);
    if (heldBy && autoMode != network->mode && heldBy(network->name))
      network->mode = autoMode;
  }
}

/// The kernel's table, read when first needed, where AUTOV6 is asked for.
DynamicIpv6Test kernelTest(DynamicIpv6& dynamic, bool detectAutoV6) {
  if (!detectAutoV6) return nullptr;
  return [&dynamic](const std::string& iface) { return dynamic.heldBy(iface); };
}

std::vector<ConfiguredNetwork*> entriesOf(std::vector<ConfiguredNetwork>& networks) {
  std::vector<ConfiguredNetwork*> entries;
  entries.reserve(networks.size());
  for (ConfiguredNetwork& network : networks) entries.push_back(&network);
  return entries;
}

}  // namespace

bool getNetwork(const std::string& iface, bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4,
                Ipv6Settings& ipv6) {
  ConfiguredNetwork network;
  network.name = iface;
  network.ipv4 = ipv4;
  network.ipv6 = ipv6;
  DynamicIpv6 dynamic;
  readNetworks({&network}, kernelTest(dynamic, detectAutoV6), true);
  mode = network.mode;
  ipv4 = network.ipv4;
  ipv6 = network.ipv6;
  return network.configured;
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6) {
  DynamicIpv6 dynamic;
  readNetworks(entriesOf(networks), kernelTest(dynamic, detectAutoV6), false);
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, const LiveAddressSnapshot& live) {
  readNetworks(entriesOf(networks),
               [&live](const std::string& iface) { return live.holdsDynamicIpv6(iface); }, false);
}

bool needsOwnConfiguration(const std::string& iface) {
  const char* const operation = "needsOwnConfiguration";
  const OsFlavour flavour = getOsFlavour();
  // Debian's one file takes a new stanza as it is.
  if (flavour == FLAVOUR_NONE || flavour == FLAVOUR_DEBIAN) return false;
  const std::string path = interfaceConfigPath(flavour, iface, operation);
  std::string content;
  bool missing = false;
  // Read, not tested: a file only a draft holds (or removes) counts as it.
  if (path.empty() || detail::readWholeFile(sysPath(path), content, &missing) || !missing)
    return false;
  std::vector<ConfiguredNetwork> asked(1);
  asked[0].name = iface;
  getNetworks(asked, false);
  return !asked[0].configured;
}

bool listConfiguredInterfaces(std::vector<std::string>& names) {
  names.clear();
  if (const detail::Family* family = detail::detectFamily()) return family->list(names);
  KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "Unknown OS type: " << FLAVOUR_NONE);
  return false;
}

}  // namespace KESP
