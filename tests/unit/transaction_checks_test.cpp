// The checks a change request must pass before anything is touched.

#include <gtest/gtest.h>

#include "change/change_request.h"
#include "kesp/network_model.h"

using namespace KESP;
using detail::ChangeRequest;

namespace {

ChangeRequest staticRequest() {
  return ChangeRequest{"eth0",      STATICV4 | STATICV6, "192.0.2.10", "255.255.255.0",
                       "192.0.2.1", "2001:db8::10",      "64",         "2001:db8::1"};
}

struct FaultCase {
  const char* what;
  std::string ChangeRequest::*field;
  std::string value;
  std::string fault;  // empty: accepted
};

TEST(RequestChecks, EachStaticFieldMustBeWhatItClaims) {
  const std::string nul("1.2.3.4\0x", 9);
  const FaultCase cases[] = {
      {"plain request", &ChangeRequest::iface, "eth0", ""},
      {"alias label", &ChangeRequest::iface, "eth0:1", ""},
      {"VLAN", &ChangeRequest::iface, "eth0.100", ""},
      {"path in name", &ChangeRequest::iface, "../x", "invalid interface name '../x'"},
      {"empty name", &ChangeRequest::iface, "", "invalid interface name ''"},
      {"16 bytes", &ChangeRequest::iface, "abcdefghijklmnop",
       "invalid interface name 'abcdefghijklmnop'"},
      {"shell in address", &ChangeRequest::ipv4Address, "$(reboot)",
       "invalid IPv4 address '$(reboot)'"},
      {"line in address", &ChangeRequest::ipv4Address, "1.2.3.4\nBOOTPROTO=dhcp",
       "invalid IPv4 address '1.2.3.4\\x0aBOOTPROTO=dhcp'"},
      {"NUL in address", &ChangeRequest::ipv4Address, nul, "invalid IPv4 address '1.2.3.4\\x00x'"},
      {"short address", &ChangeRequest::ipv4Address, "10.1", "invalid IPv4 address '10.1'"},
      {"empty address", &ChangeRequest::ipv4Address, "", "invalid IPv4 address ''"},
      {"blank after address", &ChangeRequest::ipv4Address, "10.0.0.1 ",
       "invalid IPv4 address '10.0.0.1 '"},
      {"all-ones netmask", &ChangeRequest::ipv4Netmask, "255.255.255.255", ""},
      {"zero netmask", &ChangeRequest::ipv4Netmask, "0.0.0.0", ""},
      {"holed netmask", &ChangeRequest::ipv4Netmask, "255.0.255.0",
       "invalid IPv4 netmask '255.0.255.0'"},
      {"inverted netmask", &ChangeRequest::ipv4Netmask, "0.0.0.255",
       "invalid IPv4 netmask '0.0.0.255'"},
      {"prefix as netmask", &ChangeRequest::ipv4Netmask, "24", "invalid IPv4 netmask '24'"},
      {"no IPv4 gateway", &ChangeRequest::ipv4Gateway, "", ""},
      {"default IPv4 gateway", &ChangeRequest::ipv4Gateway, "default", ""},
      {"IPv4 gateway word", &ChangeRequest::ipv4Gateway, "router", "invalid IPv4 gateway 'router'"},
      {"IPv6 as IPv4 gateway", &ChangeRequest::ipv4Gateway, "2001:db8::1",
       "invalid IPv4 gateway '2001:db8::1'"},
      {"long IPv6 form", &ChangeRequest::ipv6Address, "2001:0DB8:0000::0010", ""},
      {"IPv6 with prefix", &ChangeRequest::ipv6Address, "2001:db8::10/64",
       "invalid IPv6 address '2001:db8::10/64'"},
      {"IPv4 as IPv6", &ChangeRequest::ipv6Address, "192.0.2.10",
       "invalid IPv6 address '192.0.2.10'"},
      {"empty IPv6", &ChangeRequest::ipv6Address, "", "invalid IPv6 address ''"},
      {"prefix 0", &ChangeRequest::ipv6Prefix, "0", ""},
      {"prefix 128", &ChangeRequest::ipv6Prefix, "128", ""},
      {"prefix 129", &ChangeRequest::ipv6Prefix, "129", "invalid IPv6 prefix '129'"},
      {"negative prefix", &ChangeRequest::ipv6Prefix, "-1", "invalid IPv6 prefix '-1'"},
      {"prefix with text", &ChangeRequest::ipv6Prefix, "64'; x='",
       "invalid IPv6 prefix '64'; x=''"},
      {"empty prefix", &ChangeRequest::ipv6Prefix, "", "invalid IPv6 prefix ''"},
      {"56-bit mask", &ChangeRequest::ipv6Prefix, "ffff:ffff:ffff:ff00::", ""},
      {"holed mask", &ChangeRequest::ipv6Prefix, "ffff::ffff", "invalid IPv6 prefix 'ffff::ffff'"},
      {"default IPv6 gateway", &ChangeRequest::ipv6Gateway, "default", ""},
      {"IPv6 gateway with zone", &ChangeRequest::ipv6Gateway, "fe80::1%eth0",
       "invalid IPv6 gateway 'fe80::1%eth0'"},
  };
  for (const FaultCase& c : cases) {
    ChangeRequest request = staticRequest();
    request.*c.field = c.value;
    EXPECT_EQ(detail::findRequestFault(request), c.fault) << c.what;
  }
}

TEST(RequestChecks, OnlyTheRequestedStaticFamiliesAreChecked) {
  struct ModeCase {
    AddressMode mode;
    std::string fault;
  } cases[] = {
      {0, ""},
      {DHCPV4 | DHCPV6, ""},
      {AUTOV6, ""},
      {STATICV4, "invalid IPv4 address 'bad4'"},
      {STATICV6 | DHCPV4, "invalid IPv6 address 'bad6'"},
      {STATICV4 | STATICV6, "invalid IPv4 address 'bad4'"},
  };
  for (const ModeCase& c : cases) {
    ChangeRequest request = staticRequest();
    request.mode = c.mode;
    request.ipv4Address = "bad4";
    request.ipv6Address = "bad6";
    EXPECT_EQ(detail::findRequestFault(request), c.fault) << c.mode;
  }
  // The interface name becomes file names and arguments whatever the mode.
  ChangeRequest request = staticRequest();
  request.mode = DHCPV4;
  request.iface = "eth0;x";
  EXPECT_EQ(detail::findRequestFault(request), "invalid interface name 'eth0;x'");
}

TEST(RequestChecks, LoggedTextsAreCutAndEscaped) {
  EXPECT_EQ(detail::printableText("a\\b\t\x7f\xff"), "a\\x5cb\\x09\\x7f\\xff");
  EXPECT_EQ(detail::printableText(std::string(70, 'x')), std::string(64, 'x') + "...");
  EXPECT_EQ(detail::printableText(std::string(64, 'x')), std::string(64, 'x'));
}

TEST(RequestSettings, DerivedOnlyForTheRequestedFamilies) {
  ChangeRequest request = staticRequest();
  request.ipv6Address = "2001:0DB8::0010";
  request.ipv6Prefix = "ffff:ffff:ffff:ff00::";
  request.ipv4Gateway = "default";
  Ipv4Settings ipv4 = request.ipv4Settings();
  Ipv6Settings ipv6 = request.ipv6Settings();
  EXPECT_EQ(ipv4.broadcast, "192.0.2.255");
  EXPECT_EQ(ipv4.gateway, "");
  EXPECT_EQ(ipv6.address, "2001:db8::10");
  EXPECT_EQ(ipv6.prefix, "56");

  request.mode = DHCPV4;  // no IPv6 family: its record stays empty
  EXPECT_EQ(request.ipv6Settings().address, "");
  request.ipv4Gateway = "192.0.2.1";
  EXPECT_EQ(request.ipv4Settings().gateway, "192.0.2.1");
  request.ipv4Address.clear();
  request.ipv4Netmask.clear();
  EXPECT_EQ(request.ipv4Settings().broadcast, "");
}

}  // namespace
