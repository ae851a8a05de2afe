// Interface and address discovery against the real kernel, each case in a
// network namespace of its own; and the namespace harness itself.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "kesp/network.h"
#include "netns.h"
#include "test_support.h"

namespace {

using kesp_test::NetNamespace;
using KESP::Ipv4Settings;
using KESP::Ipv6Settings;

std::vector<std::string> interfacesInside(const NetNamespace& ns) {
  std::vector<std::string> names = {"stale"};
  bool ok = false;
  ns.runInside([&] { ok = KESP::getInterfaces(names); });
  EXPECT_TRUE(ok);
  return names;
}

struct Live {
  bool found = false;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

/// Live addresses of iface, with sentinels in every field so that fields the
/// call leaves alone are visible.
Live liveInside(const NetNamespace& ns, const std::string& iface) {
  Live live;
  live.ipv4.address = live.ipv4.netmask = live.ipv4.broadcast = live.ipv4.gateway = "-";
  live.ipv6.address = live.ipv6.prefix = live.ipv6.gateway = "-";
  ns.runInside([&] { live.found = KESP::getLiveAddresses(iface, live.ipv4, live.ipv6); });
  return live;
}

bool waitForLinkLocal(const NetNamespace& ns, const std::string& iface) {
  return ns.waitUntil("ip -6 addr show dev " + iface + " scope link | grep -q inet6");
}

TEST(DiscoveryKernel, ListsAddressedEthInterfacesOnceInTextOrder) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  int n = 0;
  for (const std::string iface : {"eth0", "eth10", "eth2"}) {
    ++n;
    ns.addVeth(iface);
    ns.addAddress(iface, "192.0." + std::to_string(n) + ".1/24", "brd +");
    ns.addAddress(iface, "198.51." + std::to_string(n) + ".1/16");
    ns.addAddress(iface, "2001:db8:" + std::to_string(n) + "::1/64");
    ns.addDynamicIpv6(iface, "2001:db8:" + std::to_string(n) + "::5/64");
  }
  ns.addAddress("eth0", "203.0.113.9/24", "label eth0:1");
  ns.addVeth("wlan0");
  ns.addAddress("wlan0", "192.0.9.1/24");
  ns.addAddress("wlan0", "2001:db8:9::1/64");
  ns.addVeth("eth3", false);  // down: not even a link-local address
  ns.addVeth("eth4");
  ns.addAddress("eth4", "192.0.4.1/24");
  ns.removeAddress("eth4", "192.0.4.1/24");
  ns.exec("echo 1 > /proc/sys/net/ipv6/conf/eth4/disable_ipv6");
  EXPECT_EQ((std::vector<std::string>{"eth0", "eth0:1", "eth10", "eth2"}),
            interfacesInside(ns));
}

TEST(DiscoveryKernel, LinkLocalOnlyGivesFalseAndUntouchedRecords) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ASSERT_TRUE(waitForLinkLocal(ns, "eth0"));
  EXPECT_EQ(std::vector<std::string>{"eth0"}, interfacesInside(ns));
  Live live = liveInside(ns, "eth0");
  EXPECT_FALSE(live.found);
  EXPECT_EQ("- - - -", live.ipv4.address + " " + live.ipv4.netmask + " " + live.ipv4.broadcast +
                           " " + live.ipv4.gateway);
  EXPECT_EQ("- - -", live.ipv6.address + " " + live.ipv6.prefix + " " + live.ipv6.gateway);
  EXPECT_FALSE(liveInside(ns, "eth9").found) << "no such interface";
}

TEST(DiscoveryKernel, PermanentGlobalIpv6IsPreferredOverDynamic) {
  KESP_SKIP_UNLESS_ROOT();
  for (bool dynamicFirst : {true, false}) {
    SCOPED_TRACE(dynamicFirst ? "dynamic added first" : "permanent added first");
    NetNamespace ns;
    ns.addVeth("eth0");
    if (dynamicFirst) ns.addDynamicIpv6("eth0", "2001:db8::5/64");
    ns.addAddress("eth0", "2001:db8:1:2:3::6/80");
    if (!dynamicFirst) ns.addDynamicIpv6("eth0", "2001:db8::5/64");
    ASSERT_TRUE(waitForLinkLocal(ns, "eth0"));

    Live live = liveInside(ns, "eth0");
    EXPECT_TRUE(live.found);
    EXPECT_EQ("2001:db8:1:2:3::6", live.ipv6.address);
    EXPECT_EQ("80", live.ipv6.prefix) << "counted from the netmask";
    EXPECT_EQ("-", live.ipv6.gateway);

    Ipv6Settings dynamic;
    bool hasDynamic = false;
    ns.runInside([&] { hasDynamic = KESP::getDynamicIpv6Address("eth0", dynamic); });
    EXPECT_TRUE(hasDynamic);
    EXPECT_EQ("2001:db8::5", dynamic.address);
    EXPECT_EQ("64", dynamic.prefix);
  }
}

TEST(DiscoveryKernel, OnlyDynamicIpv6IsTheFallbackWithItsPrefixFromIfInet6) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addDynamicIpv6("eth0", "2001:db8:0:ab00::5/56");
  ASSERT_TRUE(waitForLinkLocal(ns, "eth0"));
  Live live = liveInside(ns, "eth0");
  EXPECT_TRUE(live.found);
  EXPECT_EQ("2001:db8:0:ab00::5", live.ipv6.address);
  EXPECT_EQ("56", live.ipv6.prefix);
  EXPECT_EQ("", live.ipv6.gateway) << "the dynamic record is copied whole";
  EXPECT_EQ("-", live.ipv4.address);
}

TEST(DiscoveryKernel, DynamicAddressesOfEveryInterface) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addVeth("eth1");
  ns.addDynamicIpv6("eth0", "2001:db8::5/64");
  ns.addAddress("eth0", "2001:db8::6/64");
  ns.addDynamicIpv6("eth1", "2001:db8:1::7/48", 300);
  std::vector<Ipv6Settings> all;
  std::vector<Ipv6Settings> ofEth1;
  bool allFound = false;
  ns.runInside([&] {
    allFound = KESP::readDynamicIpv6Addresses("", all);
    KESP::readDynamicIpv6Addresses("eth1", ofEth1);
  });
  EXPECT_TRUE(allFound);
  std::vector<std::string> texts;
  for (const Ipv6Settings& s : all) texts.push_back(s.address + "/" + s.prefix);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ((std::vector<std::string>{"2001:db8:1::7/48", "2001:db8::5/64"}), texts);
  ASSERT_EQ(1u, ofEth1.size());
  EXPECT_EQ("2001:db8:1::7", ofEth1[0].address);
}

/// The "inet A/P [brd B]" entries of iface, in the kernel's order.
std::vector<std::string> kernelIpv4Order(const NetNamespace& ns, const std::string& iface) {
  std::istringstream lines(ns.execOutput("ip -o -4 addr show dev " + iface));
  std::vector<std::string> order;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      if (word == "inet" && words >> word) order.push_back(word);
    }
  }
  return order;
}

TEST(DiscoveryKernel, OfTwoIpv4AddressesTheKernelsLastIsReported) {
  KESP_SKIP_UNLESS_ROOT();
  struct Expected {
    const char* cidr;
    const char* address;
    const char* netmask;
    const char* broadcast;
  };
  // The second one has no broadcast address at all: an empty text, no crash.
  const Expected added[] = {
      {"192.0.2.1/24", "192.0.2.1", "255.255.255.0", "192.0.2.255"},
      {"198.51.100.7/16", "198.51.100.7", "255.255.0.0", ""},
  };
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addAddress("eth0", added[0].cidr, "brd +");
  ns.addAddress("eth0", added[1].cidr);
  std::vector<std::string> order = kernelIpv4Order(ns, "eth0");
  ASSERT_EQ(2u, order.size());
  const Expected* last = nullptr;
  for (const Expected& e : added) {
    if (order.back() == e.cidr) last = &e;
  }
  ASSERT_NE(nullptr, last) << order.back();

  Live live = liveInside(ns, "eth0");
  EXPECT_TRUE(live.found);
  EXPECT_EQ(last->address, live.ipv4.address);
  EXPECT_EQ(last->netmask, live.ipv4.netmask);
  EXPECT_EQ(last->broadcast, live.ipv4.broadcast);
  EXPECT_EQ("-", live.ipv4.gateway);
}

// The harness itself: the other kernel tests rely on it leaving nothing behind.

bool namespaceExists(const std::string& name) {
  return kesp_test::fileExists("/run/netns/" + name);
}

ino_t currentNamespaceInode() {
  struct stat info {};
  EXPECT_EQ(0, stat("/proc/self/ns/net", &info));
  return info.st_ino;
}

TEST(NetNamespaceHarness, RunsInsideAndRestoresAndDeletes) {
  KESP_SKIP_UNLESS_ROOT();
  ino_t home = currentNamespaceInode();
  std::string name;
  {
    NetNamespace ns;
    name = ns.name();
    EXPECT_TRUE(namespaceExists(name));
    ns.addVeth("eth0");
    EXPECT_EQ(0, ns.exec("{ ip link show eth0 && ip link show " + NetNamespace::peerOf("eth0") +
                         "; } >/dev/null"));
    EXPECT_NE(0, ns.exec("exit 3"));
    EXPECT_THROW(ns.run("false"), std::runtime_error);
    {
      NetNamespace::Inside inside(ns);
      EXPECT_NE(home, currentNamespaceInode());
    }
    EXPECT_EQ(home, currentNamespaceInode());
    // A process started inside is ended with the namespace.
    ASSERT_EQ(0, ns.exec("sleep 600 >/dev/null 2>&1 &"));
    EXPECT_TRUE(ns.waitUntil("test -n \"$(ip netns pids " + name + ")\""));
  }
  EXPECT_FALSE(namespaceExists(name));

  // Also when the test body throws while inside.
  try {
    NetNamespace ns;
    name = ns.name();
    ns.runInside([] { throw std::runtime_error("boom"); });
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(home, currentNamespaceInode());
  EXPECT_FALSE(namespaceExists(name));
}

TEST(NetNamespaceHarness, TerminationSignalRemovesTheNamespace) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace warmUp;  // installs the handlers in this process, as in any test run
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    try {
      NetNamespace ns;
      std::string name = ns.name() + "\n";
      if (write(fds[1], name.data(), name.size()) < 0) _exit(2);
      raise(SIGTERM);
    } catch (...) {
    }
    _exit(1);
  }
  close(fds[1]);
  std::string name;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') name += c;
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  ASSERT_FALSE(name.empty());
  EXPECT_FALSE(namespaceExists(name));
  EXPECT_TRUE(namespaceExists(warmUp.name())) << "the parent's namespace is not the child's";
}

TEST(NetNamespaceHarness, SweepsNamespacesOfGoneRuns) {
  KESP_SKIP_UNLESS_ROOT();
  pid_t gone = fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  ASSERT_EQ(gone, waitpid(gone, nullptr, 0));
  const std::string stale = "kesp-" + std::to_string(gone) + "-1";
  NetNamespace alive;
  ASSERT_EQ(0, kesp_test::shell("ip netns add " + stale));
  NetNamespace::sweepStale();
  bool staleLeft = namespaceExists(stale);
  if (staleLeft) kesp_test::shell("ip netns del " + stale);
  EXPECT_FALSE(staleLeft);
  EXPECT_TRUE(namespaceExists(alive.name()));
}

}  // namespace
