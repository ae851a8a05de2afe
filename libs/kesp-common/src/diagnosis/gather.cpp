// Facts from the kernel, the files and the network for one interface.

#include "diagnosis/gather.h"

#include <algorithm>
#include <chrono>

#include "diagnosis/probes.h"
#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/network_change.h"
#include "kesp/proxy.h"
#include "system/address_entries.h"

namespace KESP {
namespace detail {

namespace {

// The kernel's own flags of /proc/net/if_inet6 (linux/if_addr.h).
const unsigned kDadFailed = 0x08;
const unsigned kTentative = 0x40;
// Any address outside every network the appliance holds: only the kernel's
// route to it is looked up, nothing is sent.
const char kOutsideAddress[] = "198.51.100.254";

bool isLinkLocalIpv6(const std::string& address) {
  return address.size() >= 4 && (address.compare(0, 4, "fe80") == 0);
}

void gatherIpv6(const std::string& iface, DiagnosisFacts& facts) {
  std::string text;
  if (!readIfInet6(text)) return;
  for (const FlaggedIpv6Address& address : parseFlaggedIpv6Addresses(text, iface)) {
    if (address.flags & kDadFailed)
      facts.ipv6DadFailed.push_back(address.address);
    else if (address.flags & kTentative)
      facts.ipv6Tentative.push_back(address.address);
    else if (!isLinkLocalIpv6(address.address))
      facts.ipv6Global.push_back(address.address);
  }
}

using Clock = std::chrono::steady_clock;

int boundedWait(int probeMs, Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, std::min<long long>(probeMs, left)));
}

bool holdsUpTo(const DiagnosisFacts& facts, DiagnosisLayer layer) {
  const DiagnosisLayer failing = chooseVerdict(facts).layer;
  return static_cast<int>(failing) > static_cast<int>(layer);
}

}  // namespace

void gatherQuietFacts(const std::string& iface, const LiveAddressSnapshot& live,
                      const ConfiguredNetwork& configured, bool withDetails,
                      DiagnosisFacts& facts) {
  facts.iface = iface;
  LinkState link;
  facts.exists = live.linkState(iface, link);
  facts.adminUp = link.adminUp;
  facts.carrier = link.carrier;
  facts.mac = link.mac;
  const OsFlavour flavour = getOsFlavour();
  facts.family = osFlavourTitle(flavour);
  facts.configured = configured.configured;
  // On Debian finding the file means reading every file the interfaces file sources.
  if (facts.configured && (withDetails || configured.mode == 0))
    facts.file = interfaceConfigPath(flavour, iface, "diagnoseInterface");
  facts.mode = configured.mode;
  facts.configured4 = configured.ipv4;
  facts.configured6 = configured.ipv6;
  Ipv6Settings ignored;
  live.liveAddresses(iface, facts.live4, ignored);
  gatherIpv6(iface, facts);
  facts.gateway = configured.ipv4.gateway;
}

void gatherServiceFacts(DiagnosisFacts& facts) {
  facts.servicesAsked = true;
  std::vector<std::string> servers;
  getDnsServers(servers);
  for (const std::string& server : servers) {
    NameServerFacts entry;
    entry.address = server;
    facts.nameServers.push_back(entry);
  }
  std::string host, port, user, password;
  if (!getProxy(host, port, user, password) || host.empty()) return;
  facts.proxyHost = host;
  facts.proxyPort = port;
  facts.proxy = host.find(':') == std::string::npos ? host + ":" + port : "[" + host + "]:" + port;
}

void runProbes(DiagnosisFacts& facts, int probeMs, int deadlineMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  if (!holdsUpTo(facts, DiagnosisLayer::Configuration)) return;
  std::vector<std::string> macs = localHardwareAddresses();
  macs.insert(macs.begin(), facts.mac);
  if (!facts.live4.address.empty() && (facts.mode & IPV4_MODES)) {
    // RFC 5227 wants longer waits; a machine that holds the address answers
    // within milliseconds, and the operator is waiting.
    facts.duplicate = arpProbe(facts.iface, macs, "", facts.live4.address,
                               boundedWait(std::min(probeMs, 400), deadline), 200, facts.duplicateMac);
  }
  if (!holdsUpTo(facts, DiagnosisLayer::Address)) return;
  // The route to other networks is asked for IPv4, where the interface has it.
  std::string routeGateway;
  if (!facts.live4.address.empty())
    facts.routeAsked = routeTo(kOutsideAddress, facts.outsideRouteIface, routeGateway);
  if (facts.outsideRouteIface == facts.iface && !routeGateway.empty()) {
    if (facts.gateway.empty()) facts.gateway = routeGateway;
    facts.gatewayInUse = facts.gateway == routeGateway;
  }
  // An IPv6 gateway is named, not probed.
  if (facts.gateway.empty()) facts.gateway = facts.configured6.gateway;
  const bool ipv4Gateway = !facts.gateway.empty() && facts.gateway.find(':') == std::string::npos;
  if (ipv4Gateway && !facts.live4.address.empty() && holdsUpTo(facts, DiagnosisLayer::Address)) {
    std::string mac;
    // Only iface's own request is not an answer: a gateway is whoever answers.
    facts.gatewayProbe = arpProbe(facts.iface, {facts.mac}, facts.live4.address, facts.gateway,
                                  boundedWait(std::min(probeMs, 1000), deadline), 250, mac);
  }
  if (!holdsUpTo(facts, DiagnosisLayer::Gateway)) return;
  probeNameServers(facts.nameServers, boundedWait(probeMs, deadline));
  if (!holdsUpTo(facts, DiagnosisLayer::NameServers) || facts.proxy.empty()) return;
  std::vector<std::string> servers;
  for (const NameServerFacts& server : facts.nameServers) servers.push_back(server.address);
  facts.proxyProbe =
      connectProbe(facts.proxyHost, facts.proxyPort, servers, boundedWait(probeMs, deadline));
}

}  // namespace detail
}  // namespace KESP
