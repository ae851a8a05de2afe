// Address-mode names, bit counting, local host names and settings records.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kesp/log.h"
#include "kesp/network.h"
#include "test_support.h"

namespace {

using KESP::AddressMode;

struct NamedMode {
  AddressMode mode;
  const char* name;
};

const NamedMode NAMED_MODES[] = {
    {KESP::STATICV4, "STATICV4"},
    {KESP::STATICV6, "STATICV6"},
    {KESP::STATICV4 | KESP::STATICV6, "STATICV4+STATICV6"},
    {KESP::DHCPV4, "DHCPV4"},
    {KESP::DHCPV4 | KESP::STATICV6, "DHCPV4+STATICV6"},
    {KESP::DHCPV6, "DHCPV6"},
    {KESP::STATICV4 | KESP::DHCPV6, "STATICV4+DHCPV6"},
    {KESP::DHCPV4 | KESP::DHCPV6, "DHCPV4+DHCPV6"},
    {KESP::AUTOV6, "AUTOV6"},
    {KESP::STATICV4 | KESP::AUTOV6, "STATICV4+AUTOV6"},
    {KESP::DHCPV4 | KESP::AUTOV6, "DHCPV4+AUTOV6"},
};

TEST(ModeNames, EveryNamedValueRoundTrips) {
  kesp_test::LogCapture log;
  for (const NamedMode& named : NAMED_MODES) {
    std::string name = "previous";
    KESP::getModeName(named.mode, name);
    EXPECT_EQ(named.name, name) << "mode " << named.mode;
    AddressMode mode = 99;
    KESP::getEnum(name, mode);
    EXPECT_EQ(named.mode, mode) << name;
  }
  EXPECT_EQ("", log.text());
}

TEST(ModeNames, ZeroIsTheEmptyName) {
  std::string name = "STATICV4";
  KESP::getModeName(0, name);
  EXPECT_EQ("", name);
}

TEST(ModeNames, UnnamedValuesLeaveTheTextAsItWas) {
  kesp_test::LogCapture log;
  for (AddressMode mode : {5u, 7u, 10u, 11u, 13u, 14u, 15u, 18u, 19u, 21u, 26u, 31u, 32u,
                           0xffffffffu}) {
    std::string name = "untouched";
    KESP::getModeName(mode, name);
    EXPECT_EQ("untouched", name) << "mode " << mode;
  }
  EXPECT_EQ("", log.text());
}

TEST(ModeNames, UnknownNamesGiveZeroAndAnErrorLine) {
  struct Case {
    const char* text;
  };
  const Case cases[] = {
      {"staticv4"}, {"StaticV4"}, {"DHCPV6+DHCPV4"}, {"STATICV4 "}, {" STATICV4"},
      {"STATICV4+"}, {"STATICV4+DHCPV4"}, {"AUTOV6+STATICV4"}, {"5"},
  };
  for (const Case& c : cases) {
    kesp_test::LogCapture log;
    AddressMode mode = KESP::DHCPV4;
    KESP::getEnum(c.text, mode);
    EXPECT_EQ(0u, mode) << c.text;
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(1u, lines.size()) << c.text;
    EXPECT_EQ(std::string("[ERROR] can't decode ip versions ") + c.text, lines[0]);
  }
}

TEST(ModeNames, EmptyNameGivesZeroWithoutALogLine) {
  kesp_test::LogCapture log;
  AddressMode mode = KESP::STATICV6;
  KESP::getEnum("", mode);
  EXPECT_EQ(0u, mode);
  EXPECT_EQ("", log.text());
}

TEST(CountBits, CountsTheSetBits) {
  const std::pair<uint32_t, unsigned> cases[] = {
      {0u, 0}, {1u, 1}, {0x80000000u, 1}, {0x80000001u, 2},
      {0xffffff00u, 24}, {0x00ffffffu, 24}, {0xffffffffu, 32}, {0x55555555u, 16},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, KESP::countBits(c.first)) << std::hex << c.first;
}

TEST(LocalHostNames, CompleteTheList) {
  struct Case {
    const char* list;
    const char* expected;
  };
  const Case cases[] = {
      {"", "localhost,127.0.0.1,127.0.1.1"},
      {"10.0.0.1", "10.0.0.1,localhost,127.0.0.1,127.0.1.1"},
      {"localhost,127.0.0.1,127.0.1.1", "localhost,127.0.0.1,127.0.1.1"},
      {"127.0.1.1", "127.0.1.1,localhost,127.0.0.1"},
      // A plain substring search: 127.0.0.10 already holds 127.0.0.1.
      {"127.0.0.10", "127.0.0.10,localhost,127.0.1.1"},
      {"mylocalhost.example", "mylocalhost.example,127.0.0.1,127.0.1.1"},
  };
  for (const Case& c : cases) {
    std::string list = c.list;
    KESP::appendLocalHostNames(list);
    EXPECT_EQ(c.expected, list) << "from '" << c.list << "'";
  }
}

TEST(Ipv4SettingsFromParts, DerivesBroadcastAndGateway) {
  struct Case {
    bool derive;
    const char* address;
    const char* netmask;
    const char* gateway;
    const char* expectedGateway;
    const char* expectedBroadcast;
  };
  const Case cases[] = {
      {true, "192.168.1.10", "255.255.255.0", "192.168.1.1", "192.168.1.1", "192.168.1.255"},
      {true, "192.168.1.10", "255.255.255.0", "default", "", "192.168.1.255"},
      {true, "10.1.2.3", "255.0.0.0", "", "", "10.255.255.255"},
      {true, "172.16.5.4", "255.255.240.0", "172.16.0.1", "172.16.0.1", "172.16.15.255"},
      {true, "10.0.0.7", "255.255.255.255", "", "", "10.0.0.7"},
      {true, "10.0.0.7", "0.0.0.0", "", "", "255.255.255.255"},
      {false, "192.168.1.10", "255.255.255.0", "192.168.1.1", "", ""},
      // Texts that are no dotted quads never produce a made-up broadcast.
      {true, "not-an-address", "255.255.255.0", "", "", ""},
      {true, "192.168.1.10", "", "", "", ""},
  };
  kesp_test::LogCapture log;
  for (const Case& c : cases) {
    KESP::Ipv4Settings settings(c.derive, c.address, c.netmask, c.gateway);
    SCOPED_TRACE(std::string(c.address) + " " + c.netmask + " derive=" + (c.derive ? "1" : "0"));
    EXPECT_EQ(c.address, settings.address);
    EXPECT_EQ(c.netmask, settings.netmask);
    EXPECT_EQ(c.expectedGateway, settings.gateway);
    EXPECT_EQ(c.expectedBroadcast, settings.broadcast);
  }
}

TEST(Ipv6SettingsFromParts, CanonicalAddressAndPrefixFromMask) {
  struct Case {
    bool derive;
    const char* address;
    const char* prefixOrMask;
    const char* gateway;
    const char* expectedAddress;
    const char* expectedPrefix;
    const char* expectedGateway;
  };
  const Case cases[] = {
      {true, "2001:0db8:0000:0000:0000:0000:0000:0001", "64", "2001:DB8::FFFF", "2001:db8::1",
       "64", "2001:db8::ffff"},
      {true, "2001:db8::1", "ffff:ffff:ffff:ffff::", "default", "2001:db8::1", "64", ""},
      {true, "2001:db8::1", "ffff:ffff:ffff:ff80::", "", "2001:db8::1", "57", ""},
      {true, "2001:db8::1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "", "2001:db8::1", "128",
       ""},
      {true, "2001:db8::1", "::", "", "2001:db8::1", "0", ""},
      {true, "fe80::0:1", "48", "fe80::1", "fe80::1", "48", "fe80::1"},
      {false, "2001:db8::1", "64", "2001:db8::ffff", "", "", ""},
  };
  kesp_test::LogCapture log;
  for (const Case& c : cases) {
    KESP::Ipv6Settings settings(c.derive, c.address, c.prefixOrMask, c.gateway);
    SCOPED_TRACE(std::string(c.address) + " " + c.prefixOrMask);
    EXPECT_EQ(c.expectedAddress, settings.address);
    EXPECT_EQ(c.expectedPrefix, settings.prefix);
    EXPECT_EQ(c.expectedGateway, settings.gateway);
  }
  EXPECT_EQ("", log.text()) << "no valid or empty text deserves an error line";
}

TEST(Ipv6SettingsFromParts, InvalidAddressIsLoggedAndLeftEmpty) {
  kesp_test::LogCapture log;
  KESP::Ipv6Settings settings(true, "2001:::1", "64", "not-a-gateway");
  EXPECT_EQ("", settings.address);
  EXPECT_EQ("64", settings.prefix);
  EXPECT_EQ("", settings.gateway);
  EXPECT_TRUE(log.contains("[ERROR] Attempted translation of an Invalid IPv6 address 2001:::1"));
  EXPECT_TRUE(
      log.contains("[ERROR] Attempted translation of an Invalid IPv6 address not-a-gateway"));
}

}  // namespace
