// The Debian interfaces file: writer against whole expected files, reading back
// what was written, and the reading rule's corner cases.

#include <gtest/gtest.h>

#include "interface_files_cases.h"
#include "kesp/interface_files.h"

namespace {

using kesp_test::linesOf;
using kesp_test::textOf;
using kesp_test::WriterCase;
using namespace KESP;

struct ReadBack {
  bool found;
  AddressMode mode;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

ReadBack readBack(const TextFile& file, const std::string& iface) {
  ReadBack result{false, 0, {}, {}};
  result.found = readDebianInterface(file, iface, result.mode, result.ipv4, result.ipv6);
  return result;
}

class DebianWriterTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(DebianWriterTest, WritesTheExpectedFileAndReadsBack) {
  const WriterCase& c = GetParam();
  const Ipv4Settings ipv4 = kesp_test::sampleIpv4(c.withGateways);
  const Ipv6Settings ipv6 = kesp_test::sampleIpv6(c.withGateways);
  TextFile file;
  file.lines = linesOf(kesp_test::writerFixture("debian", c.input, "input"));

  writeDebianInterface(file, "eth0", c.mode, ipv4, ipv6);
  EXPECT_EQ(textOf(file.lines), kesp_test::writerFixture("debian", c.input, c.expectedFile()));

  // The file records the IPv4 method and static IPv6; DHCPV6 and AUTOV6 are
  // left to the DHCPv6 client and to autoconfiguration.
  const AddressMode recorded = c.mode & (STATICV4 | DHCPV4 | STATICV6);
  const ReadBack back = readBack(file, "eth0");
  EXPECT_EQ(back.mode, recorded);
  // Every mode but 0 leaves a stanza, so that ifup knows the interface.
  EXPECT_EQ(back.found, c.mode != 0);
  const Ipv4Settings expected4 = (c.mode & STATICV4) ? ipv4 : Ipv4Settings();
  const Ipv6Settings expected6 = (c.mode & STATICV6) ? ipv6 : Ipv6Settings();
  EXPECT_EQ(back.ipv4.address, expected4.address);
  EXPECT_EQ(back.ipv4.netmask, expected4.netmask);
  EXPECT_EQ(back.ipv4.broadcast, expected4.broadcast);
  EXPECT_EQ(back.ipv4.gateway, expected4.gateway);
  EXPECT_EQ(back.ipv6.address, expected6.address);
  EXPECT_EQ(back.ipv6.prefix, expected6.prefix);
  EXPECT_EQ(back.ipv6.gateway, expected6.gateway);

  // Writing the same again must change nothing.
  const std::string once = textOf(file.lines);
  writeDebianInterface(file, "eth0", c.mode, ipv4, ipv6);
  EXPECT_EQ(textOf(file.lines), once);
}

std::vector<WriterCase> debianWriterCases() {
  std::vector<WriterCase> cases = kesp_test::everyNamedMode({"empty", "realistic", "shared-auto"});
  cases.push_back({"realistic", STATICV4 | STATICV6, false});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DebianWriterTest, ::testing::ValuesIn(debianWriterCases()),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

struct DebianEditCase {
  const char* name;
  AddressMode mode;
  const char* input;
  const char* expected;
};

// Rules that the fixtures do not show on their own.
const DebianEditCase kDebianEditCases[] = {
    {"AutoLineOfSeveralLosesOnlyThisName", 0, "auto eth0 eth1\nauto eth01\n",
     "auto eth1\nauto eth01\n"},
    {"AutoLineNamingItTwice", 0, "auto eth0 eth0\n", ""},
    {"ExistingAutoLineIsNotDuplicated", DHCPV4, "auto eth1 eth0\n",
     "auto eth1 eth0\niface eth0 inet dhcp\n"},
    {"LongerNameIsAnotherInterface", 0, "auto eth01\niface eth01 inet dhcp\n",
     "auto eth01\niface eth01 inet dhcp\n"},
    {"RemovedStanzaBodyStopsAtNextItem", 0,
     "iface eth0 inet static\n  dns-nameservers 10.0.0.1\n# keep me\n  up true\n"
     "mapping eth1\n  script /bin/true\n",
     "# keep me\nmapping eth1\n  script /bin/true\n"},
    {"DhcpKeepsOtherOptionsAndStartsAtBoot", DHCPV4,
     "iface eth0 inet static\n  address 10.0.0.2\n  up ip route add 10.9.0.0/16 dev eth0\n",
     "auto eth0\niface eth0 inet dhcp\n  up ip route add 10.9.0.0/16 dev eth0\n"},
    {"TabSeparatedOptionKeepsItsSpacing", STATICV4,
     "auto eth0\niface eth0 inet static\n\taddress\t10.0.0.2\n",
     "auto eth0\niface eth0 inet static\n\tbroadcast 192.0.2.255\n\tnetmask 255.255.255.0\n"
     "\tgateway 192.0.2.1\n\taddress\t192.0.2.10\n"},
    {"NewStanzaTakesPrevailingIndent", STATICV4, "auto eth1\niface eth1 inet dhcp\n  up true\n",
     "auto eth1\niface eth1 inet dhcp\n  up true\nauto eth0\niface eth0 inet static\n"
     "  address 192.0.2.10\n  broadcast 192.0.2.255\n  netmask 255.255.255.0\n"
     "  gateway 192.0.2.1\n"},
    {"AliasStanzaFoldsIntoFirst", DHCPV4,
     "auto eth0\niface eth0 inet static\n address 10.0.0.2\n\n# control-alias eth0\n"
     "iface eth0 inet static\n address 10.0.0.3\n# end\n",
     "auto eth0\niface eth0 inet dhcp\n\n# end\n"},
    {"AliasWithOptionsOfItsOwnIsRefused", STATICV4,
     "auto eth0\niface eth0 inet dhcp\niface eth0 inet dhcp\n mtu 1400\n",
     "auto eth0\niface eth0 inet dhcp\niface eth0 inet dhcp\n mtu 1400\n"},
    {"AliasOfARemovedFamilyGoesWithIt", DHCPV4,
     "auto eth0\niface eth0 inet dhcp\niface eth0 inet6 auto\n mtu 1400\niface eth0 inet6 dhcp\n",
     "auto eth0\niface eth0 inet dhcp\n"},
    {"HotplugCountsAsStartedInEveryMode", DHCPV4 | STATICV6,
     "allow-hotplug eth0\niface eth0 inet dhcp\n",
     "allow-hotplug eth0\niface eth0 inet dhcp\niface eth0 inet6 static\naddress 2001:db8::10\n"
     "netmask 64\ngateway 2001:db8::1\n"},
    {"KeptIpv6LineWithOtherMethodStays", DHCPV6, "auto eth0\niface eth0 inet6 manual\n",
     "auto eth0\niface eth0 inet6 manual\n"},
    {"DhcpAndAutoTogetherKeepDhcp", DHCPV6 | AUTOV6,
     "iface eth0 inet6 static\n  address 2001:db8::5\n", "auto eth0\niface eth0 inet6 dhcp\n"},
    {"CommentedStanzaIsNotOurs", DHCPV4, "# iface eth0 inet static\n#   address 10.0.0.2\n",
     "# iface eth0 inet static\n#   address 10.0.0.2\nauto eth0\niface eth0 inet dhcp\n"},
};

class DebianEditTest : public ::testing::TestWithParam<DebianEditCase> {};

TEST_P(DebianEditTest, EditsOnlyWhatTheRuleSays) {
  const DebianEditCase& c = GetParam();
  TextFile file;
  file.lines = linesOf(c.input);
  writeDebianInterface(file, "eth0", c.mode, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());
  EXPECT_EQ(textOf(file.lines), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, DebianEditTest, ::testing::ValuesIn(kDebianEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct DebianReadCase {
  const char* name;
  const char* iface;
  const char* text;
  bool found;
  AddressMode mode;
  const char* ipv4Address;
  const char* ipv6Address;
};

const DebianReadCase kDebianReadCases[] = {
    {"WholeLineSearchedForDhcpFirst", "eth0", "iface eth0 inet static # not dhcp\n", true, DHCPV4,
     "", ""},
    {"MethodIsCaseInsensitive", "eth0", "iface eth0 inet DHCP\n", true, DHCPV4, "", ""},
    {"ManualSetsNoBit", "eth0", "iface eth0 inet manual\n", true, 0, "", ""},
    {"Inet6DhcpSetsNoBit", "eth0", "iface eth0 inet6 dhcp\n", true, 0, "", ""},
    {"CommentOpensNoStanza", "eth0", "# iface eth0 inet static\n#  address 10.0.0.2\n", false, 0,
     "", ""},
    {"LongerNameIsNotOurs", "eth0", "iface eth01 inet static\n  address 10.0.0.2\n", false, 0, "",
     ""},
    {"NameContainingMethodWord", "wan-dhcp", "iface wan-dhcp inet static\n  address 10.0.0.2\n",
     true, STATICV4, "10.0.0.2", ""},
    {"TwoSpacesCollapse", "eth0", "iface eth0 inet static\n   address  10.0.0.2\n", true, STATICV4,
     "10.0.0.2", ""},
    {"TabIsASeparator", "eth0", "iface\teth0\tinet\tstatic\naddress\t10.0.0.2\n", true,
     STATICV4, "10.0.0.2", ""},
    {"SpaceThenTabIsASeparator", "eth0", "iface eth0 inet static\naddress \t10.0.0.2\n", true,
     STATICV4, "10.0.0.2", ""},
    {"TrailingBlankIsKept", "eth0", "iface eth0 inet static\naddress 10.0.0.2 \n", true, STATICV4,
     "10.0.0.2 ", ""},
    {"LaterLineWins", "eth0", "iface eth0 inet static\naddress 10.0.0.2\naddress 10.0.0.3\n", true,
     STATICV4, "10.0.0.3", ""},
    {"Ipv6BeforeIpv4Combines", "eth0",
     "iface eth0 inet6 static\n address 2001:db8::5\niface eth0 inet dhcp\n", true,
     DHCPV4 | STATICV6, "", "2001:db8::5"},
    {"SecondStanzaOfAFamilyIsAnAlias", "eth0",
     "iface eth0 inet static\n address 10.0.0.2\niface eth0 inet6 static\n"
     "# control-alias eth0\niface eth0 inet dhcp\n address 10.0.0.3\n",
     true, STATICV4 | STATICV6, "10.0.0.2", ""},
    {"OtherStanzaEndsOurs", "eth0",
     "iface eth0 inet static\n address 10.0.0.2\niface eth1 inet static\n address 10.0.0.3\n", true,
     STATICV4, "10.0.0.2", ""},
    {"AutoLineDoesNotEndStanza", "eth0", "iface eth0 inet static\nauto eth1\n address 10.0.0.2\n",
     true, STATICV4, "10.0.0.2", ""},
};

class DebianReadTest : public ::testing::TestWithParam<DebianReadCase> {};

TEST_P(DebianReadTest, ReadsModeAndAddresses) {
  const DebianReadCase& c = GetParam();
  TextFile file;
  file.lines = linesOf(c.text);
  const ReadBack back = readBack(file, c.iface);
  EXPECT_EQ(back.found, c.found);
  EXPECT_EQ(back.mode, c.mode);
  EXPECT_EQ(back.ipv4.address, c.ipv4Address);
  EXPECT_EQ(back.ipv6.address, c.ipv6Address);
}

INSTANTIATE_TEST_SUITE_P(Rules, DebianReadTest, ::testing::ValuesIn(kDebianReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DebianListTest, ListsEachConfiguredNameOnceInFileOrder) {
  TextFile file;
  file.lines = linesOf(kesp_test::writerFixture("debian", "realistic", "input") +
                       "iface eth0:1 inet static\n# iface eth7 inet dhcp\n");
  std::vector<std::string> names;
  listDebianInterfaces(file, names);
  EXPECT_EQ(names, (std::vector<std::string>{"lo", "eth0", "eth01", "eth0:1"}));
}

}  // namespace
