#include "status_check.h"

#include <unordered_map>
#include <vector>

#include "kesp/network.h"

namespace kesp_console {

std::string checkStatusAddress() {
  // One reading of the kernel's addresses serves every interface of the check.
  KESP::LiveAddressSnapshot live;
  if (!live.read()) return std::string();
  const std::vector<std::string> interfaces = live.interfaces();
  // And one reading of the interface files: asked interface by interface, the
  // Debian files would be read and parsed once per interface.
  std::vector<KESP::ConfiguredNetwork> configured(interfaces.size());
  for (size_t i = 0; i < interfaces.size(); ++i) configured[i].name = interfaces[i];
  KESP::getNetworks(configured, true);
  std::unordered_map<std::string, const KESP::ConfiguredNetwork*> byName;
  for (const KESP::ConfiguredNetwork& network : configured) byName.emplace(network.name, &network);

  return chooseStatusAddress(interfaces, [&live, &byName](const std::string& iface) {
    InterfaceFacts facts;
    facts.configuredModes = byName.at(iface)->mode;
    // Without a configured mode no live address can count.
    if (facts.configuredModes != 0) live.liveAddresses(iface, facts.live4, facts.live6);
    // A link the kernel does not list any more is gone: nothing on it counts.
    KESP::LinkState link;
    facts.linkUsable = live.linkState(iface, link) && link.usable();
    return facts;
  });
}

}  // namespace kesp_console
