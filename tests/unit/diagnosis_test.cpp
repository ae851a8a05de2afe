#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "diagnosis/dns_message.h"
#include "diagnosis/facts.h"

using namespace KESP;
using namespace KESP::detail;

namespace {

/// eth0, up with a carrier, configured static on Debian, holding its address,
/// gateway and name server answering: every layer holds.
DiagnosisFacts healthy() {
  DiagnosisFacts f;
  f.iface = "eth0";
  f.servicesAsked = true;
  f.exists = f.adminUp = f.carrier = true;
  f.mac = "02:00:00:00:00:0a";
  f.family = "Debian";
  f.file = "/etc/network/interfaces";
  f.configured = true;
  f.mode = STATICV4;
  f.configured4.address = "192.0.2.10";
  f.live4.address = "192.0.2.10";
  f.live4.netmask = "255.255.255.0";
  f.duplicate = ProbeResult::Silent;
  f.gateway = "192.0.2.1";
  f.gatewayInUse = true;
  f.gatewayProbe = ProbeResult::Answered;
  f.routeAsked = true;
  f.outsideRouteIface = "eth0";
  NameServerFacts server;
  server.address = "192.0.2.53";
  server.result = ProbeResult::Answered;
  f.nameServers.push_back(server);
  return f;
}

TEST(DiagnosisVerdict, FirstFailingLayerAndItsWords) {
  struct Case {
    const char* what;
    std::function<void(DiagnosisFacts&)> change;
    DiagnosisLayer layer;
    std::string message;
  } cases[] = {
      {"healthy", [](DiagnosisFacts&) {}, DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"no link", [](DiagnosisFacts& f) { f.exists = false; }, DiagnosisLayer::Link,
       "eth0: no such interface"},
      {"down, and nothing else counts",
       [](DiagnosisFacts& f) { f.adminUp = false; f.configured = false; }, DiagnosisLayer::Link,
       "eth0: the link is down"},
      {"no carrier", [](DiagnosisFacts& f) { f.carrier = false; }, DiagnosisLayer::Link,
       "eth0: cable not connected"},
      {"unreadable", [](DiagnosisFacts& f) { f.unreadable = {"/etc/network/interfaces: a directory"}; },
       DiagnosisLayer::Configuration,
       "eth0: its configuration cannot be read: /etc/network/interfaces: a directory"},
      {"no family", [](DiagnosisFacts& f) { f.family.clear(); }, DiagnosisLayer::Configuration,
       "eth0: no interface files of a known family are installed"},
      {"held, configured nowhere", [](DiagnosisFacts& f) { f.configured = false; },
       DiagnosisLayer::Configuration, "eth0: holds 192.0.2.10 but is configured nowhere"},
      {"configured nowhere",
       [](DiagnosisFacts& f) { f.configured = false; f.live4 = Ipv4Settings(); },
       DiagnosisLayer::Configuration, "eth0: configured nowhere"},
      {"configured for no address", [](DiagnosisFacts& f) { f.mode = 0; },
       DiagnosisLayer::Configuration,
       "eth0: its configuration in /etc/network/interfaces sets no address"},
      {"no lease", [](DiagnosisFacts& f) { f.mode = DHCPV4; f.live4 = Ipv4Settings(); },
       DiagnosisLayer::Address, "eth0: no answer from a DHCP server"},
      {"link-local only", [](DiagnosisFacts& f) { f.mode = DHCPV4; f.live4.address = "169.254.7.1"; },
       DiagnosisLayer::Address, "eth0: only a link-local address (169.254.7.1): no DHCP server answered"},
      {"static address missing", [](DiagnosisFacts& f) { f.live4 = Ipv4Settings(); },
       DiagnosisLayer::Address, "eth0: the configured address 192.0.2.10 is not on the interface"},
      {"duplicate IPv4",
       [](DiagnosisFacts& f) { f.duplicate = ProbeResult::Answered; f.duplicateMac = "02:00:00:00:00:99"; },
       DiagnosisLayer::Address, "eth0: 192.0.2.10 is used by another machine (02:00:00:00:00:99)"},
      {"IPv6 DAD failed", [](DiagnosisFacts& f) { f.ipv6DadFailed = {"2001:db8::10"}; },
       DiagnosisLayer::Address,
       "eth0: 2001:db8::10 is used by another machine (IPv6 duplicate address detection failed)"},
      {"IPv6 tentative",
       [](DiagnosisFacts& f) { f.mode = STATICV6; f.ipv6Tentative = {"2001:db8::10"}; },
       DiagnosisLayer::Address, "eth0: 2001:db8::10 is still being checked for duplicates"},
      {"IPv6 none", [](DiagnosisFacts& f) { f.mode = AUTOV6; }, DiagnosisLayer::Address,
       "eth0: holds no global IPv6 address"},
      {"IPv6 held", [](DiagnosisFacts& f) { f.mode = AUTOV6; f.ipv6Global = {"2001:db8::10"}; },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"gateway outside",
       [](DiagnosisFacts& f) { f.gateway = "203.0.113.1"; f.gatewayInUse = false; },
       DiagnosisLayer::Gateway, "eth0: gateway 203.0.113.1 is outside the network 192.0.2.0/24"},
      {"gateway outside but on-link in use", [](DiagnosisFacts& f) { f.gateway = "203.0.113.1"; },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"gateway silent", [](DiagnosisFacts& f) { f.gatewayProbe = ProbeResult::Silent; },
       DiagnosisLayer::Gateway, "eth0: gateway 192.0.2.1 does not answer"},
      // Without root no ARP can be sent: that proves nothing about the gateway.
      {"gateway probe not sent", [](DiagnosisFacts& f) { f.gatewayProbe = ProbeResult::Failed; },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"gateway unused",
       [](DiagnosisFacts& f) { f.outsideRouteIface.clear(); f.gatewayInUse = false; },
       DiagnosisLayer::Gateway, "eth0: gateway 192.0.2.1 is configured but no route uses it"},
      {"route elsewhere", [](DiagnosisFacts& f) { f.outsideRouteIface = "eth1"; },
       DiagnosisLayer::Gateway, "eth0: the route to other networks leaves through eth1"},
      {"no gateway, no route",
       [](DiagnosisFacts& f) { f.gateway.clear(); f.outsideRouteIface.clear(); },
       DiagnosisLayer::Gateway, "eth0: no gateway: other networks cannot be reached"},
      {"no gateway, route elsewhere",
       [](DiagnosisFacts& f) { f.gateway.clear(); f.outsideRouteIface = "eth1"; },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"IPv6 gateway only, no IPv4 route",
       [](DiagnosisFacts& f) { f.gateway = "2001:db8::1"; f.outsideRouteIface.clear(); },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      {"no name server", [](DiagnosisFacts& f) { f.nameServers.clear(); },
       DiagnosisLayer::NameServers, "eth0: no name server is set"},
      {"second name server silent",
       [](DiagnosisFacts& f) {
         NameServerFacts second;
         second.address = "192.0.2.54";
         second.result = ProbeResult::Silent;
         f.nameServers.push_back(second);
       },
       DiagnosisLayer::NameServers, "eth0: name server 192.0.2.54 does not answer"},
      {"name server refuses",
       [](DiagnosisFacts& f) {
         f.nameServers[0].result = ProbeResult::Refused;
         f.nameServers[0].refusal = "REFUSED";
       },
       DiagnosisLayer::NameServers, "eth0: name server 192.0.2.53 refuses queries (REFUSED)"},
      {"proxy refuses",
       [](DiagnosisFacts& f) { f.proxy = "192.0.2.80:3128"; f.proxyProbe = ProbeResult::Refused; },
       DiagnosisLayer::Proxy, "eth0: proxy 192.0.2.80:3128 refuses connections"},
      {"proxy silent",
       [](DiagnosisFacts& f) { f.proxy = "192.0.2.80:3128"; f.proxyProbe = ProbeResult::Silent; },
       DiagnosisLayer::Proxy, "eth0: proxy 192.0.2.80:3128 does not answer"},
      {"proxy opens",
       [](DiagnosisFacts& f) { f.proxy = "192.0.2.80:3128"; f.proxyProbe = ProbeResult::Answered; },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
      // Without probes (the console's quiet checks) nothing unasked fails.
      {"quiet",
       [](DiagnosisFacts& f) {
         f.duplicate = f.gatewayProbe = ProbeResult::NotRun;
         f.routeAsked = false;
         f.outsideRouteIface.clear();
         f.servicesAsked = false;
         f.nameServers.clear();
       },
       DiagnosisLayer::Ok, "eth0: every layer holds"},
  };
  for (const Case& c : cases) {
    DiagnosisFacts facts = healthy();
    c.change(facts);
    const Verdict verdict = chooseVerdict(facts);
    EXPECT_EQ(diagnosisLayerName(verdict.layer), std::string(diagnosisLayerName(c.layer))) << c.what;
    EXPECT_EQ(verdict.message.english(), c.message) << c.what;
    // A failure always says what to do; success has nothing to do.
    EXPECT_EQ(verdict.fix.english().empty(), verdict.ok()) << c.what;
  }
}

TEST(DiagnosisVerdict, TranslatedPatternTakesValuesInItsOwnOrder) {
  DiagnosisText text{"{1}: gateway {2} does not answer", {"eth0", "192.0.2.1"}};
  EXPECT_EQ(text.filled("Gateway {2} von {1} antwortet nicht"), "Gateway 192.0.2.1 von eth0 antwortet nicht");
  EXPECT_EQ(text.filled("{3} {x} {}"), "{3} {x} {}");
}

std::string reply(uint16_t id, unsigned char flags2, unsigned char rcode, bool question) {
  std::string datagram = buildRootQuery(id);
  datagram[2] = static_cast<char>(flags2);
  datagram[3] = static_cast<char>(rcode);
  if (!question) {
    datagram[5] = 0;
    datagram.resize(12);
  }
  return datagram;
}

TEST(DiagnosisDnsMessage, RootQueryRepliesJudged) {
  const std::string query = buildRootQuery(0x1234);
  ASSERT_EQ(query.size(), 17u);
  EXPECT_EQ(query.substr(0, 6), std::string("\x12\x34\x01\x00\x00\x01", 6));
  struct Case {
    std::string datagram;
    DnsReplyKind kind;
    std::string rcode;
  } cases[] = {
      {reply(0x1234, 0x81, 0x80, true), DnsReplyKind::Answer, ""},
      {reply(0x1234, 0x81, 0x83, true), DnsReplyKind::Answer, ""},  // NXDOMAIN: it resolves
      {reply(0x1234, 0x81, 0x82, false), DnsReplyKind::Refusal, "SERVFAIL"},
      {reply(0x1234, 0x81, 0x05, true), DnsReplyKind::Refusal, "REFUSED"},
      {reply(0x1234, 0x81, 0x0b, true), DnsReplyKind::Refusal, "RCODE 11"},
      {reply(0x1235, 0x81, 0x80, true), DnsReplyKind::NotAReply, ""},  // another id
      {reply(0x1234, 0x01, 0x80, true), DnsReplyKind::NotAReply, ""},  // a query
      {query.substr(0, 11), DnsReplyKind::NotAReply, ""},
  };
  for (const Case& c : cases) {
    std::string rcode;
    EXPECT_EQ(judgeRootReply(c.datagram, 0x1234, rcode), c.kind);
    EXPECT_EQ(rcode, c.rcode);
  }
}

TEST(DiagnosisDnsMessage, AddressQueryAndAnswer) {
  const std::string query = buildAddressQuery(7, "proxy.example.org");
  EXPECT_EQ(query.substr(12), std::string("\5proxy\7example\3org\0\0\1\0\1", 23));
  EXPECT_EQ(buildAddressQuery(7, "a..b"), "");
  EXPECT_EQ(buildAddressQuery(7, std::string(64, 'a') + ".org"), "");
  // The reply: the question, a CNAME through a compression pointer, then an A record.
  std::string answer = query;
  answer[2] = static_cast<char>(0x81);
  answer[3] = static_cast<char>(0x80);
  answer[7] = 2;
  answer += std::string("\xc0\x0c\0\5\0\1\0\0\0\x3c\0\2\xc0\x0c", 14);
  answer += std::string("\xc0\x0c\0\1\0\1\0\0\0\x3c\0\4\xcb\0\x71\x50", 16);
  EXPECT_EQ(firstAddressAnswer(answer, 7), "203.0.113.80");
  EXPECT_EQ(firstAddressAnswer(answer, 8), "");
  EXPECT_EQ(firstAddressAnswer(answer.substr(0, answer.size() - 2), 7), "");
}

}  // namespace
