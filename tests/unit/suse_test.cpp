// SUSE ifcfg and routes files: writers against whole expected files, reading
// back what was written, and the reading rules' corner cases.

#include <gtest/gtest.h>

#include <sstream>

#include "interface_files_cases.h"
#include "kesp/interface_files.h"

namespace {

using kesp_test::linesOf;
using kesp_test::textOf;
using kesp_test::WriterCase;
using namespace KESP;

class SuseWriterTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(SuseWriterTest, WritesTheExpectedFileAndReadsBack) {
  const WriterCase& c = GetParam();
  const Ipv4Settings ipv4 = kesp_test::sampleIpv4();
  const Ipv6Settings ipv6 = kesp_test::sampleIpv6();
  KeyValueFile file('=');
  file.lines = linesOf(kesp_test::writerFixture("suse", c.input, "input"));

  writeSuseInterface(file, "eth0", c.mode, ipv4, ipv6);
  EXPECT_EQ(textOf(file.lines), kesp_test::writerFixture("suse", c.input, c.expectedFile()));

  // With a DHCPv6 client every mode but AUTOV6 is recorded; without one,
  // "dhcp" means IPv4 only.
  for (bool client : {true, false}) {
    AddressMode expected = c.mode & ~AUTOV6;
    if (!client && expected == (DHCPV4 | DHCPV6)) expected = DHCPV4;
    AddressMode mode = 99;
    Ipv4Settings back4;
    Ipv6Settings back6;
    readSuseInterface(file, client, mode, back4, back6);
    EXPECT_EQ(mode, expected) << "client " << client;
    const Ipv4Settings expected4 = (c.mode & STATICV4) ? ipv4 : Ipv4Settings();
    const Ipv6Settings expected6 = (c.mode & STATICV6) ? ipv6 : Ipv6Settings();
    EXPECT_EQ(back4.address, expected4.address);
    EXPECT_EQ(back4.netmask, expected4.netmask);
    EXPECT_EQ(back4.broadcast, expected4.broadcast);
    EXPECT_EQ(back6.address, expected6.address);
    EXPECT_EQ(back6.prefix, expected6.prefix);
  }

  const std::string once = textOf(file.lines);
  writeSuseInterface(file, "eth0", c.mode, ipv4, ipv6);
  EXPECT_EQ(textOf(file.lines), once);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SuseWriterTest,
                         ::testing::ValuesIn(kesp_test::everyNamedMode({"empty", "realistic"})),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

struct RoutesCase {
  const char* input;
  AddressMode mode;
};

class SuseRoutesTest : public ::testing::TestWithParam<RoutesCase> {};

TEST_P(SuseRoutesTest, WritesDefaultLinesAndReadsThemBack) {
  const RoutesCase& c = GetParam();
  const std::string dir = "suse/routes/" + std::string(c.input) + "/";
  KeyValueFile routes(' ');
  routes.lines = linesOf(kesp_test::readFile(kesp_test::fixturePath(dir + "input")));

  writeSuseRoutes(routes, c.mode, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());
  EXPECT_EQ(textOf(routes.lines),
            kesp_test::readFile(kesp_test::fixturePath(dir + kesp_test::modeFileName(c.mode))));

  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  readSuseRoutes(routes, ipv4, ipv6);
  EXPECT_EQ(ipv4.gateway, (c.mode & STATICV4) ? kesp_test::sampleIpv4().gateway : "");
  EXPECT_EQ(ipv6.gateway, (c.mode & STATICV6) ? kesp_test::sampleIpv6().gateway : "");
}

const RoutesCase kRoutesCases[] = {
    {"realistic", STATICV4 | STATICV6},
    {"realistic", STATICV4},
    {"realistic", STATICV6},
    {"realistic", DHCPV4},
    {"realistic", 0},
    {"empty", STATICV4 | STATICV6},
    {"empty", STATICV4},
    {"empty", STATICV6},
    {"empty", DHCPV4},
    {"empty", 0},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, SuseRoutesTest, ::testing::ValuesIn(kRoutesCases),
                         [](const auto& info) {
                           std::string name = std::string(info.param.input) + "_" +
                                              kesp_test::modeFileName(info.param.mode);
                           for (char& ch : name)
                             if (ch == '+') ch = '_';
                           return name;
                         });

TEST(SuseWriterTest, EmptyBroadcastIsWrittenAsTwoQuotesAndReadsBackEmpty) {
  KeyValueFile file('=');
  Ipv4Settings ipv4 = kesp_test::sampleIpv4();
  ipv4.broadcast.clear();
  writeSuseInterface(file, "eth0", STATICV4, ipv4, Ipv6Settings());
  EXPECT_EQ(file.lines.back(), "BROADCAST=''");
  AddressMode mode = 0;
  Ipv4Settings back4;
  back4.broadcast = "stale";
  Ipv6Settings back6;
  readSuseInterface(file, false, mode, back4, back6);
  EXPECT_EQ(back4.broadcast, "");
}

// Keys left under a suffix without its address (as cloud-init's and hand
// edits leave them) must not become the new address's on the next write.
TEST(SuseWriterTest, StraySuffixedKeysDoNotOutliveTheFirstWrite) {
  const std::string input =
      "IPADDR1=192.0.2.41\nNETMASK=255.255.255.0\nNETMASK0=255.255.255.0\n"
      "BROADCAST0=192.0.2.255\nLABEL1=x\nONBOOT=yes\n";
  for (AddressMode mode : kesp_test::namedModes()) {
    KeyValueFile file('=');
    file.lines = linesOf(input);
    writeSuseInterface(file, "eth0", mode, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());
    const std::string once = textOf(file.lines);
    EXPECT_EQ(once.find("NETMASK0"), std::string::npos) << mode;
    EXPECT_EQ(once.find("BROADCAST0"), std::string::npos) << mode;
    EXPECT_NE(once.find("ONBOOT=yes"), std::string::npos) << mode;
    writeSuseInterface(file, "eth0", mode, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());
    EXPECT_EQ(textOf(file.lines), once) << mode;
  }
}

struct SuseReadCase {
  const char* name;
  const char* text;
  bool client;
  AddressMode mode;
  const char* ipv4Address;
  const char* ipv6Address;
  const char* ipv4Netmask = "";
};

const SuseReadCase kSuseReadCases[] = {
    {"DhcpWithClientIgnoresAddress", "BOOTPROTO='dhcp'\nIPADDR='10.0.0.2'\n", true, DHCPV4 | DHCPV6,
     "", ""},
    {"DhcpWithoutClient", "BOOTPROTO='dhcp'\nIPADDR='10.0.0.2'\n", false, DHCPV4, "", ""},
    {"StaticWithoutAddresses", "BOOTPROTO='static'\n", true, 0, "", ""},
    {"Dhcp6WithIpv4Address", "BOOTPROTO='dhcp6'\nIPADDR='10.0.0.2'\n", true, STATICV4 | DHCPV6,
     "10.0.0.2", ""},
    {"Dhcp6WithIpv6Address", "BOOTPROTO='dhcp6'\nIPADDR0='2001:db8::5'\n", true, STATICV6, "",
     "2001:db8::5"},
    {"Dhcp4WithIpv6Address", "BOOTPROTO=\"DHCP4\"\nIPADDR0=2001:db8::5\n", true, DHCPV4 | STATICV6,
     "", "2001:db8::5"},
    {"BothAddresses", "BOOTPROTO='dhcp4'\nIPADDR='10.0.0.2'\nIPADDR0='::5'\n", true,
     STATICV4 | STATICV6, "10.0.0.2", "::5"},
    {"Dhcp4Alone", "BOOTPROTO='dhcp4'\n", false, DHCPV4, "", ""},
    {"Dhcp6Alone", "BOOTPROTO='dhcp6'\n", false, DHCPV6, "", ""},
    {"NoBootProto", "IPADDR='10.0.0.2'\n", false, STATICV4, "10.0.0.2", ""},
    // The installer states the prefix length after the address, without NETMASK.
    {"PrefixSuffixWithoutNetmask", "BOOTPROTO='static'\nIPADDR='192.0.2.5/24'\n", false, STATICV4,
     "192.0.2.5", "", "255.255.255.0"},
    {"SuffixBesideNetmaskAsBefore", "IPADDR='192.0.2.5/24'\nNETMASK='255.255.0.0'\n", false,
     STATICV4, "192.0.2.5/24", "", "255.255.0.0"},
    {"SuffixNotALength", "IPADDR=192.0.2.5/33\n", false, STATICV4, "192.0.2.5/33", ""},
};

class SuseReadTest : public ::testing::TestWithParam<SuseReadCase> {};

TEST_P(SuseReadTest, ReadsModeAndAddresses) {
  const SuseReadCase& c = GetParam();
  KeyValueFile file('=');
  file.lines = linesOf(c.text);
  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  readSuseInterface(file, c.client, mode, ipv4, ipv6);
  EXPECT_EQ(mode, c.mode);
  EXPECT_EQ(ipv4.address, c.ipv4Address);
  EXPECT_EQ(ipv4.netmask, c.ipv4Netmask);
  EXPECT_EQ(ipv6.address, c.ipv6Address);
}

INSTANTIATE_TEST_SUITE_P(Rules, SuseReadTest, ::testing::ValuesIn(kSuseReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct RoutesReadCase {
  const char* name;
  const char* text;
  const char* ipv4Gateway;
  const char* ipv6Gateway;
};

const RoutesReadCase kRoutesReadCases[] = {
    {"BothFamilies", "default 10.0.0.1 - -\ndefault fe80::1 - eth0\n", "10.0.0.1", "fe80::1"},
    {"OnlyOtherRoutes", "10.2.0.0 10.0.0.254 255.255.0.0 eth0\n# default 10.0.0.1 - -\n", "", ""},
    {"LastOfAFamilyWins", "default 10.0.0.1 - -\ndefault 10.0.0.2 - -\n", "10.0.0.2", ""},
    {"LeadingBlanksAndBareGateway", "  default   2001:DB8::1\n", "", "2001:DB8::1"},
    {"DefaultWithoutGateway", "default \ndefault 10.0.0.1 - -\n", "10.0.0.1", ""},
    // Any IPv6 notation is IPv6, dotted or not.
    {"DottedIpv6", "default ::ffff:192.0.2.1 - -\ndefault 192.0.2.2 - -\n", "192.0.2.2",
     "::ffff:192.0.2.1"},
    {"WholeRangesAndTabs", "0.0.0.0/0 10.0.0.1 - -\n::/0 2001:db8::1 - -\ndefault\t10.0.0.2\n",
     "10.0.0.2", "2001:db8::1"},
    {"UpperCaseDottedIpv6AndZone", "default ::FFFF:192.0.2.1 - -\ndefault fe80::1%eth0 - -\n", "",
     "fe80::1%eth0"},
};

class SuseRoutesReadTest : public ::testing::TestWithParam<RoutesReadCase> {};

TEST_P(SuseRoutesReadTest, TellsTheFamiliesApart) {
  const RoutesReadCase& c = GetParam();
  KeyValueFile routes(' ');
  routes.lines = linesOf(c.text);
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  readSuseRoutes(routes, ipv4, ipv6);
  EXPECT_EQ(ipv4.gateway, c.ipv4Gateway);
  EXPECT_EQ(ipv6.gateway, c.ipv6Gateway);

  // What was read, written again over the old lines, reads back in the same
  // families, one default line each, whatever the old ones' spelling.
  KeyValueFile rewritten(' ');
  rewritten.lines = routes.lines;
  writeSuseRoutes(rewritten, STATICV4 | STATICV6, ipv4, ipv6);
  readSuseRoutes(rewritten, ipv4, ipv6);
  EXPECT_EQ(ipv4.gateway, c.ipv4Gateway);
  EXPECT_EQ(ipv6.gateway, c.ipv6Gateway);
  size_t defaults = 0;
  for (const std::string& line : rewritten.lines) {
    std::istringstream words(line);
    std::string destination;
    words >> destination;
    defaults += destination == "default" || destination == "::/0" || destination == "0.0.0.0/0";
  }
  EXPECT_EQ(defaults, (*c.ipv4Gateway ? 1u : 0u) + (*c.ipv6Gateway ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(Rules, SuseRoutesReadTest, ::testing::ValuesIn(kRoutesReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
