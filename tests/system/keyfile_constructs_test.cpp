// Profiles as NetworkManager, cloud-init, the installer and nmcli write them,
// set three ways with writeNetworkFiles and judged by libnm's own reader: the
// profile verifies, holds what was asked, and keeps everything else.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>

#include "change_root.h"
#include "families/networkmanager/profile_dns.h"
#include "keyfile_peer.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "netns.h"
#include "test_support.h"

namespace {

using namespace KESP;

const std::string kEtc = "/etc/NetworkManager/system-connections/";

struct Way {
  const char* name;
  AddressMode mode;
  const char* v4[3];
  const char* v6[3];
  const char* ipv4;  // libnm's reading; the IPv6 one for dhcp_static6
  const char* ipv6;
};

const Way kWays[] = {
    {"static", STATICV4, {"192.0.2.10", "255.255.255.0", "192.0.2.1"}, {"", "", ""},
     "manual 192.0.2.10/24 192.0.2.1", nullptr},
    {"dhcp", DHCPV4, {"", "", ""}, {"", "", ""}, "auto - -", nullptr},
    {"dhcp_static6", DHCPV4 | STATICV6, {"", "", ""}, {"2001:db8::10", "64", "2001:db8::1"},
     "auto - -", "manual 2001:db8::10/64 2001:db8::1"},
};

struct Construct {
  const char* name;
  const char* mac;     // the live link's, for a profile matched by it
  const char* source;  // the profile before, relative to the root
  const char* target;  // where the change writes it
  const char* off6;    // [ipv6] method without an IPv6 mode
  const char* shownIpv4;
  std::vector<std::string> further;
};

const Construct kConstructs[] = {
    {"nm-default", "", "eth0.nmconnection", "eth0.nmconnection", "disabled", "192.0.2.10", {}},
    {"cloud-init", "02:00:5e:10:00:24", "cloud-init-eth0.nmconnection",
     "cloud-init-eth0.nmconnection", "disabled", "192.0.2.40", {}},
    {"anaconda", "", "eth0.nmconnection", "eth0.nmconnection", "disabled", "192.0.2.50", {}},
    {"multiple", "", "eth0.nmconnection", "eth0.nmconnection", "disabled", "192.0.2.60",
     {"198.51.100.60/25", "203.0.113.60/26", "2001:db8:1::60/64"}},
    {"dns-lists", "", "eth0.nmconnection", "eth0.nmconnection", "disabled", "", {}},
    {"two-profiles", "", "eth0.nmconnection", "eth0.nmconnection", "disabled", "192.0.2.70", {}},
    {"usr-lib", "", "/usr/lib/NetworkManager/system-connections/eth0.nmconnection",
     "eth0.nmconnection", "ignore", "", {}},
    {"run", "", "/run/NetworkManager/system-connections/eth0.nmconnection", "eth0.nmconnection",
     "ignore", "", {}},
};

std::string inRoot(const std::string& path) { return path[0] == '/' ? path : kEtc + path; }

class KeyfileConstructTest : public ::testing::TestWithParam<std::tuple<Construct, Way>> {};

TEST_P(KeyfileConstructTest, SetVerifiesReadsBackAndKeepsTheRest) {
  const Construct& c = std::get<0>(GetParam());
  const Way& way = std::get<1>(GetParam());
  const kesp_peer::Libnm& libnm = kesp_peer::Libnm::get();
  if (!libnm.available()) GTEST_SKIP() << libnm.reason();
  if (*c.mac) KESP_SKIP_UNLESS_ROOT();
  kesp_test::SystemRoot root;
  root.copyFixture(std::string("networkmanager/constructs/") + c.name);
  kesp_test::TempDir saved;
  const std::string before = saved / "before";
  kesp_test::writeFile(before, root.read(inRoot(c.source)));
  kesp_test::FileTree tree = kesp_test::readTree(root.path());

  // The profile matched by MAC needs a link with that MAC, in a namespace.
  std::unique_ptr<kesp_test::NetNamespace> ns;
  std::unique_ptr<kesp_test::NetNamespace::Inside> inside;
  if (*c.mac) {
    ns.reset(new kesp_test::NetNamespace);
    ns->addVeth("eth0");
    ns->run(std::string("ip link set eth0 address ") + c.mac);
    inside.reset(new kesp_test::NetNamespace::Inside(*ns));
  }
  EXPECT_EQ(getOsFlavour(), FLAVOUR_NETWORKMANAGER);
  std::vector<std::string> listed;
  ASSERT_TRUE(listConfiguredInterfaces(listed));
  EXPECT_NE(std::find(listed.begin(), listed.end(), "eth0"), listed.end());
  std::vector<ConfiguredNetwork> shown(1);
  shown[0].name = "eth0";
  getNetworks(shown, false);
  EXPECT_TRUE(shown[0].configured);
  EXPECT_EQ(shown[0].ipv4.address, c.shownIpv4);
  EXPECT_EQ(shown[0].furtherAddresses, c.further);

  kesp_test::LogCapture log(LOG_INFO);
  ASSERT_TRUE(writeNetworkFiles("eth0", way.mode, way.v4[0], way.v4[1], way.v4[2], way.v6[0],
                                way.v6[1], way.v6[2]))
      << log.text();
  // The main address the mode replaces is no further one to warn of.
  EXPECT_EQ(log.contains("further"), !c.further.empty()) << log.text();
  shown.assign(1, ConfiguredNetwork());
  shown[0].name = "eth0";
  getNetworks(shown, false);
  EXPECT_EQ(shown[0].mode, way.mode);
  EXPECT_EQ(shown[0].ipv4.gateway, way.v4[2]);
  EXPECT_EQ(shown[0].ipv6.address, way.v6[0]);
  EXPECT_TRUE(shown[0].furtherAddresses.empty());
  inside.reset();

  // Only the target changed (a read-only profile is copied, never edited).
  kesp_test::FileTree now = kesp_test::readTree(root.path());
  const std::string target = inRoot(c.target).substr(1);
  ASSERT_EQ(now.count(target), 1u);
  now.erase(target);
  tree.erase(target);
  EXPECT_EQ(now, tree);
  struct stat info;
  ASSERT_EQ(stat((root / inRoot(c.target)).c_str(), &info), 0);
  if (std::string(c.source) != c.target) {
    EXPECT_EQ(info.st_mode & 07777, 0600u);
  }

  std::string owned = "ipv4.method,ipv4.addresses,ipv4.address-data,ipv4.gateway,"
                      "ipv6.method,ipv6.addresses,ipv6.address-data,ipv6.gateway";
  if (!(way.mode & IPV6_MODES)) owned += ",ipv6.dns,ipv6.dns-data,ipv6.dns-search";
  const std::string report = libnm.judge(before, root / inRoot(c.target), owned);
  const std::string ipv6 = way.ipv6 ? way.ipv6 : std::string(c.off6) + " - -";
  EXPECT_EQ(report, "verify ok\niface " + std::string(*c.mac ? "None" : "eth0") + "\nipv4 " +
                        way.ipv4 + "\nipv6 " + ipv6 + "\nchanged \n");
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, KeyfileConstructTest,
    ::testing::Combine(::testing::ValuesIn(kConstructs), ::testing::ValuesIn(kWays)),
    [](const auto& info) {
      std::string name = std::string(std::get<0>(info.param).name) + "_" +
                         std::get<1>(info.param).name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// Beside ifcfg files kept from an upgrade: an interface they configure stays
// theirs, a new one gets a profile of its own that the daemon accepts.
TEST(KeyfileNewProfile, OwnerKeepsItsFilesNewInterfaceGetsAFreshProfile) {
  const kesp_peer::Libnm& libnm = kesp_peer::Libnm::get();
  if (!libnm.available()) GTEST_SKIP() << libnm.reason();
  kesp_test::SystemRoot root;
  root.copyFixture("networkmanager/constructs/ifcfg-beside");
  ASSERT_EQ(getOsFlavour(), FLAVOUR_NETWORKMANAGER);
  std::vector<std::string> listed;
  ASSERT_TRUE(listConfiguredInterfaces(listed));
  EXPECT_EQ(listed, (std::vector<std::string>{"eth0", "eth1"}));

  ASSERT_TRUE(writeNetworkFiles("eth1", STATICV4, "198.51.100.81", "255.255.255.0", "", "", "", ""));
  EXPECT_NE(root.read("/etc/sysconfig/network-scripts/ifcfg-eth1").find("IPADDR=198.51.100.81"),
            std::string::npos);
  EXPECT_FALSE(kesp_test::fileExists(root / (kEtc + "eth1.nmconnection")));

  std::vector<std::string> uuids;
  for (const char* iface : {"eth2", "eth3"}) {
    ASSERT_TRUE(writeNetworkFiles(iface, STATICV4, "192.0.2.20", "255.255.255.0", "192.0.2.1", "",
                                  "", ""));
    const std::string path = root / (kEtc + iface + ".nmconnection");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const std::string report = libnm.judge(path, path, "");
    EXPECT_EQ(report, "verify ok\niface " + std::string(iface) +
                          "\nipv4 manual 192.0.2.20/24 192.0.2.1\nipv6 disabled - -\nchanged \n");
    std::smatch uuid;
    const std::string text = kesp_test::readFile(path);
    ASSERT_TRUE(std::regex_search(text, uuid, std::regex("uuid=([0-9a-f-]{36})\n")));
    uuids.push_back(uuid[1]);
  }
  EXPECT_NE(uuids[0], uuids[1]);
}

}  // namespace

namespace {

// Name servers go to the profile of the interface that carries the default
// route (here the one with a gateway), in the groups the daemon accepts.
TEST(KeyfileNameServers, SetInTheRoutedProfileAndAcceptedByTheDaemon) {
  const kesp_peer::Libnm& libnm = kesp_peer::Libnm::get();
  if (!libnm.available()) GTEST_SKIP() << libnm.reason();
  KESP_SKIP_UNLESS_ROOT();
  // No default route of the host's may decide.
  kesp_test::NetNamespace ns;
  kesp_test::NetNamespace::Inside inside(ns);
  const struct {
    const char* fixture;
    std::vector<std::string> servers;
    std::vector<std::string> kept;
  } cases[] = {
      {"nm-default", {"192.0.2.60", "2001:db8::60"}, {"192.0.2.60", "2001:db8::60"}},
      {"usr-lib", {"2001:db8::60", "198.51.100.60"}, {"198.51.100.60"}},
      {"dns-lists", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    kesp_test::SystemRoot root;
    root.copyFixture(std::string("networkmanager/constructs/") + c.fixture);
    ASSERT_EQ(detail::nameServerInterface(), "eth0");
    ASSERT_TRUE(detail::setProfileNameServers("eth0", c.servers, "setDnsServers"));
    std::vector<std::string> servers;
    ASSERT_TRUE(detail::getProfileNameServers("eth0", servers));
    EXPECT_EQ(servers, c.kept);
    const std::string path = root / (kEtc + "eth0.nmconnection");
    EXPECT_EQ(libnm.judge(path, path, "").substr(0, 10), "verify ok\n");
  }
}

}  // namespace
