// Which address decides the console's status pane, from what the interface
// files and the kernel say about each interface; and where the warning goes.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "banner.h"
#include "menu_layout.h"
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
  bool linkUsable = true;
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
      {"static IPv4 held, link down or no carrier", STATICV4, "192.0.2.1", "", "", false},
      {"dynamic IPv6 held, link down", AUTOV6, "", "2001:db8::5", "", false},
  };
  for (const ReachableCase& c : cases) {
    InterfaceFacts probed = facts(c.modes, c.live4, c.live6);
    probed.linkUsable = c.linkUsable;
    EXPECT_EQ(kesp_console::reachableAddress(probed), c.expected) << c.name;
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

TEST(ConsoleMenuLayout, HintsNeverWrapIntoTheItems) {
  struct Case {
    int columns, itemsEnd, hintWidth;
    kesp_console::HintPlacement expected;
  } cases[] = {
      {100, 28, 34, {1, 40, 34}},  // beside the items at column 40
      {80, 28, 34, {1, 40, 34}},
      {70, 28, 34, {1, 35, 34}},   // moved left to end before the last column
      {60, 28, 34, {3, 1, 34}},    // no room beside: on the rows below
      {30, 28, 34, {3, 1, 28}},    // cut so that it never wraps
      {1, 1, 34, {3, 1, 0}},
  };
  for (const Case& c : cases) {
    const kesp_console::HintPlacement got = kesp_console::placeHints(c.columns, c.itemsEnd, c.hintWidth);
    EXPECT_EQ(got.firstRow, c.expected.firstRow) << c.columns;
    EXPECT_EQ(got.column, c.expected.column) << c.columns;
    EXPECT_EQ(got.width, c.expected.width) << c.columns;
    EXPECT_LE(got.column + got.width, c.columns > 0 ? std::max(c.columns - 1, 1) : 1) << c.columns;
  }
}

}  // namespace
