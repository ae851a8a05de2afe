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
  return chooseStatus(interfaces, probe).address;
}

StatusChoice chooseStatus(const std::vector<std::string>& interfaces, const InterfaceProbe& probe) {
  StatusChoice choice;
  for (const std::string& iface : interfaces) {
    const InterfaceFacts facts = probe(iface);
    choice.address = reachableAddress(facts);
    if (!choice.address.empty()) {
      choice.unconfiguredInterface.clear();
      choice.unconfiguredAddress.clear();
      return choice;
    }
    if (facts.configured || !facts.linkUsable || !choice.unconfiguredInterface.empty()) continue;
    const std::string& held = facts.live4.address.empty() ? facts.live6.address : facts.live4.address;
    if (held.empty()) continue;
    choice.unconfiguredInterface = iface;
    choice.unconfiguredAddress = held;
  }
  return choice;
}

}  // namespace kesp_console
