// Red Hat ifcfg files: writer against whole expected files, reading back what
// was written, and the reading rule's corner cases.

#include <gtest/gtest.h>

#include "interface_files_cases.h"
#include "kesp/interface_files.h"

namespace {

using kesp_test::linesOf;
using kesp_test::textOf;
using kesp_test::WriterCase;
using namespace KESP;

class RedHatWriterTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(RedHatWriterTest, WritesTheExpectedFileAndReadsBack) {
  const WriterCase& c = GetParam();
  const Ipv4Settings ipv4 = kesp_test::sampleIpv4(c.withGateways);
  const Ipv6Settings ipv6 = kesp_test::sampleIpv6(c.withGateways);
  KeyValueFile file('=');
  file.lines = linesOf(kesp_test::writerFixture("redhat", c.input, "input"));

  writeRedHatInterface(file, "eth0", c.mode, ipv4, ipv6);
  EXPECT_EQ(textOf(file.lines), kesp_test::writerFixture("redhat", c.input, c.expectedFile()));

  // AUTOV6 is not recorded; the inputs' BOOTPROTO=dhcp must not survive as
  // DHCPV4 where the mode has none.
  const AddressMode expected = c.mode & ~AUTOV6;
  AddressMode mode = 99;
  Ipv4Settings back4;
  Ipv6Settings back6;
  readRedHatInterface(file, mode, back4, back6);
  EXPECT_EQ(mode, expected);
  const Ipv4Settings expected4 = (c.mode & STATICV4) ? ipv4 : Ipv4Settings();
  const Ipv6Settings expected6 = (c.mode & STATICV6) ? ipv6 : Ipv6Settings();
  EXPECT_EQ(back4.address, expected4.address);
  EXPECT_EQ(back4.netmask, expected4.netmask);
  EXPECT_EQ(back4.broadcast, expected4.broadcast);
  EXPECT_EQ(back4.gateway, expected4.gateway);
  EXPECT_EQ(back6.address, expected6.address);
  EXPECT_EQ(back6.prefix, expected6.prefix);
  EXPECT_EQ(back6.gateway, expected6.gateway);

  // Writing the same again may move keys to the end, but adds or loses none.
  std::list<std::string> once = file.lines;
  writeRedHatInterface(file, "eth0", c.mode, ipv4, ipv6);
  std::list<std::string> twice = file.lines;
  once.sort();
  twice.sort();
  EXPECT_EQ(twice, once);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RedHatWriterTest,
                         ::testing::ValuesIn(kesp_test::everyNamedMode({"empty", "realistic",
                                                                        "dhcp"})),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

struct RedHatReadCase {
  const char* name;
  const char* text;
  AddressMode mode;
  const char* ipv4Address;
  const char* ipv4Netmask;
  const char* ipv6Address;
  const char* ipv6Prefix;  // the record starts with "48"
  const char* ipv6Gateway;
};

const RedHatReadCase kRedHatReadCases[] = {
    {"QuotedUpperCaseDhcp", "BOOTPROTO=\"DHCP\"\n", DHCPV4, "", "", "", "48", ""},
    {"TrailingCommentIsPartOfValue", "BOOTPROTO=dhcp # x\n", 0, "", "", "", "48", ""},
    {"EmptyAddressStillStatic", "IPADDR=\n", STATICV4, "", "", "", "48", ""},
    {"AddressOutranksDhcp", "BOOTPROTO=dhcp\nIPADDR=10.0.0.2\n", STATICV4, "10.0.0.2", "", "", "48",
     ""},
    {"FirstOfTwoAddresses", "IPADDR=10.0.0.2\nIPADDR=10.0.0.3\n", STATICV4, "10.0.0.2", "", "",
     "48", ""},
    {"SplitsAtFirstSlash", "IPV6ADDR=2001:db8::5/64/x\n", STATICV6, "", "", "2001:db8::5", "64/x",
     ""},
    {"NoPrefixLeavesPrefix", "IPV6ADDR=2001:db8::5\n", STATICV6, "", "", "2001:db8::5", "48", ""},
    {"GatewayOnlyWithAddress", "IPV6_DEFAULTGW=2001:db8::1\n", 0, "", "", "", "48", ""},
    {"GatewayWithAddress", "IPV6ADDR='2001:db8::5/64'\nIPV6_DEFAULTGW=\"2001:db8::1\"\n", STATICV6,
     "", "", "2001:db8::5", "64", "2001:db8::1"},
    {"DhcpBoth", "BOOTPROTO='dhcp'\nDHCPV6C=YES\n", DHCPV4 | DHCPV6, "", "", "", "48", ""},
    {"Dhcpv6Alone", "DHCPV6C=yes\n", DHCPV6, "", "", "", "48", ""},
    {"Dhcpv6No", "DHCPV6C=\"no\"\n", 0, "", "", "", "48", ""},
    {"StaticV4WithDhcpv6", "IPADDR=10.0.0.2\nDHCPV6C=yes\n", STATICV4 | DHCPV6, "10.0.0.2", "", "",
     "48", ""},
    {"StaticV6WithDhcp", "BOOTPROTO=dhcp\nIPV6ADDR=2001:db8::5/64\n", DHCPV4 | STATICV6, "", "",
     "2001:db8::5", "64", ""},
    {"BothAddressesOutrankEverything",
     "BOOTPROTO=dhcp\nDHCPV6C=yes\nIPADDR=10.0.0.2\nIPV6ADDR=::5/64\n", STATICV4 | STATICV6,
     "10.0.0.2", "", "::5", "64", ""},
    {"CommentedKeysIgnored", "# IPADDR=10.0.0.2\n; BOOTPROTO=dhcp\n", 0, "", "", "", "48", ""},
    // Installers write PREFIX without NETMASK.
    {"PrefixWithoutNetmask", "IPADDR=192.0.2.5\nPREFIX=\"24\"\n", STATICV4, "192.0.2.5",
     "255.255.255.0", "", "48", ""},
    {"NetmaskOutranksPrefix", "IPADDR=192.0.2.5\nPREFIX=8\nNETMASK=255.255.0.0\n", STATICV4,
     "192.0.2.5", "255.255.0.0", "", "48", ""},
    {"PrefixZero", "IPADDR=192.0.2.5\nPREFIX=0\n", STATICV4, "192.0.2.5", "0.0.0.0", "", "48",
     ""},
    {"PrefixNotALength", "IPADDR=192.0.2.5\nPREFIX=33\n", STATICV4, "192.0.2.5", "", "", "48",
     ""},
};

class RedHatReadTest : public ::testing::TestWithParam<RedHatReadCase> {};

TEST_P(RedHatReadTest, ReadsModeAndAddresses) {
  const RedHatReadCase& c = GetParam();
  KeyValueFile file('=');
  file.lines = linesOf(c.text);
  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ipv6.prefix = "48";
  readRedHatInterface(file, mode, ipv4, ipv6);
  EXPECT_EQ(mode, c.mode);
  EXPECT_EQ(ipv4.address, c.ipv4Address);
  EXPECT_EQ(ipv4.netmask, c.ipv4Netmask);
  EXPECT_EQ(ipv6.address, c.ipv6Address);
  EXPECT_EQ(ipv6.prefix, c.ipv6Prefix);
  EXPECT_EQ(ipv6.gateway, c.ipv6Gateway);
}

INSTANTIATE_TEST_SUITE_P(Rules, RedHatReadTest, ::testing::ValuesIn(kRedHatReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
