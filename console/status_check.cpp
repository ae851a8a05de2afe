#include "status_check.h"

#include <unordered_map>
#include <vector>

#include "kesp/network.h"

namespace kesp_console {

StatusChoice checkStatus() {
  // One reading of the kernel's addresses serves every interface of the check.
  KESP::LiveAddressSnapshot live;
  if (!live.read()) return StatusChoice();
  const std::vector<std::string> interfaces = live.interfaces();
  // And one reading of the interface files: asked interface by interface, the
  // Debian files would be read and parsed once per interface.
  std::vector<KESP::ConfiguredNetwork> configured(interfaces.size());
  for (size_t i = 0; i < interfaces.size(); ++i) configured[i].name = interfaces[i];
  KESP::getNetworks(configured, live);
  std::unordered_map<std::string, const KESP::ConfiguredNetwork*> byName;
  for (const KESP::ConfiguredNetwork& network : configured) byName.emplace(network.name, &network);

  return chooseStatus(interfaces, [&live, &byName](const std::string& iface) {
    InterfaceFacts facts;
    const KESP::ConfiguredNetwork& network = *byName.at(iface);
    facts.configuredModes = network.mode;
    facts.configured = network.configured;
    // Read even without a configured mode: an address held there is told apart.
    live.liveAddresses(iface, facts.live4, facts.live6);
    // A link the kernel does not list any more is gone: nothing on it counts.
    KESP::LinkState link;
    facts.linkUsable = live.linkState(iface, link) && link.usable();
    return facts;
  });
}

}  // namespace kesp_console
