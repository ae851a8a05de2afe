// Debian interfaces files as installers, cloud-init and cloud images write
// them, each changed three ways on an image root and read back by ifupdown
// with the image's /etc/network in place: the interface comes up as asked,
// and every other interface and every option the tool does not own reads as
// before.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <tuple>

#include "ifupdown_peer.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "test_support.h"

namespace {

using namespace KESP;

struct RealFile {
  const char* name;  // under tests/fixtures/debian/real
  std::vector<std::string> keptOptions;  // of eth0's inet stanza, as ifquery prints them
  const char* refusal;  // what the refusal names, when the file cannot be expressed
  bool foldsAliases;    // of eth0's inet stanza, each named in a warning
};

const RealFile kRealFiles[] = {
    {"installer-tabs", {"dns-nameservers: 192.0.2.53", "dns-search: example.org"}, nullptr, false},
    {"installer-dhcp-slaac", {}, nullptr, false},
    {"cloud-init-aliases", {"mtu: 1500"}, nullptr, true},
    {"cloud-init-dhcp", {"up: ip route add 203.0.113.0/24 via 192.0.2.254 || true"}, nullptr, true},
    {"cloud-init-alias-routes", {},
     "'iface eth0 inet static' at line 10 of /etc/network/interfaces", false},
    {"hand-mixed-indent",
     {"up: ip route add 198.51.100.0/24 via 192.0.2.254",
      "down: ip route del 198.51.100.0/24 via 192.0.2.254"},
     nullptr, false},
    {"not-started", {}, nullptr, false},
    {"cloud-image-directory", {}, nullptr, false},
};

struct Way {
  const char* name;
  AddressMode mode;
  std::vector<std::string> ifupSays;  // each once
};

// What ifup says for DHCP depends on the client this machine has (it runs
// the first it finds), not on the file: any one of them, once.
const char kDhcpStep[] = "<the DHCP client's step>";

const Way kWays[] = {
    {"StaticWithGateway",
     STATICV4,
     {"eth0=eth0 (inet)", "ip addr add 192.0.2.10/255.255.255.0",
      "ip route add default via 192.0.2.1"}},
    {"Dhcp", DHCPV4, {"eth0=eth0 (inet)", kDhcpStep}},
    {"DhcpAndStaticIpv6",
     DHCPV4 | STATICV6,
     {"eth0=eth0 (inet)", kDhcpStep, "eth0=eth0 (inet6)",
      "ip -6 addr add 2001:db8::10/64", "default via 2001:db8::1"}},
};

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

int dhcpSteps(const std::string& up) {
  static const char* const kClients[] = {"dhclient ", "dhcpcd ", "udhcpc ", "pump "};
  int count = occurrences(up, "No DHCP client software found");
  std::istringstream lines(up);
  for (std::string line; std::getline(lines, line);)
    for (const char* client : kClients) count += line.compare(0, strlen(client), client) == 0;
  return count;
}

bool listed(const std::string& list, const std::string& name) {
  return occurrences("\n" + list, "\n" + name + "\n") > 0;
}

class DebianRealFilesTest : public ::testing::TestWithParam<std::tuple<RealFile, Way>> {};

TEST_P(DebianRealFilesTest, IfupdownReadsTheChangeAndAllElseAsBefore) {
  const kesp_peer::Ifupdown& peer = kesp_peer::Ifupdown::get();
  if (!peer.available()) GTEST_SKIP() << peer.reason();
  if (!kesp_test::isRoot()) GTEST_SKIP() << "needs root for its mount namespace";
  const RealFile& file = std::get<0>(GetParam());
  const Way& way = std::get<1>(GetParam());
  kesp_test::SystemRoot root;
  root.copyFixture(std::string("debian/real/") + file.name);
  std::vector<std::string> names;
  ASSERT_TRUE(listConfiguredInterfaces(names));
  const auto before = kesp_peer::imageReport(peer, root.path(), names, "eth0");
  ASSERT_EQ(before.count("up"), 1u) << before.at("preamble");

  kesp_test::LogCapture log(LOG_WARN);
  const bool changed = way.mode & STATICV4
                           ? writeNetworkFiles("eth0", way.mode, "192.0.2.10", "255.255.255.0",
                                               "192.0.2.1", "", "", "")
                           : writeNetworkFiles("eth0", way.mode, "", "", "", "2001:db8::10", "64",
                                               "2001:db8::1");
  const auto after = kesp_peer::imageReport(peer, root.path(), names, "eth0");
  if (file.refusal) {
    EXPECT_FALSE(changed);
    EXPECT_TRUE(log.contains(file.refusal)) << log.text();
    EXPECT_EQ(after, before);
    return;
  }
  ASSERT_TRUE(changed) << log.text();
  EXPECT_EQ(log.contains("removed the alias stanza 'iface eth0 inet "), file.foldsAliases)
      << log.text();

  for (const std::string& name : names) {
    if (name == "eth0") continue;
    EXPECT_EQ(after.at("query " + name), before.at("query " + name)) << name;
  }
  // Started at boot as before, or by a new auto line where nothing started it.
  const bool hotplug = listed(before.at("hotplug"), "eth0");
  EXPECT_EQ(listed(after.at("hotplug"), "eth0"), hotplug) << after.at("hotplug");
  EXPECT_EQ(listed(after.at("list"), "eth0"), listed(before.at("list"), "eth0") || !hotplug)
      << after.at("list");

  const std::string& query = after.at("query eth0");
  EXPECT_NE(query.find("exit 0"), std::string::npos) << query;
  for (const std::string& option : file.keptOptions)
    EXPECT_EQ(occurrences(query, option + "\n"), 1) << option << "\n" << query;
  // One stanza per family: each command once, and no address of the old file.
  const std::string& up = after.at("up");
  for (const std::string& says : way.ifupSays)
    EXPECT_EQ(says == kDhcpStep ? dhcpSteps(up) : occurrences(up, says), 1) << says << up;
  EXPECT_EQ(occurrences(up, "(inet6)"), (way.mode & STATICV6) ? 1 : 0) << up;
  EXPECT_EQ(occurrences(up, "addr add "), (way.mode & STATICV4 ? 1 : 0) + (way.mode & STATICV6 ? 1 : 0))
      << up;

  // The tool's own reading agrees.
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ASSERT_TRUE(getNetwork("eth0", false, mode, ipv4, ipv6));
  EXPECT_EQ(mode, way.mode);
  EXPECT_EQ(ipv4.address, way.mode & STATICV4 ? "192.0.2.10" : "");
  EXPECT_EQ(ipv6.address, way.mode & STATICV6 ? "2001:db8::10" : "");
}

INSTANTIATE_TEST_SUITE_P(Files, DebianRealFilesTest,
                         ::testing::Combine(::testing::ValuesIn(kRealFiles),
                                            ::testing::ValuesIn(kWays)),
                         [](const auto& info) {
                           std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                              std::get<1>(info.param).name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
