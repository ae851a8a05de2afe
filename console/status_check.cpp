#include "status_check.h"

#include <libintl.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <vector>

#include "kesp/diagnosis.h"
#include "kesp/network.h"

namespace kesp_console {

namespace {

using Clock = std::chrono::steady_clock;
const std::chrono::seconds kProbeInterval(60);

/// The interfaces worth blaming: the kernel's Ethernet links, then those
/// only the files name; each once.
std::vector<std::string> suspects(const KESP::LiveAddressSnapshot& live) {
  std::vector<std::string> names = live.ethernetLinks();
  std::vector<std::string> configured;
  KESP::listConfiguredInterfaces(configured);
  for (const std::string& name : configured)
    if (name != "lo" && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  return names;
}

/// The words of the first failing verdict among configured, through the
/// console's catalogue; empty when every verdict holds.
std::string firstCause(const std::vector<KESP::ConfiguredNetwork>& configured,
                       const KESP::LiveAddressSnapshot& live, bool sendProbes) {
  for (const KESP::ConfiguredNetwork& network : configured) {
    KESP::DiagnosisOptions options;
    options.sendProbes = sendProbes;
    options.live = &live;
    options.configured = &network;
    const KESP::Verdict verdict = KESP::diagnoseInterface(network.name, options);
    if (!verdict.ok()) return verdict.message.filled(gettext(verdict.message.pattern));
  }
  return std::string();
}

std::string findCause(const KESP::LiveAddressSnapshot& live) {
  // The console is one thread; the last probing is the process's own.
  static Clock::time_point lastProbe;
  static bool probed = false;
  static std::string probedCause;
  const std::vector<std::string> names = suspects(live);
  std::vector<KESP::ConfiguredNetwork> configured(names.size());
  for (size_t i = 0; i < names.size(); ++i) configured[i].name = names[i];
  KESP::getNetworks(configured, live);
  // The quiet layers first: what they find needs no packet sent.
  const std::string quiet = firstCause(configured, live, false);
  if (!quiet.empty()) return quiet;
  if (!probed || Clock::now() - lastProbe >= kProbeInterval) {
    probedCause = firstCause(configured, live, true);
    lastProbe = Clock::now();
    probed = true;
  }
  return probedCause;
}

}  // namespace

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

  StatusChoice choice = chooseStatus(interfaces, [&live, &byName](const std::string& iface) {
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
  // An interface configured nowhere is already the warning's own first line.
  if (choice.address.empty() && choice.unconfiguredInterface.empty()) choice.cause = findCause(live);
  return choice;
}

}  // namespace kesp_console
