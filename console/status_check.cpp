#include "status_check.h"

#include <vector>

#include "kesp/network.h"

namespace kesp_console {

namespace {

InterfaceFacts probeWith(const KESP::LiveAddressSnapshot& live, const std::string& iface) {
  InterfaceFacts facts;
  // Only the mode matters here; the configured settings are thrown away.
  KESP::Ipv4Settings configured4;
  KESP::Ipv6Settings configured6;
  KESP::getNetwork(iface, true, facts.configuredModes, configured4, configured6);
  // Without a configured mode no live address can count.
  if (facts.configuredModes != 0) live.liveAddresses(iface, facts.live4, facts.live6);
  // A link the kernel does not list any more is gone: nothing on it counts.
  KESP::LinkState link;
  facts.linkUsable = live.linkState(iface, link) && link.usable();
  return facts;
}

}  // namespace

std::string checkStatusAddress() {
  // One reading of the kernel's addresses serves every interface of the check.
  KESP::LiveAddressSnapshot live;
  if (!live.read()) return std::string();
  return chooseStatusAddress(live.interfaces(), [&live](const std::string& iface) {
    return probeWith(live, iface);
  });
}

}  // namespace kesp_console
