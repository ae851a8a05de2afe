// Which address decides the console's status pane, from what the interface
// files and the kernel say about each interface; and where the warning goes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banner.h"
#include "status_choice.h"

namespace {

using kesp_console::InterfaceFacts;
using namespace KESP;

InterfaceFacts facts(AddressMode modes, const std::string& live4, const std::string& live6) {
  InterfaceFacts result;
  result.configuredModes = modes;
  result.live4.address = live4;
  result.live6.address = live6;
  return result;
}

struct ReachableCase {
  const char* name;
  AddressMode modes;
  const char* live4;
  const char* live6;
  const char* expected;
};

TEST(ConsoleStatusChoice, ReachableAddressNeedsTheConfiguredFamily) {
  const ReachableCase cases[] = {
      {"nothing configured, both held", 0, "192.0.2.1", "2001:db8::1", ""},
      {"static IPv4 held", STATICV4, "192.0.2.1", "", "192.0.2.1"},
      {"DHCP IPv4 held", DHCPV4, "192.0.2.1", "", "192.0.2.1"},
      {"IPv4 preferred when both count", STATICV4 | STATICV6, "192.0.2.1", "2001:db8::1",
       "192.0.2.1"},
      {"IPv4 configured, only IPv6 held", DHCPV4, "", "2001:db8::1", ""},
      {"IPv6 configured, only IPv4 held", STATICV6, "192.0.2.1", "", ""},
      {"IPv6 configured, IPv4 held too", DHCPV6, "192.0.2.1", "2001:db8::1", "2001:db8::1"},
      {"autoconfigured IPv6 without files", AUTOV6, "", "2001:db8::5", "2001:db8::5"},
      {"IPv4 configured without lease, dynamic IPv6", DHCPV4 | AUTOV6, "", "2001:db8::5",
       "2001:db8::5"},
      {"configured, nothing held", STATICV4 | STATICV6, "", "", ""},
  };
  for (const ReachableCase& c : cases) {
    EXPECT_EQ(kesp_console::reachableAddress(facts(c.modes, c.live4, c.live6)), c.expected)
        << c.name;
  }
}

TEST(ConsoleStatusChoice, FirstReachableInterfaceInListOrderDecides) {
  struct Case {
    const char* name;
    std::vector<std::string> interfaces;
    std::string expected;
    std::vector<std::string> probed;
  } cases[] = {
      {"no interfaces", {}, "", {}},
      {"none reachable: all probed", {"eth0", "eth9"}, "", {"eth0", "eth9"}},
      {"link-local eth0, static eth1", {"eth0", "eth1", "eth2"}, "192.0.2.11", {"eth0", "eth1"}},
      {"first reachable stops the search", {"eth1", "eth2"}, "192.0.2.11", {"eth1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> probed;
    auto probe = [&](const std::string& iface) {
      probed.push_back(iface);
      if (iface == "eth0") return facts(DHCPV4, "", "");  // only a link-local address
      if (iface == "eth9") return facts(0, "192.0.2.99", "");  // no configuration
      if (iface == "eth1") return facts(STATICV4, "192.0.2.11", "");
      return facts(STATICV4, "192.0.2.12", "");
    };
    EXPECT_EQ(kesp_console::chooseStatusAddress(c.interfaces, probe), c.expected) << c.name;
    EXPECT_EQ(probed, c.probed) << c.name;
  }
}

TEST(ConsoleBanner, CentredWhenItFitsAndLeftOutOtherwise) {
  struct Case {
    int columns;
    bool fits;
    int column;
  } cases[] = {{100, true, 10}, {80, true, 0}, {81, true, 0}, {79, false, 0}, {0, false, 0}};
  for (const Case& c : cases) {
    int column = -1;
    EXPECT_EQ(kesp_console::bannerColumn(c.columns, column), c.fits) << c.columns;
    if (c.fits) {
      EXPECT_EQ(column, c.column) << c.columns;
    }
  }
}

}  // namespace
