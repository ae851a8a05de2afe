#pragma once
// What is known about one interface when the verdict is chosen: gathered from
// the kernel, the files and the probes, judged by chooseVerdict alone, so that
// every verdict can be tried with facts and no network.

#include <string>
#include <vector>

#include "kesp/diagnosis.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// Outcome of one probe that sends packets.
enum class ProbeResult { NotRun, Answered, Silent, Refused, Failed };

struct NameServerFacts {
  std::string address;
  ProbeResult result = ProbeResult::NotRun;
  /// The reply's response code ("SERVFAIL"), when it answered with an error.
  std::string refusal;
};

struct DiagnosisFacts {
  std::string iface;
  // Link, from the kernel.
  bool exists = false;
  bool adminUp = false;
  bool carrier = false;
  std::string mac;
  // Configuration, from the family's files.
  std::string family;  ///< "Debian", ...; empty when none was detected
  std::string file;    ///< where the configuration lives
  bool configured = false;
  /// Files the family's reader could not read ("/etc/network/interfaces: ...").
  std::vector<std::string> unreadable;
  AddressMode mode = 0;
  Ipv4Settings configured4;
  Ipv6Settings configured6;
  // Addresses, from the kernel.
  Ipv4Settings live4;  ///< with the netmask
  std::vector<std::string> ipv6Global;     ///< usable global IPv6 addresses
  std::vector<std::string> ipv6Tentative;  ///< still under duplicate detection
  std::vector<std::string> ipv6DadFailed;  ///< another host holds them
  /// An ARP probe for live4.address: Answered means another machine holds it.
  ProbeResult duplicate = ProbeResult::NotRun;
  std::string duplicateMac;
  // Gateway: the configured one, or else the kernel's default route's.
  std::string gateway;
  bool gatewayInUse = false;  ///< a kernel default route through iface uses it
  ProbeResult gatewayProbe = ProbeResult::NotRun;
  /// The interface of the kernel's route to an outside address; empty: none.
  std::string outsideRouteIface;
  bool routeAsked = false;
  // Services, system-wide; judged only once asked for.
  bool servicesAsked = false;
  std::vector<NameServerFacts> nameServers;
  std::string proxy;  ///< "host:port" for people; empty when none is set
  std::string proxyHost;
  std::string proxyPort;
  ProbeResult proxyProbe = ProbeResult::NotRun;
};

/// The verdict the facts give: the first failing layer, its words and fix,
/// and the details gathered. A probe that was not run holds its layer.
Verdict chooseVerdict(const DiagnosisFacts& facts);

/// Whether address lies in the IPv4 network of base/netmask (dotted texts).
bool insideIpv4Network(const std::string& address, const std::string& base,
                       const std::string& netmask);

/// "192.0.2.0/24" for 192.0.2.10 and 255.255.255.0; empty for bad texts.
std::string ipv4NetworkText(const std::string& address, const std::string& netmask);

}  // namespace detail
}  // namespace KESP
