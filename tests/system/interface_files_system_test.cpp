// getNetwork's autoconfiguration detection against real dynamic IPv6
// addresses in a private network namespace, on each family's fixture root.

#include <gtest/gtest.h>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "netns.h"
#include "test_support.h"

namespace {

using namespace KESP;

struct AutoV6Case {
  const char* root;
  const char* iface;
  bool found;
  AddressMode configured;  // what the files say
  AddressMode detected;    // with a dynamic IPv6 address on the interface
};

// eth5 has no configuration in any root; on Debian eth4 is static IPv4 only.
const AutoV6Case kAutoV6Cases[] = {
    {"debian", "eth0", true, STATICV4 | STATICV6, STATICV4 | STATICV6},
    {"debian", "eth1", true, DHCPV4, DHCPV4 | AUTOV6},
    {"debian", "eth2", true, STATICV6, STATICV6},
    {"debian", "eth3", true, 0, AUTOV6},
    {"debian", "eth4", true, STATICV4, STATICV4 | AUTOV6},
    {"debian", "eth5", false, 0, AUTOV6},
    {"redhat", "eth0", true, STATICV4 | STATICV6, STATICV4 | STATICV6},
    {"redhat", "eth1", true, DHCPV4, DHCPV4 | AUTOV6},
    {"redhat", "eth2", true, 0, AUTOV6},
    {"redhat", "eth3", true, DHCPV4 | DHCPV6, DHCPV4 | DHCPV6},
    {"redhat", "eth5", false, 0, AUTOV6},
    {"suse", "eth0", true, STATICV4 | STATICV6, STATICV4 | STATICV6},
    {"suse", "eth1", true, DHCPV4, DHCPV4 | AUTOV6},
    {"suse", "eth3", true, 0, AUTOV6},
    {"suse", "eth5", false, 0, AUTOV6},
};

const char* const kInterfaces[] = {"eth0", "eth1", "eth2", "eth3", "eth4", "eth5"};

std::string dynamicAddressOf(int index) {
  return "2001:db8:5::" + std::to_string(index + 1) + "/64";
}

void expectModes(const kesp_test::NetNamespace& ns, bool dynamic) {
  for (const AutoV6Case& c : kAutoV6Cases) {
    SCOPED_TRACE(std::string(c.root) + " " + c.iface + (dynamic ? " dynamic" : " static only"));
    kesp_test::SystemRoot root;
    root.copyFixture(std::string(c.root) + "/root");
    kesp_test::LogCapture log(LOG_ERROR);
    AddressMode mode = 99;
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    bool found = false;
    ns.runInside([&] { found = getNetwork(c.iface, true, mode, ipv4, ipv6); });
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(mode, dynamic ? c.detected : c.configured);
    // The detected address never reaches the records.
    if (!(c.configured & STATICV6)) {
      EXPECT_EQ(ipv6.address, "");
    }
    EXPECT_EQ(log.contains("failed to read network interface files"), !c.found);
  }
}

TEST(InterfaceFilesKernelTest, DynamicIpv6AddressAddsAutoV6WhereNoIpv6ModeIsConfigured) {
  KESP_SKIP_UNLESS_ROOT();
  kesp_test::NetNamespace ns;
  for (const char* iface : kInterfaces) ns.addVeth(iface);

  // Up links hold only permanent link-local addresses: nothing is detected.
  expectModes(ns, false);

  for (int i = 0; i < 6; ++i) ns.addDynamicIpv6(kInterfaces[i], dynamicAddressOf(i));
  expectModes(ns, true);
}

TEST(InterfaceFilesKernelTest, PermanentGlobalAddressIsNotAutoconfigured) {
  KESP_SKIP_UNLESS_ROOT();
  kesp_test::NetNamespace ns;
  ns.addVeth("eth1");
  ns.addAddress("eth1", "2001:db8:6::1/64");
  kesp_test::SystemRoot root;
  root.copyFixture("debian/root");
  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ns.runInside([&] { EXPECT_TRUE(getNetwork("eth1", true, mode, ipv4, ipv6)); });
  EXPECT_EQ(mode, DHCPV4);
}

TEST(InterfaceFilesKernelTest, UnknownFamilyStillDetectsAutoV6AfterBothErrors) {
  KESP_SKIP_UNLESS_ROOT();
  kesp_test::NetNamespace ns;
  ns.addVeth("eth0");
  ns.addDynamicIpv6("eth0", dynamicAddressOf(0));
  kesp_test::SystemRoot root;
  kesp_test::LogCapture log(LOG_ERROR);
  AddressMode mode = 99;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ns.runInside([&] { EXPECT_FALSE(getNetwork("eth0", true, mode, ipv4, ipv6)); });
  EXPECT_EQ(mode, AUTOV6);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "[ERROR] Unknown OS type: 0",
                             "[ERROR] failed to read network interface files for 'eth0'"}));
}

}  // namespace
