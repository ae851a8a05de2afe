#pragma once
// Why an interface does not reach the network: its layers examined in order
// (link, configuration, address, gateway, name servers, proxy), stopping at
// the first that fails, with the cause and the fix in words. The same call
// serves the tool's diagnose command, the console's cause line and the
// dialogue's verdict after a change.

#include <string>
#include <utility>
#include <vector>

namespace KESP {

class LiveAddressSnapshot;
struct ConfiguredNetwork;

enum class DiagnosisLayer { Link, Configuration, Address, Gateway, NameServers, Proxy, Ok };

/// "link", "configuration", "address", "gateway", "name-servers", "proxy", "ok".
const char* diagnosisLayerName(DiagnosisLayer layer);

/// A text with its values apart, so that each program can put the English
/// pattern through its own message catalogue before filling in "{1}", "{2}", ...
struct DiagnosisText {
  const char* pattern = "";
  std::vector<std::string> values;
  /// The pattern (or its translation) with the values filled in.
  std::string filled(const std::string& translatedPattern) const;
  std::string english() const { return filled(pattern); }
};

struct Verdict {
  std::string iface;
  /// The first layer that fails; Ok when none does.
  DiagnosisLayer layer = DiagnosisLayer::Ok;
  bool ok() const { return layer == DiagnosisLayer::Ok; }
  /// What was found ("eth0: cable not connected").
  DiagnosisText message;
  /// What to do about it; an empty pattern when nothing is to be done.
  DiagnosisText fix;
  /// What was found on the way, by name ("carrier": "yes", "gateway": ...), in order.
  std::vector<std::pair<std::string, std::string>> details;
};

struct DiagnosisOptions {
  /// Send the probes (ARP, DNS, TCP). Without them only what the kernel and
  /// the files tell is judged: link, configuration, the addresses held.
  bool sendProbes = true;
  /// A reading of the kernel's addresses to judge from; read afresh when null.
  const LiveAddressSnapshot* live = nullptr;
  /// iface's configuration as getNetworks read it; read afresh when null.
  const ConfiguredNetwork* configured = nullptr;
};

/// The verdict of one interface. Every probe waits at most 2 seconds and
/// sends only to the interface's own address (duplicate detection), its
/// gateway, the name servers and the proxy. Never fails: what cannot be
/// learnt is a cause like any other.
Verdict diagnoseInterface(const std::string& iface, const DiagnosisOptions& options = {});

/// The verdicts of several interfaces, examined concurrently, in the order of
/// names; the whole call ends within 10 seconds.
std::vector<Verdict> diagnoseInterfaces(const std::vector<std::string>& names);

}  // namespace KESP
