// kesp_config_net on a live system: the binary runs inside a network
// namespace (veth links eth0, eth1, eth2) on a fixture root of each family,
// whose stand-in ifup/ifdown apply what the files say with ip(8). What the
// tool reports is checked against what the kernel then holds.

#include <gtest/gtest.h>

#include <string>

#include "config_net_harness.h"
#include "fake_console.h"

namespace {

using config_net_test::contains;
using config_net_test::Result;
using config_net_test::ToolRoot;
using kesp_test::NetNamespace;

std::string addressesOf(const NetNamespace& ns, const std::string& iface) {
  return ns.execOutput("ip -o addr show dev " + iface + " scope global");
}

class ConfigNetLive : public ::testing::TestWithParam<const char*> {};

TEST_P(ConfigNetLive, EveryCommandAgainstTheKernel) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  for (const char* iface : {"eth0", "eth1", "eth2"}) ns.addVeth(iface);
  ToolRoot root(GetParam());

  // show: the files' configuration beside what the kernel holds.
  Result result = root.live(ns, {"show"});
  ASSERT_EQ(result.status, 0) << result;
  EXPECT_TRUE(contains(result.out, "eth0: STATICV4\n    ipv4: 192.0.2.10/24 gateway 192.0.2.1\n"
                                   "    live: no address\n"))
      << result;
  EXPECT_TRUE(contains(result.out, "eth2: not configured\n    live: no address\n")) << result;

  // An autoconfigured address counts as AUTOV6, in the list read in one pass
  // as in the report of each interface on its own.
  ns.addDynamicIpv6("eth1", "2001:db8:9::5/64");
  result = root.live(ns, {"show"});
  EXPECT_TRUE(contains(result.out, "eth1: DHCPV4+AUTOV6\n    live: 2001:db8:9::5/64\n")) << result;
  for (const char* iface : {"eth0", "eth1", "eth2"}) {
    const std::string alone = root.live(ns, {"show", iface}).out;
    const std::string body = alone.substr(alone.find('\n') + 1);
    EXPECT_TRUE(!body.empty() && contains(result.out, body)) << alone << "---\n" << result.out;
  }

  // set: the transaction takes eth0 down and up; the address arrives, and the
  // console of this root is asked to redraw.
  kesp_test::FakeConsole console(root.path());
  result = root.live(ns, {"set", "eth0", "--mode", "STATICV4", "--ipv4-address", "192.0.2.20/24",
                          "--ipv4-gateway", "192.0.2.1"});
  ASSERT_EQ(result.status, 0) << result;
  EXPECT_TRUE(contains(result.out, "eth0: STATICV4, IPv4 192.0.2.20/24 gateway 192.0.2.1\n"
                                   "(eth0 now holds 192.0.2.20)\n"))
      << result;
  EXPECT_TRUE(contains(addressesOf(ns, "eth0"), "inet 192.0.2.20/24")) << addressesOf(ns, "eth0");
  EXPECT_EQ(root.recorded("/var/log/fake-net.log"), "ifdown eth0\nifup eth0\n");
  EXPECT_TRUE(console.redrawn());
  EXPECT_EQ(root.killallCalls(), "");
  EXPECT_EQ(root.recorded("/var/log/ovf.log"), "args:-r eth0\n");
  result = root.live(ns, {"show", "eth0", "--json"});
  EXPECT_TRUE(contains(result.out, "\"present\":true,\"link\":{\"state\":\"up\",\"carrier\":true,"
                                   "\"running\":true,\"mac\":\""))
      << result;
  EXPECT_TRUE(contains(result.out, "\"live_ipv4\":{\"address\":\"192.0.2.20\","
                                   "\"netmask\":\"255.255.255.0\",\"prefix\":24"))
      << result;

  // gateways: the default route ifup set, for eth0 and, as a fallback, eth1.
  result = root.live(ns, {"gateways", "eth0"});
  EXPECT_EQ(result.status, 0) << result;
  EXPECT_EQ(result.out, "ipv4: 192.0.2.1\nipv6: none\n");
  result = root.live(ns, {"gateways", "eth1", "--json"});
  EXPECT_EQ(result.out, "{\"interface\":\"eth1\",\"ipv4_gateway\":\"192.0.2.1\",\"ipv6_gateway\":null}\n")
      << result;

  // dns --pending, then a DHCP change that applies it.
  root.write("/etc/fake-dhcp/eth1", "198.51.100.77/24");
  ASSERT_EQ(root.live(ns, {"dns", "--pending", "192.0.2.99"}).status, 0);
  EXPECT_TRUE(contains(root.read("/etc/resolv.conf"), "nameserver 192.0.2.53"));
  result = root.live(ns, {"set", "eth1", "--mode", "DHCPV4"});
  ASSERT_EQ(result.status, 0) << result;
  EXPECT_TRUE(contains(result.err, "warning: DHCP will override supplied DNS settings")) << result;
  EXPECT_EQ(root.read("/etc/resolv.conf"), "# written by the installer\nsearch example.lan\nnameserver 192.0.2.99\n");
  EXPECT_FALSE(root.exists("/etc/resolv.conf.pending"));
  EXPECT_TRUE(contains(addressesOf(ns, "eth1"), "inet 198.51.100.77/24"));
  EXPECT_EQ(root.recorded("/var/log/hostname.log"), "args:\n");  // the transaction's own call

  // An interface without configuration is given one for the change.
  result = root.live(ns, {"set", "eth2", "--mode", "STATICV4", "--ipv4-address", "203.0.113.5",
                          "--ipv4-netmask", "255.255.255.0"});
  ASSERT_EQ(result.status, 0) << result;
  EXPECT_TRUE(contains(addressesOf(ns, "eth2"), "inet 203.0.113.5/24"));
  EXPECT_TRUE(contains(root.live(ns, {"show", "eth2"}).out, "eth2: STATICV4\n"));

  // hostname: shown from the kernel, set through the script.
  result = root.live(ns, {"hostname"});
  EXPECT_EQ(result.status, 0) << result;
  EXPECT_FALSE(result.out.empty());
  result = root.live(ns, {"hostname", "web1"});
  EXPECT_EQ(result.status, 0) << result;
  EXPECT_EQ(result.out, "host name set to web1\n");
  EXPECT_EQ(root.recorded("/var/log/hostname.log"), "args:\nargs:web1\n");
  result = root.live(ns, {"hostname", "refused"});
  EXPECT_EQ(result.status, 1) << result;
  EXPECT_TRUE(contains(result.err, "the host name was not set\n  Unable to execute ")) << result;

  // Files only: dns, proxy and move behave as on an image.
  EXPECT_EQ(root.live(ns, {"dns", "192.0.2.98"}).status, 0);
  EXPECT_EQ(root.read("/etc/resolv.conf"), "# written by the installer\nsearch example.lan\nnameserver 192.0.2.98\n");
  EXPECT_EQ(root.live(ns, {"proxy", "set", "--host", "proxy.lan"}).status, 0);
  EXPECT_TRUE(contains(root.live(ns, {"proxy"}).out, "host: proxy.lan\nport: 80\n"));
  EXPECT_EQ(root.live(ns, {"move", "remove", "eth2"}).status, 0);
  EXPECT_TRUE(contains(root.live(ns, {"show", "eth2"}).out, "eth2: not configured\n"));
}

TEST_P(ConfigNetLive, RefusedRequestsTouchNeitherFilesNorInterface) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ToolRoot root(GetParam());
  const Result result = root.live(ns, {"set", "eth0", "--mode", "DHCPV6"});
  EXPECT_EQ(result.status, 1) << result;
  EXPECT_TRUE(contains(result.err, "needs a DHCPv6 client")) << result;
  const Result bad = root.live(ns, {"gateways", "eth0;reboot"});
  EXPECT_EQ(bad.status, 2) << bad;
  EXPECT_EQ(root.recorded("/var/log/fake-net.log"), "");
  EXPECT_EQ(root.killallCalls(), "");
}

INSTANTIATE_TEST_SUITE_P(Families, ConfigNetLive, ::testing::Values("debian", "redhat", "suse"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// A change whose address never comes: the transaction takes the new settings
// down, puts the old files back and brings the interface up with them, and the tool shows why it failed.
TEST(ConfigNetLiveFailure, AFailedChangeIsRestoredAndExplained) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addAddress("eth0", "192.0.2.10/24");
  ToolRoot root("debian");
  root.write("/etc/fake-unreachable", "192.0.2.99\n");
  const std::string before = root.read("/etc/network/interfaces");
  const Result result =
      root.live(ns, {"set", "eth0", "--mode", "STATICV4", "--ipv4-address", "192.0.2.99/24"});
  EXPECT_EQ(result.status, 1) << result;
  EXPECT_TRUE(contains(result.err, "kesp_config_net: eth0: the change to STATICV4 failed\n")) << result;
  EXPECT_TRUE(contains(result.err, "  Network FAILED to restart using new parameters eth0")) << result;
  EXPECT_TRUE(contains(result.err, "  Successfully restored previous network settings")) << result;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(root.read("/etc/network/interfaces"), before);
  EXPECT_TRUE(contains(addressesOf(ns, "eth0"), "inet 192.0.2.10/24")) << addressesOf(ns, "eth0");
  // The failed settings go down before the old ones come up.
  EXPECT_EQ(root.recorded("/var/log/fake-net.log"), "ifdown eth0\nifup eth0\nifdown eth0\nifup eth0\n");
}

// Predictable names count as Ethernet, and `show` tells the link's state: an
// appliance whose only Ethernet link is ens3, beside an eth0 whose peer is down.
TEST(ConfigNetLiveLinks, PredictableNamesAndLinkStates) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("ens3");
  ns.addAddress("ens3", "192.0.2.30/24", "brd +");
  ns.addVeth("eth0");
  ns.addAddress("eth0", "192.0.2.10/24", "brd +");
  ns.setLinkUp(NetNamespace::peerOf("eth0"), false);
  ASSERT_TRUE(ns.waitUntil("ip link show dev eth0 | grep -q NO-CARRIER"));
  ToolRoot root("debian");
  auto macOf = [&](const std::string& iface) {
    std::string mac = ns.execOutput("cat /sys/class/net/" + iface + "/address");
    return mac.substr(0, mac.find('\n'));
  };

  Result result = root.live(ns, {"show"});
  ASSERT_EQ(result.status, 0) << result;
  EXPECT_TRUE(contains(result.out, "ens3: not configured\n    live: 192.0.2.30/24\n"
                                   "    link: up, carrier, MAC " + macOf("ens3") + "\n"))
      << result;
  EXPECT_TRUE(contains(result.out, "eth0: STATICV4\n    ipv4: 192.0.2.10/24 gateway 192.0.2.1\n"
                                   "    live: 192.0.2.10/24\n"
                                   "    link: up, no carrier, MAC " + macOf("eth0") + "\n"))
      << result;
  result = root.live(ns, {"show", "--json"});
  EXPECT_TRUE(contains(result.out, "\"link\":{\"state\":\"up\",\"carrier\":false,\"running\":false,"
                                   "\"mac\":\"" + macOf("eth0") + "\"}"))
      << result;
  ns.setLinkUp("ens3", false);
  EXPECT_TRUE(contains(root.live(ns, {"show", "ens3"}).out, "    link: down, no carrier, MAC ")) << result;
}

}  // namespace
