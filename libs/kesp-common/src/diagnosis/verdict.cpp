// The verdict table: which layer fails first, given the facts, and what the
// operator reads about it.

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "diagnosis/facts.h"

namespace KESP {
namespace detail {

namespace {

// Marks the English patterns for xgettext; the programs translate them.
#define N_(text) text

const char* const kReconfigure = N_("apply its configuration again: kesp_config_net set {1} ...");
const char* const kDhcpFix =
    N_("check that a DHCP server serves this network, or give {1} a static address");
const char* const kDuplicateFix = N_("give {1} another address, or take {2} off the other machine");

bool toIpv4(const std::string& text, uint32_t& value) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
  value = ntohl(address.s_addr);
  return true;
}

std::string probeWord(ProbeResult result) {
  switch (result) {
    case ProbeResult::NotRun: return "not probed";
    case ProbeResult::Answered: return "answers";
    case ProbeResult::Silent: return "silent";
    case ProbeResult::Refused: return "refused";
    case ProbeResult::Failed: return "could not be sent";
  }
  return "";
}

class Judge {
 public:
  explicit Judge(const DiagnosisFacts& facts) : facts_(facts) { verdict_.iface = facts.iface; }

  /// Records the first failure; later ones are not looked at.
  bool fail(DiagnosisLayer layer, const char* message, std::vector<std::string> values,
            const char* fix, std::vector<std::string> fixValues = {}) {
    verdict_.layer = layer;
    values.insert(values.begin(), facts_.iface);
    fixValues.insert(fixValues.begin(), facts_.iface);
    verdict_.message = DiagnosisText{message, values};
    verdict_.fix = DiagnosisText{fix, fixValues};
    return true;
  }
  void detail(const std::string& name, const std::string& value) {
    if (!value.empty()) verdict_.details.emplace_back(name, value);
  }
  Verdict& verdict() { return verdict_; }

 private:
  const DiagnosisFacts& facts_;
  Verdict verdict_;
};

bool judgeLink(const DiagnosisFacts& f, Judge& judge) {
  judge.detail("exists", f.exists ? "yes" : "no");
  if (!f.exists)
    return judge.fail(DiagnosisLayer::Link, N_("{1}: no such interface"), {},
                      N_("check the name: the kernel has no link called {1}"));
  judge.detail("mac", f.mac);
  judge.detail("up", f.adminUp ? "yes" : "no");
  judge.detail("carrier", f.carrier ? "yes" : "no");
  if (!f.adminUp)
    return judge.fail(DiagnosisLayer::Link, N_("{1}: the link is down"), {}, kReconfigure);
  if (!f.carrier)
    return judge.fail(DiagnosisLayer::Link, N_("{1}: cable not connected"), {},
                      N_("connect the cable (on a virtual machine: connect its network card in "
                         "the hypervisor)"));
  return false;
}

bool judgeConfiguration(const DiagnosisFacts& f, Judge& judge) {
  judge.detail("family", f.family);
  judge.detail("file", f.file);
  if (!f.unreadable.empty())
    return judge.fail(DiagnosisLayer::Configuration, N_("{1}: its configuration cannot be read: {2}"),
                      {f.unreadable.front()}, N_("repair {2}, then look again"),
                      {f.unreadable.front()});
  if (f.family.empty())
    return judge.fail(DiagnosisLayer::Configuration,
                      N_("{1}: no interface files of a known family are installed"), {},
                      N_("install the network configuration of a known family"));
  if (!f.configured) {
    const std::string held = f.live4.address.empty()
                                 ? (f.ipv6Global.empty() ? "" : f.ipv6Global.front())
                                 : f.live4.address;
    if (!held.empty())
      return judge.fail(DiagnosisLayer::Configuration,
                        N_("{1}: holds {2} but is configured nowhere"), {held},
                        N_("configure it: kesp_config_net set {1} ..."));
    return judge.fail(DiagnosisLayer::Configuration, N_("{1}: configured nowhere"), {},
                      N_("configure it: kesp_config_net set {1} ..."));
  }
  std::string mode;
  getModeName(f.mode, mode);
  judge.detail("mode", mode);
  // A stanza without a method the family's reader knows ("manual") gives
  // the interface nothing to reach the network with.
  if (f.mode == 0)
    return judge.fail(DiagnosisLayer::Configuration, N_("{1}: its configuration in {2} sets no address"),
                      {f.file}, N_("configure an address: kesp_config_net set {1} ..."));
  return false;
}

bool judgeIpv4Address(const DiagnosisFacts& f, Judge& judge) {
  const bool dhcp = (f.mode & DHCPV4) != 0;
  if (f.live4.address.empty()) {
    if (dhcp)
      return judge.fail(DiagnosisLayer::Address, N_("{1}: no answer from a DHCP server"), {},
                        kDhcpFix);
    return judge.fail(DiagnosisLayer::Address,
                      N_("{1}: the configured address {2} is not on the interface"),
                      {f.configured4.address}, kReconfigure);
  }
  if (f.live4.address.compare(0, 8, "169.254.") == 0)
    return judge.fail(DiagnosisLayer::Address,
                      N_("{1}: only a link-local address ({2}): no DHCP server answered"),
                      {f.live4.address}, kDhcpFix);
  if (f.duplicate == ProbeResult::Answered)
    return judge.fail(DiagnosisLayer::Address, N_("{1}: {2} is used by another machine ({3})"),
                      {f.live4.address, f.duplicateMac}, kDuplicateFix, {f.live4.address});
  return false;
}

bool judgeAddress(const DiagnosisFacts& f, Judge& judge) {
  uint32_t mask = 0;
  const bool masked = toIpv4(f.live4.netmask, mask);
  judge.detail("ipv4", f.live4.address.empty() ? ""
                       : f.live4.address + (masked ? "/" + std::to_string(countBits(mask)) : ""));
  if (!f.ipv6Global.empty()) judge.detail("ipv6", f.ipv6Global.front());
  if (f.duplicate != ProbeResult::NotRun)
    judge.detail("duplicate-probe", f.duplicate == ProbeResult::Answered ? "answered by " + f.duplicateMac
                                                                         : probeWord(f.duplicate));
  if (!f.ipv6DadFailed.empty())
    return judge.fail(DiagnosisLayer::Address,
                      N_("{1}: {2} is used by another machine (IPv6 duplicate address detection "
                         "failed)"),
                      {f.ipv6DadFailed.front()}, kDuplicateFix, {f.ipv6DadFailed.front()});
  if (f.mode & IPV4_MODES) return judgeIpv4Address(f, judge);
  if (f.mode & IPV6_MODES) {
    if (!f.ipv6Global.empty()) return false;
    if (!f.ipv6Tentative.empty())
      return judge.fail(DiagnosisLayer::Address,
                        N_("{1}: {2} is still being checked for duplicates"),
                        {f.ipv6Tentative.front()}, N_("wait a few seconds and look again"));
    return judge.fail(DiagnosisLayer::Address, N_("{1}: holds no global IPv6 address"), {},
                      N_("check that a router or a DHCPv6 server serves this network, or give {1} "
                         "a static address"));
  }
  return false;
}

bool judgeGateway(const DiagnosisFacts& f, Judge& judge) {
  judge.detail("gateway", f.gateway);
  if (f.routeAsked) judge.detail("outside-route", f.outsideRouteIface.empty() ? "none" : f.outsideRouteIface);
  if (f.gateway.empty()) {
    if (f.routeAsked && f.outsideRouteIface.empty())
      return judge.fail(DiagnosisLayer::Gateway, N_("{1}: no gateway: other networks cannot be reached"),
                        {}, N_("set a gateway: kesp_config_net set {1} ..."));
    return false;
  }
  // The checks below are IPv4's: an IPv6 gateway is only named.
  if (f.gateway.find(':') != std::string::npos) return false;
  if (!f.live4.address.empty() && !f.gatewayInUse &&
      !insideIpv4Network(f.gateway, f.live4.address, f.live4.netmask)) {
    const std::string network = ipv4NetworkText(f.live4.address, f.live4.netmask);
    return judge.fail(DiagnosisLayer::Gateway, N_("{1}: gateway {2} is outside the network {3}"),
                      {f.gateway, network}, N_("choose a gateway inside {2}"), {network});
  }
  if (f.gatewayProbe != ProbeResult::NotRun) judge.detail("gateway-probe", probeWord(f.gatewayProbe));
  // A probe that could not be sent (no raw socket without root) proves nothing.
  if (f.gatewayProbe == ProbeResult::Silent)
    return judge.fail(DiagnosisLayer::Gateway, N_("{1}: gateway {2} does not answer"), {f.gateway},
                      N_("check that the gateway is up and connected to this network"));
  if (f.routeAsked && f.outsideRouteIface.empty())
    return judge.fail(DiagnosisLayer::Gateway,
                      N_("{1}: gateway {2} is configured but no route uses it"), {f.gateway},
                      kReconfigure);
  if (f.routeAsked && f.outsideRouteIface != f.iface)
    return judge.fail(DiagnosisLayer::Gateway,
                      N_("{1}: the route to other networks leaves through {2}"),
                      {f.outsideRouteIface},
                      N_("keep one default gateway: remove the one of {2} or of {1}"),
                      {f.outsideRouteIface});
  return false;
}

bool judgeNameServers(const DiagnosisFacts& f, Judge& judge) {
  if (!f.servicesAsked) return false;
  std::string servers;
  for (const NameServerFacts& server : f.nameServers)
    servers += (servers.empty() ? "" : " ") + server.address;
  judge.detail("name-servers", servers.empty() ? "none" : servers);
  if (f.nameServers.empty())
    return judge.fail(DiagnosisLayer::NameServers, N_("{1}: no name server is set"), {},
                      N_("set name servers: kesp_config_net dns SERVER ..."));
  for (const NameServerFacts& server : f.nameServers) {
    if (server.result == ProbeResult::Silent)
      return judge.fail(DiagnosisLayer::NameServers, N_("{1}: name server {2} does not answer"),
                        {server.address}, N_("check the address, or choose another name server"));
    if (server.result == ProbeResult::Failed)
      return judge.fail(DiagnosisLayer::NameServers, N_("{1}: name server {2} cannot be reached"),
                        {server.address}, N_("check the address, or choose another name server"));
    if (server.result == ProbeResult::Refused)
      return judge.fail(DiagnosisLayer::NameServers, N_("{1}: name server {2} refuses queries ({3})"),
                        {server.address, server.refusal},
                        N_("allow this machine to query {2}, or choose another name server"),
                        {server.address});
  }
  return false;
}

bool judgeProxy(const DiagnosisFacts& f, Judge& judge) {
  if (f.proxy.empty()) return false;
  judge.detail("proxy", f.proxy);
  if (f.proxyProbe == ProbeResult::Refused)
    return judge.fail(DiagnosisLayer::Proxy, N_("{1}: proxy {2} refuses connections"), {f.proxy},
                      N_("check the proxy's address and port: kesp_config_net proxy"));
  if (f.proxyProbe == ProbeResult::Silent || f.proxyProbe == ProbeResult::Failed)
    return judge.fail(DiagnosisLayer::Proxy, N_("{1}: proxy {2} does not answer"), {f.proxy},
                      N_("check the proxy's address and port: kesp_config_net proxy"));
  return false;
}

}  // namespace

bool insideIpv4Network(const std::string& address, const std::string& base,
                       const std::string& netmask) {
  uint32_t a = 0, b = 0, mask = 0;
  if (!toIpv4(address, a) || !toIpv4(base, b) || !toIpv4(netmask, mask)) return false;
  return (a & mask) == (b & mask);
}

std::string ipv4NetworkText(const std::string& address, const std::string& netmask) {
  uint32_t a = 0, mask = 0;
  if (!toIpv4(address, a) || !toIpv4(netmask, mask)) return std::string();
  in_addr network{};
  network.s_addr = htonl(a & mask);
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &network, text, sizeof text);
  return std::string(text) + "/" + std::to_string(countBits(mask));
}

Verdict chooseVerdict(const DiagnosisFacts& facts) {
  Judge judge(facts);
  if (!judgeLink(facts, judge) && !judgeConfiguration(facts, judge) &&
      !judgeAddress(facts, judge) && !judgeGateway(facts, judge) &&
      !judgeNameServers(facts, judge) && !judgeProxy(facts, judge))
    judge.fail(DiagnosisLayer::Ok, N_("{1}: every layer holds"), {}, "");
  if (judge.verdict().ok()) judge.verdict().fix = DiagnosisText();
  return judge.verdict();
}

}  // namespace detail
}  // namespace KESP
