// What kesp_config_net accepts from operators and scripts, and how it turns a
// `set` request into what the library receives.

#include <gtest/gtest.h>

#include <functional>

#include "input_checks.h"
#include "interface_change.h"

using namespace kesp_config_net;

namespace {

struct CheckCase {
  const char* what;
  std::function<std::string(const std::string&)> check;
  std::string value;
  bool accepted;
  std::string mentions;  // a part of the refusal that names the problem
};

TEST(ConfigNetChecks, AcceptOnlyWhatTheyClaim) {
  auto gateway = [](const std::string& g) { return checkIpv4Gateway(g, "192.0.2.10", "255.255.255.0"); };
  auto gateway6 = [](const std::string& g) { return checkIpv6Gateway(g, "2001:db8::10"); };
  const CheckCase cases[] = {
      {"iface", checkInterfaceName, "eth0", true, ""},
      {"iface", checkInterfaceName, "eth0.100", true, ""},
      {"iface", checkInterfaceName, "eth0:1", true, ""},
      {"iface", checkInterfaceName, "", false, "interface name is needed"},
      {"iface", checkInterfaceName, "..", false, "not an interface name"},
      {"iface", checkInterfaceName, "eth0;reboot", false, "'eth0;reboot'"},
      {"iface", checkInterfaceName, "abcdefghijklmnop", false, "1 to 15"},
      {"ipv4", checkIpv4Address, "192.0.2.10", true, ""},
      {"ipv4", checkIpv4Address, "300.1.2.3", false, "not an IPv4 address"},
      {"ipv4", checkIpv4Address, "192.0.2", false, "not an IPv4 address"},
      {"ipv4", checkIpv4Address, "127.0.0.1", false, "loopback"},
      {"ipv4", checkIpv4Address, "0.0.0.0", false, "unspecified"},
      {"ipv4", checkIpv4Address, "224.0.0.1", false, "multicast"},
      {"netmask", checkNetmask, "255.255.255.0", true, ""},
      {"netmask", checkNetmask, "255.255.255.255", true, ""},
      {"netmask", checkNetmask, "255.0.255.0", false, "not a netmask"},
      {"netmask", checkNetmask, "24", false, "not a netmask"},
      {"gateway", gateway, "192.0.2.1", true, ""},
      {"gateway", gateway, "192.0.3.1", false, "not in the network of 192.0.2.10/24"},
      {"gateway", gateway, "192.0.2.10", false, "own address"},
      {"gateway", gateway, "router", false, "not an IPv4 address"},
      {"ipv6", checkIpv6Address, "2001:db8::10", true, ""},
      {"ipv6", checkIpv6Address, "fe80::1", true, ""},
      {"ipv6", checkIpv6Address, "2001:zz::1", false, "not an IPv6 address"},
      {"ipv6", checkIpv6Address, "::1", false, "loopback"},
      {"ipv6", checkIpv6Address, "ff02::1", false, "multicast"},
      {"prefix", checkIpv6Prefix, "64", true, ""},
      {"prefix", checkIpv6Prefix, "/128", true, ""},
      {"prefix", checkIpv6Prefix, "0", false, "1-128"},
      {"prefix", checkIpv6Prefix, "129", false, "1-128"},
      {"prefix", checkIpv6Prefix, "6x", false, "1-128"},
      {"gateway6", gateway6, "2001:db8::1", true, ""},
      {"gateway6", gateway6, "2001:DB8::10", false, "own address"},
      {"nameserver", checkNameServer, "192.0.2.53", true, ""},
      {"nameserver", checkNameServer, "2001:db8::53", true, ""},
      {"nameserver", checkNameServer, "dns.example", false, "not a name server address"},
      {"nameserver", checkNameServer, "1.2.3", false, "not a name server address"},
      {"hostname", checkHostName, "appliance", true, ""},
      {"hostname", checkHostName, "web-1.example.lan", true, ""},
      {"hostname", checkHostName, "-bad", false, "not a host name"},
      {"hostname", checkHostName, "bad-", false, "not a host name"},
      {"hostname", checkHostName, "a..b", false, "not a host name"},
      {"hostname", checkHostName, "two words", false, "not a host name"},
      {"hostname", checkHostName, std::string(65, 'a'), false, "64 bytes"},
      {"proxy host", checkProxyHost, "proxy.example_1", true, ""},
      {"proxy host", checkProxyHost, "pro xy", false, "not a proxy host"},
      {"proxy host", checkProxyHost, "[2001:db8::1]", false, "not a proxy host"},
      {"port", checkPort, "3128", true, ""},
      {"port", checkPort, "65535", true, ""},
      {"port", checkPort, "0", false, "1-65535"},
      {"port", checkPort, "65536", false, "1-65535"},
      {"port", checkPort, "80a", false, "1-65535"},
      {"user", checkProxyUser, "build@corp", true, ""},
      {"user", checkProxyUser, "a b", false, "no blanks"},
      {"user", checkProxyUser, "a\tb", false, "'a\\x09b'"},
  };
  for (const CheckCase& c : cases) {
    const std::string problem = c.check(c.value);
    EXPECT_EQ(problem.empty(), c.accepted) << c.what << " '" << c.value << "': " << problem;
    EXPECT_NE(problem.find(c.mentions), std::string::npos) << c.what << ": " << problem;
  }
}

TEST(ConfigNetChecks, RefusesNetworkAndBroadcastAddressesAndRepeatedServers) {
  struct Case {
    std::string problem;
    std::string mentions;  // empty: accepted
  } cases[] = {
      {checkIpv4HostInNetwork("192.0.2.0", "255.255.255.0"), "'192.0.2.0/24' is the network's own"},
      {checkIpv4HostInNetwork("192.0.2.255", "255.255.255.0"), "'192.0.2.255/24' is the network's broadcast"},
      {checkIpv4HostInNetwork("192.0.2.1", "255.255.255.0"), ""},
      {checkIpv4HostInNetwork("192.0.2.254", "255.255.255.0"), ""},
      {checkIpv4HostInNetwork("198.51.100.4", "255.255.255.252"), "network's own"},
      {checkIpv4HostInNetwork("198.51.100.7", "255.255.255.252"), "broadcast"},
      {checkIpv4HostInNetwork("198.51.100.0", "255.255.255.254"), ""},  // /31: both are hosts
      {checkIpv4HostInNetwork("198.51.100.1", "255.255.255.254"), ""},
      {checkIpv4HostInNetwork("198.51.100.0", "255.255.255.255"), ""},  // /32
      {checkIpv4HostInNetwork("203.0.113.0", "255.255.0.0"), ""},       // in the middle of a /16
      {checkNameServers({"192.0.2.53", "198.51.100.53"}), ""},
      {checkNameServers({"192.0.2.53", "198.51.100.53", "192.0.2.53"}), "'192.0.2.53' is given twice"},
      {checkNameServers({"2001:db8::53", "2001:DB8:0::53"}), "'2001:DB8:0::53' is given twice"},
      {checkNameServers({"192.0.2.53", "ns.example.org"}), "not a name server address"},
      {checkNameServers({}), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.problem.empty(), c.mentions.empty()) << c.problem;
    EXPECT_NE(c.problem.find(c.mentions), std::string::npos) << c.problem;
  }
}

TEST(ConfigNetChecks, NetmasksFromLengths) {
  const struct {
    const char* text;
    bool ok;
    const char* dotted;
    int length;
  } cases[] = {
      {"24", true, "255.255.255.0", 24}, {"/20", true, "255.255.240.0", 20},
      {"0", true, "0.0.0.0", 0},          {"32", true, "255.255.255.255", 32},
      {"255.255.255.128", true, "255.255.255.128", 25},
      {"33", false, "", -1},              {"", false, "", -1},
      {"255.255.0.255", false, "", -1},
  };
  for (const auto& c : cases) {
    std::string dotted;
    EXPECT_EQ(netmaskFromText(c.text, dotted), c.ok) << c.text;
    EXPECT_EQ(dotted, c.dotted) << c.text;
    if (c.ok) {
      EXPECT_EQ(netmaskPrefixLength(dotted), c.length) << c.text;
    }
  }
}

TEST(ConfigNetChange, ModeNamesBothWays) {
  KESP::AddressMode mode = 0;
  ASSERT_TRUE(modeFromName("staticv4+dhcpv6", mode));
  EXPECT_EQ(mode, KESP::STATICV4 | KESP::DHCPV6);
  EXPECT_EQ(modeName(mode), "STATICV4+DHCPV6");
  EXPECT_FALSE(modeFromName("NONE", mode));
  EXPECT_FALSE(modeFromName("DHCPV6+STATICV4", mode));  // not a name of the set
  EXPECT_FALSE(modeFromName("", mode));
  EXPECT_EQ(modeName(0), "NONE");
  EXPECT_EQ(modeName(KESP::STATICV4 | KESP::DHCPV4), "");
  const std::string list = modeNameList();
  for (const char* name : {"STATICV4", "DHCPV4+AUTOV6", "STATICV4+STATICV6"})
    EXPECT_NE(list.find(name), std::string::npos) << name;
  EXPECT_EQ(list.find("NONE"), std::string::npos);
}

TEST(ConfigNetChange, NormalisesShorthands) {
  const struct {
    InterfaceChange in;
    InterfaceChange out;
  } cases[] = {
      {{"eth0", KESP::STATICV4, "192.0.2.10/24", "", "", "", "", ""},
       {"eth0", KESP::STATICV4, "192.0.2.10", "255.255.255.0", "", "", "", ""}},
      {{"eth0", KESP::STATICV4, "192.0.2.10", "/16", "", "", "", ""},
       {"eth0", KESP::STATICV4, "192.0.2.10", "255.255.0.0", "", "", "", ""}},
      // An explicit netmask wins; the slash stays in the address and is refused.
      {{"eth0", KESP::STATICV4, "192.0.2.10/24", "255.0.0.0", "", "", "", ""},
       {"eth0", KESP::STATICV4, "192.0.2.10/24", "255.0.0.0", "", "", "", ""}},
      {{"eth0", KESP::STATICV6, "", "", "", "2001:db8::5/56", "", ""},
       {"eth0", KESP::STATICV6, "", "", "", "2001:db8::5", "56", ""}},
      {{"eth0", KESP::STATICV6, "", "", "", "2001:db8::5", "", ""},
       {"eth0", KESP::STATICV6, "", "", "", "2001:db8::5", "64", ""}},
      {{"eth0", KESP::STATICV6, "", "", "", "2001:db8::5", "/48", ""},
       {"eth0", KESP::STATICV6, "", "", "", "2001:db8::5", "48", ""}},
      {{"eth0", KESP::STATICV4, "192.0.2.10/", "", "", "", "", ""},
       {"eth0", KESP::STATICV4, "192.0.2.10", "/", "", "", "", ""}},
  };
  for (const auto& c : cases) {
    InterfaceChange change = c.in;
    normaliseChange(change);
    EXPECT_EQ(change.ipv4Address, c.out.ipv4Address);
    EXPECT_EQ(change.ipv4Netmask, c.out.ipv4Netmask);
    EXPECT_EQ(change.ipv6Address, c.out.ipv6Address);
    EXPECT_EQ(change.ipv6Prefix, c.out.ipv6Prefix);
  }
}

TEST(ConfigNetChange, FindsEveryProblemBeforeAnythingIsTouched) {
  const struct {
    InterfaceChange change;
    std::vector<std::string> problems;  // parts of each expected sentence, in order
  } cases[] = {
      {{"eth0", KESP::STATICV4, "192.0.2.10", "255.255.255.0", "192.0.2.1", "", "", ""}, {}},
      {{"eth0", KESP::DHCPV4 | KESP::AUTOV6, "", "", "", "", "", ""}, {}},
      {{"eth0", KESP::STATICV4 | KESP::STATICV6, "192.0.2.10", "255.255.255.0", "",
        "2001:db8::10", "64", "2001:db8::1"},
       {}},
      {{"eth0", KESP::STATICV4, "", "", "", "", "", ""},
       {"needs an IPv4 address", "needs an IPv4 netmask"}},
      {{"eth0", KESP::STATICV4, "192.0.2.10", "255.255.255.0", "198.51.100.1", "", "", ""},
       {"not in the network"}},
      {{"eth0", KESP::DHCPV4, "192.0.2.10", "", "", "", "", ""}, {"only used with STATICV4"}},
      {{"eth0", KESP::AUTOV6, "", "", "", "2001:db8::1", "", ""}, {"only used with STATICV6"}},
      {{"eth0", KESP::STATICV6, "", "", "", "", "64", ""}, {"needs an IPv6 address"}},
      {{"eth0", KESP::STATICV6, "", "", "", "2001:db8::10", "300", ""}, {"1-128"}},
      {{"eth/0", KESP::DHCPV4, "", "", "", "", "", ""}, {"not an interface name"}},
      {{"eth0", 0, "", "", "", "", "", ""}, {"at most one IPv4 and one IPv6"}},
      {{"eth0", KESP::DHCPV4 | KESP::STATICV4, "", "", "", "", "", ""},
       {"at most one IPv4 and one IPv6"}},
      {{"eth0", 64, "", "", "", "", "", ""}, {"at most one IPv4 and one IPv6"}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> problems = findFormatProblems(c.change);
    ASSERT_EQ(problems.size(), c.problems.size()) << describeChange(c.change);
    for (size_t i = 0; i < problems.size(); ++i)
      EXPECT_NE(problems[i].find(c.problems[i]), std::string::npos) << problems[i];
  }
}

TEST(ConfigNetChange, RefusesWhatTheSystemCannotDo) {
  const struct {
    KESP::AddressMode mode;
    KESP::OsFlavour flavour;
    bool client;
    const char* problem;  // "" for none
    bool dhcpv4Usable = true;
  } cases[] = {
      {KESP::DHCPV6, KESP::FLAVOUR_DEBIAN, true, ""},
      {KESP::DHCPV6, KESP::FLAVOUR_DEBIAN, false, "DHCPv6 client"},
      {KESP::DHCPV4 | KESP::DHCPV6, KESP::FLAVOUR_REDHAT, true, ""},
      {KESP::DHCPV6, KESP::FLAVOUR_REDHAT, true, "without an IPv4 method"},
      {KESP::STATICV4, KESP::FLAVOUR_NONE, true, "no netplan, NetworkManager, systemd-networkd, Debian, Red Hat or SUSE network configuration"},
      {KESP::AUTOV6, KESP::FLAVOUR_SUSE, false, ""},
      {KESP::DHCPV4, KESP::FLAVOUR_DEBIAN, true, "no DHCP client", false},
      {KESP::DHCPV4 | KESP::AUTOV6, KESP::FLAVOUR_SUSE, true, "no DHCP client", false},
      {KESP::STATICV4 | KESP::DHCPV6, KESP::FLAVOUR_DEBIAN, true, "", false},
  };
  for (const auto& c : cases) {
    InterfaceChange change;
    change.iface = "eth0";
    change.mode = c.mode;
    const std::string problem = findSystemProblem(change, SystemTraits{c.flavour, c.client, c.dhcpv4Usable});
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << modeName(c.mode);
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

TEST(ConfigNetChange, DescribesTheChangeInOneLine) {
  InterfaceChange change{"eth0", KESP::STATICV4 | KESP::STATICV6, "192.0.2.10", "255.255.255.0",
                         "", "2001:db8::10", "64", "2001:db8::1"};
  EXPECT_EQ(describeChange(change),
            "STATICV4+STATICV6, IPv4 192.0.2.10/24, no IPv4 gateway, IPv6 2001:db8::10/64 gateway "
            "2001:db8::1");
  change.mode = KESP::DHCPV4;
  EXPECT_EQ(describeChange(change), "DHCPV4");
}

}  // namespace
