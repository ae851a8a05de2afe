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
const size_t kMostProbed = 4;

/// getNetworks for names, taking those already read from known.
std::vector<KESP::ConfiguredNetwork> networksOf(const std::vector<std::string>& names,
                                                const std::vector<KESP::ConfiguredNetwork>& known,
                                                const KESP::LiveAddressSnapshot& live) {
  std::vector<KESP::ConfiguredNetwork> found(names.size()), missing;
  std::vector<size_t> missingAt;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto same = std::find_if(known.begin(), known.end(),
                                   [&](const KESP::ConfiguredNetwork& n) { return n.name == names[i]; });
    if (same != known.end()) {
      found[i] = *same;
      continue;
    }
    missing.emplace_back();
    missing.back().name = names[i];
    missingAt.push_back(i);
  }
  if (!missing.empty()) KESP::getNetworks(missing, live);
  for (size_t m = 0; m < missing.size(); ++m) found[missingAt[m]] = missing[m];
  return found;
}

/// The interfaces the files configure that the kernel has no link of.
std::vector<std::string> absentConfigured(const KESP::LiveAddressSnapshot& live) {
  std::vector<std::string> configured, absent;
  KESP::listConfiguredInterfaces(configured);
  KESP::LinkState ignored;
  for (const std::string& name : configured)
    if (name != "lo" && !live.linkState(name, ignored)) absent.push_back(name);
  return absent;
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

/// The cause among the kernel's Ethernet links, then the interfaces that
/// only the files name (read only when the links show none); known holds
/// what the check has read already.
std::string findCause(const KESP::LiveAddressSnapshot& live,
                      const std::vector<KESP::ConfiguredNetwork>& known) {
  // The console is one thread; the last probing is the process's own.
  static Clock::time_point lastProbe;
  static bool probed = false;
  static std::string probedCause;
  std::vector<KESP::ConfiguredNetwork> suspects = networksOf(live.ethernetLinks(), known, live);
  // The quiet layers first: what they find needs no packet sent.
  std::string cause = firstCause(suspects, live, false);
  if (!cause.empty()) return cause;
  const std::vector<KESP::ConfiguredNetwork> absent = networksOf(absentConfigured(live), {}, live);
  cause = firstCause(absent, live, false);
  if (!cause.empty()) return cause;
  if (!probed || Clock::now() - lastProbe >= kProbeInterval) {
    // The key loop waits meanwhile: a few links' probes, each bounded, at most.
    if (suspects.size() > kMostProbed) suspects.resize(kMostProbed);
    probedCause = firstCause(suspects, live, true);
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
  if (choice.address.empty() && choice.unconfiguredInterface.empty()) choice.cause = findCause(live, configured);
  return choice;
}

}  // namespace kesp_console
