// The change transaction end to end in a network namespace, on each family's
// fixture root, with fake ifup and ifdown that really add and remove eth0's
// addresses; waiting for an address; the default gateways of real routing
// tables.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "change_root.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "netns.h"
#include "test_support.h"

using namespace KESP;
using kesp_test::ChangeRoot;
using kesp_test::FileTree;
using kesp_test::NetNamespace;

namespace {

const char kHostNameScript[] = "/opt/tolvex/share/kesp/kesp_set_hostname";
// What the fixture roots configure for eth0 before any change.
const char kOldAddress[] = "10.1.1.5/16";

FileTree overlaid(FileTree tree, const std::string& expectedDir) {
  for (const auto& file : kesp_test::readTree(expectedDir)) tree[file.first] = file.second;
  return tree;
}

/// eth0 in a namespace of its own, holding the fixture's old address, and a
/// family's root whose ifup runs the test's plan for its n-th call. Like
/// ifupdown, ifup and ifdown keep a mark of an interface that is up: ifup of
/// one that is marked answers "already configured" and does nothing, ifdown of
/// one that is not does nothing either.
class ChangeScene {
 public:
  explicit ChangeScene(const std::string& family) : root(family) {
    ns.addVeth("eth0");
    ns.addAddress("eth0", kOldAddress);
    const std::string counter = plan_ / "count";
    const std::string mark = "'" + plan_.path() + "/up.'\"$1\"";
    kesp_test::writeFile(plan_ / "up.eth0", "");
    root.fake("/sbin/ifdown", "[ -f " + mark + " ] || { echo \"$1 not configured\"; exit 0; }\n" +
                                  "rm " + mark + "\n" + ip() + " addr flush dev \"$1\" scope global");
    root.fake("/sbin/ifup", "[ -f " + mark + " ] && { echo \"$1 already configured\"; exit 0; }\n" +
                                "touch " + mark + "\nn=$(( $(cat '" + counter +
                                "' 2>/dev/null || echo 0) + 1 ))\n"
                                "echo $n > '" +
                                counter +
                                "'\n"
                                "[ -f '" +
                                plan_.path() + "/ifup.'$n ] && . '" + plan_.path() +
                                "/ifup.'$n\nexit 0");
    // A DHCP client that never gets an answer and keeps asking.
    kesp_test::writeFile(plan_ / "dhclient",
                         "#!/bin/sh\necho $$ >> '" + plan_.path() +
                             "/dhclient.pids'\nwhile :; do sleep 1; done\n");
    chmod((plan_ / "dhclient").c_str(), 0755);
    root.fake("/etc/init.d/wide-dhcpv6-client");
    root.fake("/etc/init.d/boot.loadmodules");
    root.fake("/sbin/dhcp6c");
    root.fake(kHostNameScript);
  }

  ~ChangeScene() {
    for (pid_t pid : clients()) kill(pid, SIGKILL);
  }

  /// The n-th ifup (from 1) adds these addresses ("a/len" each) to its interface.
  void onIfup(int n, const std::vector<std::string>& addresses) const {
    std::string script;
    for (const std::string& address : addresses)
      script += ip() + " addr add " + address + " dev \"$1\"\n";
    kesp_test::writeFile(plan_ / ("ifup." + std::to_string(n)), script);
  }

  /// The n-th ifup leaves a DHCP client running on its own and, when
  /// waits, then waits on a second one, as ifup waits on its client until
  /// that gives up.
  void onIfupDhcpNeverAnswers(int n, bool waits) const {
    const std::string client = "'" + plan_.path() + "/dhclient'";
    kesp_test::writeFile(plan_ / ("ifup." + std::to_string(n)),
                         "setsid " + client + " -nw \"$1\" </dev/null >/dev/null 2>&1 &\n" +
                             (waits ? client + " -1 \"$1\"\n" : ""));
  }

  /// The fake DHCP clients still running.
  std::vector<pid_t> clients() const {
    std::vector<pid_t> running;
    if (!kesp_test::fileExists(plan_ / "dhclient.pids")) return running;
    std::istringstream pids(kesp_test::readFile(plan_ / "dhclient.pids"));
    std::string line;
    while (std::getline(pids, line)) {
      const pid_t pid = static_cast<pid_t>(std::stol(line));
      // A client ended but not yet reaped is a zombie: it runs no more.
      std::ifstream stat("/proc/" + line + "/stat");
      const std::string state((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      if (kill(pid, 0) == 0 && state.find(") Z") == std::string::npos) running.push_back(pid);
    }
    return running;
  }

  bool change(AddressMode mode, const std::string& ipv4Gateway = "192.0.2.1") const {
    bool result = false;
    ns.runInside([&] {
      result = setNetworkAddresses("eth0", mode, "192.0.2.10", "255.255.255.0", ipv4Gateway,
                                   "2001:DB8:0::10", "ffff:ffff:ffff:ffff::", "2001:db8::1");
    });
    return result;
  }

  /// eth0's global addresses, "a/len" each, in the kernel's order.
  std::string addresses() const {
    return ns.execOutput("ip -o addr show dev eth0 scope global | awk '{print $4}'");
  }

  NetNamespace ns;
  ChangeRoot root;

 private:
  static std::string ip() { return kesp_test::ipProgram(); }
  kesp_test::TempDir plan_;
};

struct SuccessCase {
  const char* family;
  AddressMode mode;
  const char* expected;  // tests/fixtures/change/<family>/expected/<expected>
  std::vector<std::string> calls;
};

TEST(TransactionKernel, NewStaticSettingsGoLive) {
  KESP_SKIP_UNLESS_ROOT();
  const SuccessCase cases[] = {
      {"debian",
       STATICV4 | STATICV6,
       "eth0-static",
       {"/sbin/ifdown eth0", "/etc/init.d/wide-dhcpv6-client stop", "/sbin/ifup eth0",
        "/etc/init.d/wide-dhcpv6-client start"}},
      {"redhat", STATICV4 | STATICV6, "eth0-static", {"/sbin/ifdown eth0", "/sbin/ifup eth0"}},
      {"suse",
       STATICV4 | STATICV6,
       "eth0-static",
       {"/sbin/ifdown eth0", "/etc/init.d/boot.loadmodules restart", "/sbin/ifup eth0"}},
  };
  for (const SuccessCase& c : cases) {
    SCOPED_TRACE(c.family);
    ChangeScene scene(c.family);
    scene.onIfup(1, {"192.0.2.10/24", "2001:db8::10/64"});
    const FileTree before = scene.root.tree();
    kesp_test::LogCapture log(LOG_INFO);
    EXPECT_TRUE(scene.change(c.mode));
    EXPECT_EQ(scene.root.tree(),
              overlaid(before, kesp_test::fixturePath(std::string("change/") + c.family +
                                                      "/expected/" + c.expected)));
    EXPECT_EQ(scene.addresses(), "192.0.2.10/24\n2001:db8::10/64\n");
    EXPECT_EQ(scene.root.calls(), c.calls);
    std::vector<std::string> lines = log.lines();
    // SUSE logs its module-list edit in between.
    lines.erase(std::remove(lines.begin(), lines.end(),
                            "[INFO] KESP has added ipv6 to MODULES_LOADED_ON_BOOT"),
                lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[INFO] New network parameters requested: interface=eth0 "
                         "ipv4addr=192.0.2.10 broadcast=192.0.2.255 netmask=255.255.255.0 "
                         "gateway=192.0.2.1",
                         "[INFO] New network parameters requested: interface=eth0 "
                         "ipv6addr=2001:db8::10 prefix=64 gateway=2001:db8::1",
                         "[INFO] Network parameters successfully changed to requested values: "
                         "eth0 192.0.2.10 255.255.255.0 192.0.2.1",
                         "[INFO] Network parameters successfully changed to requested values: "
                         "eth0 2001:db8::10 64"}));
  }
}

TEST(TransactionKernel, DhcpTakesThePendingNameServersAndRunsTheHostNameScript) {
  KESP_SKIP_UNLESS_ROOT();
  const SuccessCase cases[] = {
      {"debian", DHCPV4 | DHCPV6, "eth0-dhcp", {}},
      {"redhat", DHCPV4 | DHCPV6, "eth0-dhcp", {}},
      {"suse", DHCPV4, "eth0-dhcp4", {}},
  };
  for (const SuccessCase& c : cases) {
    SCOPED_TRACE(c.family);
    ChangeScene scene(c.family);
    scene.onIfup(1, {"192.0.2.77/24"});  // as a DHCP server would hand out
    scene.root.root().write("/etc/resolv.conf.pending", "nameserver 192.0.2.53\n");
    FileTree expected = overlaid(
        scene.root.tree(),
        kesp_test::fixturePath(std::string("change/") + c.family + "/expected/" + c.expected));
    expected["etc/resolv.conf"] = expected["etc/resolv.conf.pending"];
    expected.erase("etc/resolv.conf.pending");
    kesp_test::LogCapture log(LOG_WARN);
    EXPECT_TRUE(scene.change(c.mode, ""));
    EXPECT_EQ(scene.root.tree(), expected);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"[WARN] DHCP will override supplied DNS settings"});
    // Once per DHCP family, and always without a host name.
    const std::vector<std::string> calls = scene.root.calls();
    const size_t dhcpFamilies = (c.mode & DHCPV6) ? 2 : 1;
    EXPECT_EQ(static_cast<size_t>(
                  std::count(calls.begin(), calls.end(), std::string(kHostNameScript) + " ")),
              dhcpFamilies);
  }
}

TEST(TransactionKernel, NoAddressRestoresEveryFileAndTheOldAddress) {
  KESP_SKIP_UNLESS_ROOT();
  // The full-length waits of the suite: the new settings never come up.
  struct NoAddressCase {
    const char* family;
    AddressMode mode;
    bool ifupWaitsOnItsClient;
    std::vector<std::string> calls;
  } cases[] = {
      // The failed settings go down before the old ones come up: without
      // that ifdown, ifup would answer "already configured".
      {"suse",
       STATICV4 | STATICV6,
       false,
       {"/sbin/ifdown eth0", "/etc/init.d/boot.loadmodules restart", "/sbin/ifup eth0",
        "/sbin/ifdown eth0", "/sbin/ifup eth0"}},
      {"debian",
       DHCPV4,
       true,
       {"/sbin/ifdown eth0", "/etc/init.d/wide-dhcpv6-client stop", "/sbin/ifup eth0",
        "/etc/init.d/wide-dhcpv6-client start", "/sbin/ifdown eth0",
        "/etc/init.d/wide-dhcpv6-client stop", "/sbin/ifup eth0",
        "/etc/init.d/wide-dhcpv6-client start"}},
  };
  for (const NoAddressCase& c : cases) {
    SCOPED_TRACE(c.family);
    ChangeScene scene(c.family);
    // A client the failed settings started, left running after ifup.
    scene.onIfupDhcpNeverAnswers(1, c.ifupWaitsOnItsClient);
    scene.onIfup(2, {kOldAddress});
    const FileTree before = scene.root.tree();
    kesp_test::LogCapture log(LOG_ERROR);
    const time_t start = time(nullptr);
    EXPECT_FALSE(scene.change(c.mode, ""));
    // The one bound of a change, whatever its client would wait by itself.
    EXPECT_LE(time(nullptr) - start, ADDRESS_WAIT_SECONDS + 10);
    EXPECT_EQ(scene.root.tree(), before);
    EXPECT_EQ(scene.addresses(), std::string(kOldAddress) + "\n");
    EXPECT_EQ(scene.clients(), std::vector<pid_t>{});
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 3u) << log.text();
    EXPECT_EQ(lines[0], "[ERROR] Network FAILED to restart using new parameters eth0");
    EXPECT_EQ(lines[1], "[ERROR] Attempting to restore network values for eth0 to previous settings");
    EXPECT_EQ(lines[2], "[ERROR] Successfully restored previous network settings");
    // The restore restarts with mode 0: no module loader.
    EXPECT_EQ(scene.root.calls(), c.calls);
  }
}

TEST(TransactionKernel, AChangeKilledWhileWaitingIsPutBackByRecovery) {
  KESP_SKIP_UNLESS_ROOT();
  // Live, the recovery restarts eth0; at boot it puts the files back only,
  // and the system's network service, which starts later, brings eth0 up.
  for (const bool atBoot : {false, true}) {
    SCOPED_TRACE(atBoot ? "at boot" : "live");
    ChangeScene scene("redhat");
    // Live, the killed change leaves its DHCP client behind (a boot has none).
    if (!atBoot) scene.onIfupDhcpNeverAnswers(1, false);
    scene.onIfup(2, {kOldAddress});  // the restart of the recovery
    const FileTree before = scene.root.tree();
    const pid_t child = fork();
    if (child == 0) {
      scene.change(STATICV4);  // the new settings never bring an address
      _exit(0);
    }
    // Killed once it waits for the address: after its ifup.
    for (int i = 0; i < 200 && scene.root.calls().size() < 2; ++i) usleep(50000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::vector<std::string> killedAt = {"/sbin/ifdown eth0", "/sbin/ifup eth0"};
    ASSERT_EQ(scene.root.calls(), killedAt);
    EXPECT_NE(scene.root.tree(), before);
    bool recovered = false;
    std::vector<std::string> done;
    scene.ns.runInside([&] {
      recovered = recoverInterruptedChange(&done, !atBoot) && (!atBoot || prepareNetworkForBoot());
    });
    EXPECT_TRUE(recovered);
    EXPECT_EQ(scene.root.tree(), before);
    std::vector<std::string> expected = {"restored /etc/sysconfig/network-scripts/ifcfg-eth0"};
    if (atBoot) {
      EXPECT_EQ(scene.root.calls(), killedAt);
    } else {
      EXPECT_EQ(scene.addresses(), std::string(kOldAddress) + "\n");
      EXPECT_EQ(scene.clients(), std::vector<pid_t>{});
      ASSERT_EQ(done.size(), 3u);
      EXPECT_EQ(done[1].rfind("stopped dhclient (pid ", 0), 0u) << done[1];
      done.erase(done.begin() + 1);
      expected.push_back("restarted eth0");
    }
    EXPECT_EQ(done, expected);
  }
}

TEST(TransactionKernel, FilesNotUpdatedAreRestoredBeforeEth0ComesUp) {
  KESP_SKIP_UNLESS_ROOT();
  ChangeScene scene("suse");
  scene.onIfup(1, {kOldAddress});
  unlink((scene.root / "/etc/sysconfig/kernel").c_str());
  ASSERT_EQ(symlink("missing/kernel", (scene.root / "/etc/sysconfig/kernel").c_str()), 0);
  const FileTree before = scene.root.tree();
  kesp_test::LogCapture log(LOG_ERROR);
  EXPECT_FALSE(scene.change(STATICV4));
  EXPECT_EQ(scene.root.tree(), before);
  EXPECT_EQ(scene.addresses(), std::string(kOldAddress) + "\n");
  EXPECT_EQ(log.lines().back(), "[ERROR] Successfully restored previous network settings");
  EXPECT_EQ(scene.root.calls(), (std::vector<std::string>{"/sbin/ifdown eth0", "/sbin/ifup eth0"}));
}

TEST(TransactionKernel, RefusalsLeaveFilesAndInterfaceAlone) {
  KESP_SKIP_UNLESS_ROOT();
  struct RefusalCase {
    const char* family;
    bool dhcpv6Client;
    AddressMode mode;
    std::string ipv6Gateway;
    std::string error;
  } cases[] = {
      {"debian", false, DHCPV4 | DHCPV6, "",
       "This appliance does not have a DHCPv6 client installed"},
      {"redhat", true, DHCPV6, "",
       "Centos installations are not capable of DHCPv6 only configurations: eth0"},
      {"suse", true, STATICV6, "2001:db8::1'\nBOOTPROTO='dhcp",
       "invalid IPv6 gateway '2001:db8::1'\\x0aBOOTPROTO='dhcp'"},
      {"none", true, DHCPV4, "", "Unknown OS type: 0"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.family);
    NetNamespace ns;
    ns.addVeth("eth0");
    ns.addAddress("eth0", kOldAddress);
    kesp_test::SystemRoot noFamily;
    std::unique_ptr<ChangeRoot> root;
    if (std::string(c.family) != "none") {
      root.reset(new ChangeRoot(c.family));
      root->fake("/sbin/ifdown", kesp_test::ipProgram() + " addr flush dev \"$1\"");
      root->fake("/sbin/ifup");
      if (c.dhcpv6Client) root->fake("/sbin/dhcp6c");
    }
    const FileTree before = kesp_test::readTree(KESP::systemRoot());
    bool result = true;
    kesp_test::LogCapture log(LOG_ERROR);
    ns.runInside([&] {
      result = setNetworkAddresses("eth0", c.mode, "", "", "", "2001:db8::10", "64", c.ipv6Gateway);
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] " + c.error});
    EXPECT_EQ(kesp_test::readTree(KESP::systemRoot()), before);
    EXPECT_EQ(ns.execOutput("ip -o addr show dev eth0 scope global | awk '{print $4}'"),
              std::string(kOldAddress) + "\n");
    if (root) {
      EXPECT_TRUE(root->calls().empty());
    }
  }
}

struct WaitCase {
  const char* what;
  std::vector<std::string> addresses;  // added before the wait
  AddressMode mode;
  bool found;
};

TEST(WaitForAddressKernel, AnAddressOfARequestedFamilyIsEnough) {
  KESP_SKIP_UNLESS_ROOT();
  const WaitCase cases[] = {
      {"IPv4 for IPv4", {"192.0.2.10/24"}, STATICV4, true},
      {"IPv4 for both families", {"192.0.2.10/24"}, DHCPV4 | STATICV6, true},
      {"IPv6 for both families", {"2001:db8::10/64"}, STATICV4 | AUTOV6, true},
      {"IPv6 for IPv4", {"2001:db8::10/64"}, DHCPV4, false},
      {"IPv4 for IPv6", {"192.0.2.10/24"}, DHCPV6, false},
      {"link-local only for IPv6", {}, STATICV6, false},
      {"no family asked for", {"192.0.2.10/24"}, 0, false},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.what);
    NetNamespace ns;
    ns.addVeth("eth0");
    for (const std::string& address : c.addresses) ns.addAddress("eth0", address);
    bool found = !c.found;
    // Timeout 0 keeps one look and its 2-second bound.
    ns.runInside([&] { found = waitForAddress("eth0", c.mode, 0); });
    EXPECT_EQ(found, c.found);
  }
}

TEST(WaitForAddressKernel, AnAddressThatArrivesLaterIsSeen) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.run("(sleep 0.3; ip addr add 192.0.2.10/24 dev eth0) >/dev/null 2>&1 &");
  bool found = false;
  ns.runInside([&] { found = waitForAddress("eth0", STATICV4, 30); });
  EXPECT_TRUE(found);
  EXPECT_TRUE(ns.waitUntil("ip -4 addr show dev eth0 | grep -q 192.0.2.10", 0));
}

TEST(DefaultGatewaysKernel, OwnGatewayWinsAnotherServesAsFallback) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addVeth("eth1");
  ns.addVeth("eth2");
  ns.addVeth("enp0s31f6");
  ns.addAddress("eth0", "10.1.0.5/16");
  ns.addAddress("eth1", "10.2.0.5/16");
  ns.addAddress("eth0", "2001:db8:1::5/64");
  ns.addAddress("eth1", "2001:db8:2::5/64");
  ns.addAddress("enp0s31f6", "2001:db8:9::5/64");
  // eth1's routes come first in the tables, eth0's later, behind a device route.
  ns.run(
      "ip route add default via 10.2.0.1 dev eth1 metric 100 && "
      "ip route add default dev eth2 metric 150 && "
      "ip route add default via 10.1.0.1 dev eth0 metric 200 && "
      "ip -6 route add default via 2001:db8:2::1 dev eth1 metric 100 && "
      "ip -6 route add default dev eth2 metric 150 && "
      "ip -6 route add default via 2001:db8:1::1 dev eth0 metric 200 && "
      "ip -6 route add default via 2001:db8:9::1 dev enp0s31f6 metric 300");
  struct GatewayCase {
    const char* iface;
    std::string ipv4;
    std::string ipv6;
  } cases[] = {
      {"eth0", "10.1.0.1", "2001:db8:1::1"},
      {"eth1", "10.2.0.1", "2001:db8:2::1"},
      {"eth2", "10.2.0.1", "2001:db8:2::1"},  // only a device route: the fallback
      {"enp0s31f6", "10.2.0.1", "2001:db8:9::1"},
  };
  for (const GatewayCase& c : cases) {
    SCOPED_TRACE(c.iface);
    std::string ipv4 = "stale", ipv6 = "stale";
    bool result = false;
    ns.runInside([&] { result = getDefaultGateways(c.iface, ipv4, ipv6); });
    EXPECT_TRUE(result);
    EXPECT_EQ(ipv4, c.ipv4);
    EXPECT_EQ(ipv6, c.ipv6);
  }
}

TEST(DefaultGatewaysKernel, DeviceRoutesAloneGiveNoGateway) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addAddress("eth0", "10.1.0.5/16");
  ns.addAddress("eth0", "2001:db8:1::5/64");
  ns.run("ip route add default dev eth0 && ip -6 route add default dev eth0");
  std::string ipv4 = "stale", ipv6 = "stale";
  bool result = true;
  ns.runInside([&] { result = getDefaultGateways("eth0", ipv4, ipv6); });
  EXPECT_FALSE(result);
  EXPECT_EQ(ipv4, "");
  EXPECT_EQ(ipv6, "");
}

}  // namespace
