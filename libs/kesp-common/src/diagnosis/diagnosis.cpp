// The public entry points: one interface, or several at once, each judged
// from fresh facts.

#include "kesp/diagnosis.h"

#include <future>

#include "diagnosis/gather.h"
#include "kesp/discovery.h"
#include "kesp/interface_files.h"

namespace KESP {

namespace {

const int kProbeMs = 2000;
// What is left of the command's 10 seconds once the quiet layers are read.
const int kProbeDeadlineMs = 9000;

ConfiguredNetwork readConfiguration(const std::string& iface, const LiveAddressSnapshot& live) {
  std::vector<ConfiguredNetwork> networks(1);
  networks[0].name = iface;
  getNetworks(networks, live);
  return networks[0];
}

}  // namespace

const char* diagnosisLayerName(DiagnosisLayer layer) {
  switch (layer) {
    case DiagnosisLayer::Link: return "link";
    case DiagnosisLayer::Configuration: return "configuration";
    case DiagnosisLayer::Address: return "address";
    case DiagnosisLayer::Gateway: return "gateway";
    case DiagnosisLayer::NameServers: return "name-servers";
    case DiagnosisLayer::Proxy: return "proxy";
    case DiagnosisLayer::Ok: return "ok";
  }
  return "ok";
}

std::string DiagnosisText::filled(const std::string& translatedPattern) const {
  std::string out;
  for (size_t at = 0; at < translatedPattern.size(); ++at) {
    const size_t close = translatedPattern.find('}', at);
    if (translatedPattern[at] == '{' && close != std::string::npos && close > at + 1 &&
        close - at <= 3) {
      const std::string digits = translatedPattern.substr(at + 1, close - at - 1);
      if (digits.find_first_not_of("0123456789") == std::string::npos) {
        const size_t index = std::stoul(digits);
        if (index >= 1 && index <= values.size()) {
          out += values[index - 1];
          at = close;
          continue;
        }
      }
    }
    out += translatedPattern[at];
  }
  return out;
}

Verdict diagnoseInterface(const std::string& iface, const DiagnosisOptions& options) {
  LiveAddressSnapshot ownReading;
  const LiveAddressSnapshot* live = options.live;
  if (!live) {
    ownReading.read();
    live = &ownReading;
  }
  const ConfiguredNetwork configured =
      options.configured ? *options.configured : readConfiguration(iface, *live);
  detail::DiagnosisFacts facts;
  detail::gatherQuietFacts(iface, *live, configured, options.sendProbes, facts);
  if (options.sendProbes) {
    facts.unreadable = takeUnreadableFiles();
    detail::gatherServiceFacts(facts);
    detail::runProbes(facts, kProbeMs, kProbeDeadlineMs);
  }
  return detail::chooseVerdict(facts);
}

std::vector<Verdict> diagnoseInterfaces(const std::vector<std::string>& names) {
  LiveAddressSnapshot live;
  live.read();
  std::vector<ConfiguredNetwork> configured(names.size());
  for (size_t i = 0; i < names.size(); ++i) configured[i].name = names[i];
  getNetworks(configured, live);
  const std::vector<std::string> unreadable = takeUnreadableFiles();
  // Files and the kernel are read here, in the caller's thread (the family
  // hold serves the thread that made it); only the probes run concurrently.
  std::vector<detail::DiagnosisFacts> facts(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    detail::gatherQuietFacts(names[i], live, configured[i], true, facts[i]);
    facts[i].unreadable = unreadable;
    detail::gatherServiceFacts(facts[i]);
  }
  std::vector<std::future<void>> probes;
  for (detail::DiagnosisFacts& each : facts)
    probes.push_back(std::async(std::launch::async, [&each] {
      detail::runProbes(each, kProbeMs, kProbeDeadlineMs);
    }));
  std::vector<Verdict> verdicts;
  for (size_t i = 0; i < facts.size(); ++i) {
    probes[i].wait();
    verdicts.push_back(detail::chooseVerdict(facts[i]));
  }
  return verdicts;
}

}  // namespace KESP
