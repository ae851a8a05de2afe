// Ports of bonds and bridges as Debian's interfaces files declare them: a
// change of a port is refused by name before anything is written.

#include <gtest/gtest.h>

#include "change/change_request.h"
#include "kesp/network_change.h"
#include "families/ports.h"
#include "test_support.h"

namespace {

using namespace KESP;

struct PortCase {
  const char* name;
  const char* interfaces;
  const char* iface;
  const char* master;  // empty: no port
};

const PortCase kPortCases[] = {
    {"BondMasterInThePortsStanza",
     "auto eth1\niface eth1 inet manual\n    bond-master bond0\n\niface bond0 inet dhcp\n", "eth1",
     "bond0"},
    {"BondSlavesOfTheMaster",
     "iface bond0 inet static\n\taddress 192.0.2.5/24\n\tbond-slaves eth1 eth2\n", "eth2", "bond0"},
    {"BridgePortsWithUnderscore", "iface br0 inet dhcp\n  bridge_ports eth0 eth3\n", "eth3", "br0"},
    {"BridgePortsWithHyphen", "iface br0 inet dhcp\n  bridge-ports eth3\n", "eth3", "br0"},
    {"TheMasterItselfIsNoPort", "iface br0 inet dhcp\n  bridge_ports eth3\n", "br0", ""},
    {"NoneIsNoMaster", "iface eth1 inet manual\n  bond-master none\n", "eth1", ""},
    // A later stanza's options do not belong to the one before it.
    {"StanzaEndsAtTheNextItem",
     "iface eth0 inet dhcp\nallow-hotplug eth1\n  bridge_ports eth0\n", "eth0", ""},
    {"PlainInterface", "auto eth0\niface eth0 inet dhcp\n", "eth0", ""},
};

class DebianPortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(DebianPortTest, RefusesPortsByTheirMasterOnly) {
  const PortCase& c = GetParam();
  kesp_test::SystemRoot root;
  root.write("/etc/network/interfaces", c.interfaces);
  EXPECT_EQ(detail::debianPortMaster(c.iface), c.master);
  if (!*c.master) return;
  kesp_test::LogCapture log;
  EXPECT_FALSE(writeNetworkFiles(c.iface, DHCPV4, "", "", "", "", "", ""));
  EXPECT_TRUE(log.contains(std::string(c.iface) + " is a port of " + c.master)) << log.text();
  EXPECT_EQ(root.read("/etc/network/interfaces"), c.interfaces);
}

INSTANTIATE_TEST_SUITE_P(Stanzas, DebianPortTest, ::testing::ValuesIn(kPortCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
