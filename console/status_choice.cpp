#include "status_choice.h"

namespace kesp_console {

std::string reachableAddress(const InterfaceFacts& facts) {
  if (!facts.linkUsable) return std::string();
  if ((facts.configuredModes & KESP::IPV4_MODES) && !facts.live4.address.empty())
    return facts.live4.address;
  if ((facts.configuredModes & KESP::IPV6_MODES) && !facts.live6.address.empty())
    return facts.live6.address;
  return std::string();
}

std::string chooseStatusAddress(const std::vector<std::string>& interfaces,
                                const InterfaceProbe& probe) {
  for (const std::string& iface : interfaces) {
    std::string address = reachableAddress(probe(iface));
    if (!address.empty()) return address;
  }
  return std::string();
}

}  // namespace kesp_console
