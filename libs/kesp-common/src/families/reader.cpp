// How an interface is configured, read from the running family's files: the
// public calls, and what they add to every family's answer.

#include <unordered_map>

#include "families/family.h"
#include "files/names.h"
#include "kesp/discovery.h"
#include "kesp/log.h"
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

/// Reads every entry through the family: bad names and an unknown family
/// find nothing (both logged), the rest is the family's. With logMissing an
/// interface without files is logged too. AUTOV6 is added where asked for.
void readNetworks(const std::vector<ConfiguredNetwork*>& networks, bool detectAutoV6,
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
  DynamicIpv6 dynamic;
  for (ConfiguredNetwork* network : named) {
    if (!family) KESP_LOG(LOG_ERROR, "getNetwork", "Unknown OS type: " << FLAVOUR_NONE);
    if (!network->configured && (logMissing || !family))
      KESP_LOG(LOG_ERROR, "getNetwork",
               "failed to read network interface files for '" << network->name << "'");
    if (detectAutoV6 && dynamic.heldBy(network->name)) network->mode = withAutoV6(network->mode);
  }
}

}  // namespace

bool getNetwork(const std::string& iface, bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4,
                Ipv6Settings& ipv6) {
  ConfiguredNetwork network;
  network.name = iface;
  network.ipv4 = ipv4;
  network.ipv6 = ipv6;
  readNetworks({&network}, detectAutoV6, true);
  mode = network.mode;
  ipv4 = network.ipv4;
  ipv6 = network.ipv6;
  return network.configured;
}

void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6) {
  std::vector<ConfiguredNetwork*> entries;
  entries.reserve(networks.size());
  for (ConfiguredNetwork& network : networks) entries.push_back(&network);
  readNetworks(entries, detectAutoV6, false);
}

bool listConfiguredInterfaces(std::vector<std::string>& names) {
  names.clear();
  if (const detail::Family* family = detail::detectFamily()) return family->list(names);
  KESP_LOG(LOG_ERROR, "listConfiguredInterfaces", "Unknown OS type: " << FLAVOUR_NONE);
  return false;
}

}  // namespace KESP
