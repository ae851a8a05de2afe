// getNetwork and listConfiguredInterfaces on each family's fixture root.

#include <gtest/gtest.h>

#include <cstdio>

#include "interface_files_cases.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "files/names.h"
#include "test_support.h"

namespace {

using namespace KESP;

Ipv4Settings v4(const char* address, const char* netmask, const char* gateway,
                const char* broadcast) {
  Ipv4Settings settings;
  settings.address = address;
  settings.netmask = netmask;
  settings.gateway = gateway;
  settings.broadcast = broadcast;
  return settings;
}

Ipv6Settings v6(const char* address, const char* prefix, const char* gateway) {
  Ipv6Settings settings;
  settings.address = address;
  settings.prefix = prefix;
  settings.gateway = gateway;
  return settings;
}

const Ipv4Settings kNone4;
const Ipv6Settings kNone6;
const Ipv4Settings kEth0v4 = v4("192.0.2.10", "255.255.255.0", "192.0.2.1", "192.0.2.255");
const Ipv6Settings kEth0v6 = v6("2001:db8::10", "64", "2001:db8::1");

struct NetworkCase {
  const char* root;
  const char* iface;
  bool found;
  AddressMode mode;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

const NetworkCase kNetworkCases[] = {
    {"debian", "eth0", true, STATICV4 | STATICV6, kEth0v4, kEth0v6},
    {"debian", "eth1", true, DHCPV4, kNone4, kNone6},
    {"debian", "eth2", true, STATICV6, kNone4, v6("2001:db8:2::5", "80", "")},
    {"debian", "eth3", true, 0, kNone4, kNone6},
    {"debian", "eth4", true, STATICV4, v4("198.51.100.4", "255.255.255.0", "", ""), kNone6},
    {"debian", "eth5", false, 0, kNone4, kNone6},
    {"redhat", "eth0", true, STATICV4 | STATICV6, kEth0v4, kEth0v6},
    {"redhat", "eth0:1", true, STATICV4, v4("192.0.2.11", "255.255.255.0", "", ""), kNone6},
    {"redhat", "eth1", true, DHCPV4, kNone4, kNone6},
    {"redhat", "eth2", true, 0, kNone4, kNone6},
    {"redhat", "eth3", true, DHCPV4 | DHCPV6, kNone4, kNone6},
    {"redhat", "eth4", false, 0, kNone4, kNone6},
    {"suse", "eth0", true, STATICV4 | STATICV6, kEth0v4, kEth0v6},
    // The routes file's default lines lie in eth0's networks: they are its alone.
    {"suse", "eth1", true, DHCPV4, kNone4, kNone6},
    {"suse", "eth2", true, DHCPV4, kNone4, kNone6},
    {"suse", "eth3", true, 0, kNone4, kNone6},
    {"suse", "eth4", false, 0, kNone4, kNone6},
};

class GetNetworkTest : public ::testing::TestWithParam<NetworkCase> {};

TEST_P(GetNetworkTest, ReadsTheFamilysFiles) {
  const NetworkCase& c = GetParam();
  kesp_test::SystemRoot root;
  root.copyFixture(std::string(c.root) + "/root");
  kesp_test::LogCapture log(LOG_ERROR);

  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  EXPECT_EQ(getNetwork(c.iface, false, mode, ipv4, ipv6), c.found);
  EXPECT_EQ(mode, c.mode);
  EXPECT_EQ(ipv4.address, c.ipv4.address);
  EXPECT_EQ(ipv4.netmask, c.ipv4.netmask);
  EXPECT_EQ(ipv4.gateway, c.ipv4.gateway);
  EXPECT_EQ(ipv4.broadcast, c.ipv4.broadcast);
  EXPECT_EQ(ipv6.address, c.ipv6.address);
  EXPECT_EQ(ipv6.prefix, c.ipv6.prefix);
  EXPECT_EQ(ipv6.gateway, c.ipv6.gateway);
  const std::vector<std::string> expectedLog =
      c.found ? std::vector<std::string>{}
              : std::vector<std::string>{"[ERROR] failed to read network interface files for '" +
                                         std::string(c.iface) + "'"};
  EXPECT_EQ(log.lines(), expectedLog);
}

INSTANTIATE_TEST_SUITE_P(Roots, GetNetworkTest, ::testing::ValuesIn(kNetworkCases),
                         [](const auto& info) {
                           std::string name = std::string(info.param.root) + "_" + info.param.iface;
                           for (char& ch : name)
                             if (ch == ':') ch = '_';
                           return name;
                         });

TEST(GetNetworkTest, SuseDhcpMeansBothWithADhcpv6Client) {
  kesp_test::SystemRoot root;
  root.copyFixture("suse/root");
  root.write("/sbin/dhcp6c", "", 0755);
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  EXPECT_TRUE(getNetwork("eth1", false, mode, ipv4, ipv6));
  EXPECT_EQ(mode, DHCPV4 | DHCPV6);
  EXPECT_EQ(ipv4.address, "");
}

TEST(GetNetworkTest, FieldsTheFilesDoNotHoldKeepTheCallersValues) {
  kesp_test::SystemRoot root;
  root.copyFixture("debian/root");
  AddressMode mode = 0;
  Ipv4Settings ipv4 = v4("a", "b", "c", "d");
  Ipv6Settings ipv6 = v6("e", "f", "g");
  EXPECT_TRUE(getNetwork("eth2", false, mode, ipv4, ipv6));
  EXPECT_EQ(ipv4.address, "a");
  EXPECT_EQ(ipv6.gateway, "g");
  EXPECT_EQ(ipv6.address, "2001:db8:2::5");
}

TEST(GetNetworkTest, SuseClearsStaleGatewaysWithoutARoutesFile) {
  kesp_test::SystemRoot root;
  root.copyFixture("suse/root");
  ASSERT_EQ(std::remove((root / "/etc/sysconfig/network/routes").c_str()), 0);
  AddressMode mode = 0;
  Ipv4Settings ipv4 = v4("", "", "10.0.0.1", "");
  Ipv6Settings ipv6 = v6("", "", "fe80::1");
  EXPECT_TRUE(getNetwork("eth3", false, mode, ipv4, ipv6));
  EXPECT_EQ(ipv4.gateway, "");
  EXPECT_EQ(ipv6.gateway, "");
}

TEST(GetNetworkTest, UnknownFamilyLogsBothLines) {
  kesp_test::SystemRoot root;
  kesp_test::LogCapture log(LOG_ERROR);
  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  EXPECT_FALSE(getNetwork("eth0", false, mode, ipv4, ipv6));
  EXPECT_EQ(mode, 0u);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "[ERROR] Unknown OS type: 0",
                             "[ERROR] failed to read network interface files for 'eth0'"}));
}

TEST(GetNetworkTest, BadNameFindsNothingEvenWhereItsPathWouldLead) {
  kesp_test::SystemRoot root;
  root.copyFixture("redhat/root");
  // Were the name spliced into the path, "ifcfg-../ifcfg-eth0" would open eth0's file.
  kesp_test::makeDirs(root / "/etc/sysconfig/network-scripts/ifcfg-..");
  kesp_test::LogCapture log(LOG_ERROR);
  for (const char* name : {"../ifcfg-eth0", "eth0/", ".", "", "eth0 eth1", "eth0\n"}) {
    SCOPED_TRACE(name);
    AddressMode mode = 99;
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    EXPECT_FALSE(getNetwork(name, false, mode, ipv4, ipv6));
    EXPECT_EQ(mode, 0u);
    EXPECT_EQ(ipv4.address, "");
    EXPECT_TRUE(log.contains("invalid interface name '" + detail::printable(name) + "'"));
  }
}

struct ListCase {
  const char* root;
  std::vector<std::string> names;
};

const ListCase kListCases[] = {
    {"debian", {"lo", "eth0", "eth1", "eth2", "eth3", "eth4"}},
    {"redhat", {"eth0", "eth0:1", "eth1", "eth2", "eth3", "lo"}},
    {"suse", {"eth0", "eth1", "eth2", "eth3", "lo"}},
};

class ListConfiguredTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListConfiguredTest, NamesWhatTheFilesConfigure) {
  kesp_test::SystemRoot root;
  root.copyFixture(std::string(GetParam().root) + "/root");
  std::vector<std::string> names = {"stale"};
  EXPECT_TRUE(listConfiguredInterfaces(names));
  EXPECT_EQ(names, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Roots, ListConfiguredTest, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.root); });

TEST(ListConfiguredTest, FailsWithoutAFamilyOrItsFiles) {
  kesp_test::SystemRoot root;
  kesp_test::LogCapture log(LOG_ERROR);
  std::vector<std::string> names = {"stale"};
  EXPECT_FALSE(listConfiguredInterfaces(names));
  EXPECT_TRUE(names.empty());
  kesp_test::makeDirs(root / "/etc/network");
  EXPECT_FALSE(listConfiguredInterfaces(names));
  EXPECT_TRUE(log.contains("Unknown OS type: 0"));
  EXPECT_TRUE(log.contains("/etc/network/interfaces"));
}

}  // namespace
