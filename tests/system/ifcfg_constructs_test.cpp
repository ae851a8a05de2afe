// Real-world ifcfg trees (installers, cloud images, YaST, wicked) set three
// ways with writeNetworkFiles, then judged by bash sourcing every ifcfg file
// and by the routes files read as ifroute lines: the interface holds what was
// asked, everything else reads as before, and ports are refused by name.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "change_root.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "test_support.h"

namespace {

using namespace KESP;
using Env = std::map<std::string, std::string>;

const char kUnset[] = "<unset>";

struct Way {
  const char* name;
  AddressMode mode;
  const char* v4[3];  // address, netmask, gateway
  const char* v6[3];  // address, prefix, gateway
};

const Way kWays[] = {
    {"static", STATICV4, {"192.0.2.10", "255.255.255.0", "192.0.2.1"}, {"", "", ""}},
    {"dhcp", DHCPV4, {"", "", ""}, {"", "", ""}},
    {"dhcp_static6", DHCPV4 | STATICV6, {"", "", ""}, {"2001:db8::10", "64", "2001:db8::1"}},
};

struct Family {
  const char* fixtures;
  const char* dir;
  std::regex owned;    // keys the writer may change
  std::regex further;  // keys no set leaves behind
  std::vector<Env> expected;  // by way: owned keys as bash sees them
};

const Family& redHat() {
  static const Family family{
      "redhat/constructs/",
      "/etc/sysconfig/network-scripts",
      std::regex("ONBOOT|IPV6INIT|BOOTPROTO|DHCPV6C|BROADCAST|IPV6ADDR(_SECONDARIES)?|"
                 "IPV6_DEFAULTGW|IPV6_DEFAULTDEV|(IPADDR|NETMASK|PREFIX|GATEWAY)[0-9]*"),
      std::regex("(IPADDR|NETMASK|PREFIX|GATEWAY)[0-9]+|IPV6ADDR_SECONDARIES|PREFIX"),
      {{{"BOOTPROTO", "none"}, {"IPADDR", "192.0.2.10"}, {"NETMASK", "255.255.255.0"},
        {"GATEWAY", "192.0.2.1"}, {"IPV6ADDR", kUnset}},
       {{"BOOTPROTO", "dhcp"}, {"IPADDR", kUnset}, {"GATEWAY", kUnset}, {"IPV6ADDR", kUnset}},
       {{"BOOTPROTO", "dhcp"}, {"IPADDR", kUnset}, {"IPV6INIT", "yes"},
        {"IPV6ADDR", "2001:db8::10/64"}, {"IPV6_DEFAULTGW", "2001:db8::1"}}}};
  return family;
}

const Family& suse() {
  static const Family family{
      "suse/constructs/",
      "/etc/sysconfig/network",
      std::regex("DEVICE|STARTMODE|USERCONTROL|BOOTPROTO|(IPADDR|NETMASK|PREFIXLEN|BROADCAST|"
                 "LABEL|REMOTE_IPADDR|SCOPE).*"),
      std::regex("IPADDR[^0].*|IPADDR0.+|LABEL.*|PREFIXLEN|PREFIXLEN[^0].*|NETMASK.+"),
      {{{"BOOTPROTO", "static"}, {"IPADDR", "192.0.2.10"}, {"NETMASK", "255.255.255.0"},
        {"IPADDR0", kUnset}},
       {{"BOOTPROTO", "dhcp4"}, {"IPADDR", kUnset}, {"IPADDR0", kUnset}},
       {{"BOOTPROTO", "dhcp4"}, {"IPADDR", kUnset}, {"IPADDR0", "2001:db8::10"},
        {"PREFIXLEN0", "64"}}}};
  return family;
}

struct Construct {
  const char* name;
  const Family* family;
  const char* iface;
  const char* file;     // its ifcfg file
  const char* refusal;  // what a refusal names; empty when it is accepted
  const char* shownIpv4;
  std::vector<std::string> further;  // what show lists before
  std::vector<std::string> kept;     // other interfaces' default routes
  std::vector<std::string> unreachable = {};  // defaults nobody reaches: gone with a new gateway
};

/// Every variable bash has after sourcing the file, as the network scripts see them.
Env sourced(const std::string& path) {
  kesp_test::TempDir scratch;
  const std::string out = kesp_test::shellOutput(
      "env -i bash -c 'set -a; . \"$1\"; env -0' _ " + shell_quote(path) + " 2>" +
      shell_quote(scratch / "errors"));
  EXPECT_EQ(kesp_test::readFile(scratch / "errors"), "") << path;
  Env env;
  std::string::size_type start = 0;
  while (start < out.size()) {
    std::string::size_type end = out.find('\0', start);
    if (end == std::string::npos) end = out.size();
    const std::string entry = out.substr(start, end - start);
    env[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    start = end + 1;
  }
  for (const char* shells : {"PWD", "SHLVL", "_"}) env.erase(shells);
  return env;
}

std::string valueIn(const Env& env, const std::string& key) {
  const auto found = env.find(key);
  return found == env.end() ? kUnset : found->second;
}

/// ifroute(5) lines of a routes file: destination gateway netmask device.
std::vector<std::vector<std::string>> routeLines(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  if (!kesp_test::fileExists(path)) return lines;
  std::istringstream in(kesp_test::readFile(path));
  std::string line, word;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<std::string> fields;
    while (words >> word) fields.push_back(word);
    if (!fields.empty() && fields[0][0] != '#') lines.push_back(fields);
  }
  return lines;
}

/// The second word of a route line: its gateway.
std::string gatewayOf(const std::string& line) {
  std::istringstream words(line);
  std::string destination, gateway;
  words >> destination >> gateway;
  return gateway;
}

/// The routes of both files, default ones (of any spelling) and the others apart.
void readRoutes(const kesp_test::SystemRoot& root, const Construct& c,
                std::vector<std::string>& defaults, std::vector<std::string>& others) {
  defaults.clear();
  others.clear();
  for (const std::string& name : {std::string("routes"), std::string("ifroute-") + c.iface}) {
    for (const auto& fields : routeLines(root / (std::string(c.family->dir) + "/" + name))) {
      std::string joined;
      for (const std::string& field : fields) joined += (joined.empty() ? "" : " ") + field;
      const bool isDefault =
          fields[0] == "default" || fields[0] == "0.0.0.0/0" || fields[0] == "::/0";
      (isDefault ? defaults : others).push_back(joined);
    }
  }
}

std::map<std::string, Env> sourceAll(const kesp_test::SystemRoot& root, const char* dir) {
  std::map<std::string, Env> files;
  for (const auto& entry : kesp_test::readTree(root / dir))
    if (entry.first.compare(0, 6, "ifcfg-") == 0)
      files[entry.first] = sourced(root / (std::string(dir) + "/" + entry.first));
  return files;
}

bool set(const Way& way, const std::string& iface) {
  return writeNetworkFiles(iface, way.mode, way.v4[0], way.v4[1], way.v4[2], way.v6[0],
                           way.v6[1], way.v6[2]);
}

class IfcfgConstructTest : public ::testing::TestWithParam<std::tuple<Construct, Way>> {};

TEST_P(IfcfgConstructTest, SetReadsBackAsAskedAndLeavesTheRestAlone) {
  const Construct& c = std::get<0>(GetParam());
  const Way& way = std::get<1>(GetParam());
  size_t wayIndex = 0;
  while (kWays[wayIndex].mode != way.mode) ++wayIndex;
  kesp_test::SystemRoot root;
  root.copyFixture(c.family->fixtures + std::string(c.name));
  const kesp_test::FileTree treeBefore = kesp_test::readTree(root / c.family->dir);
  const std::map<std::string, Env> before = sourceAll(root, c.family->dir);
  std::vector<std::string> defaultsBefore, othersBefore, defaultsAfter, othersAfter;
  readRoutes(root, c, defaultsBefore, othersBefore);

  // What show and the status check see before.
  std::vector<std::string> listed;
  ASSERT_TRUE(listConfiguredInterfaces(listed));
  EXPECT_NE(std::find(listed.begin(), listed.end(), c.iface), listed.end());
  std::vector<ConfiguredNetwork> shown(1);
  shown[0].name = c.iface;
  getNetworks(shown, false);
  EXPECT_TRUE(shown[0].configured);
  EXPECT_EQ(shown[0].ipv4.address, c.shownIpv4);
  EXPECT_EQ(shown[0].furtherAddresses, c.further);

  kesp_test::LogCapture log(LOG_INFO);
  if (*c.refusal) {
    EXPECT_FALSE(set(way, c.iface));
    EXPECT_TRUE(log.contains(c.refusal)) << log.text();
    EXPECT_EQ(kesp_test::readTree(root / c.family->dir), treeBefore);
    return;
  }
  ASSERT_TRUE(set(way, c.iface)) << log.text();
  if (!c.further.empty()) {
    EXPECT_TRUE(log.contains("removed the further addresses")) << log.text();
  }

  // No file appears or disappears; every other file reads as before.
  const std::map<std::string, Env> after = sourceAll(root, c.family->dir);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& file : before) {
    SCOPED_TRACE(file.first);
    ASSERT_EQ(after.count(file.first), 1u);
    const Env& now = after.at(file.first);
    if (file.first != c.file) {
      EXPECT_EQ(now, file.second);
      continue;
    }
    for (const auto& entry : file.second)
      if (!std::regex_match(entry.first, c.family->owned)) {
        EXPECT_EQ(valueIn(now, entry.first), entry.second) << entry.first;
      }
    for (const auto& entry : c.family->expected[wayIndex])
      EXPECT_EQ(valueIn(now, entry.first), entry.second) << entry.first;
    for (const auto& entry : now)
      EXPECT_FALSE(std::regex_match(entry.first, c.family->further)) << entry.first;
  }

  // Routes: the other lines stay; the interface has exactly its new default routes.
  readRoutes(root, c, defaultsAfter, othersAfter);
  EXPECT_EQ(othersAfter, othersBefore);
  auto contains = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  std::vector<std::string> own;
  for (const std::string& line : defaultsAfter) {
    if (!contains(c.kept, line) && !contains(c.unreachable, line)) own.push_back(line);
  }
  for (const std::string& line : c.kept) EXPECT_TRUE(contains(defaultsAfter, line)) << line;
  for (const std::string& line : c.unreachable) {
    const bool ipv6 = gatewayOf(line).find(':') != std::string::npos;
    const bool replaced = *(ipv6 ? way.v6[2] : way.v4[2]) != '\0';
    EXPECT_EQ(contains(defaultsAfter, line), !replaced) << line;
  }
  if (c.family->dir == suse().dir) {
    std::vector<std::string> gateways;
    for (const std::string& line : own) gateways.push_back(gatewayOf(line));
    const std::string gateway = (way.mode & STATICV4) ? way.v4[2] : way.v6[2];
    EXPECT_EQ(gateways, gateway.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{gateway});
  }

  // show and the status check read back what was set.
  shown.assign(1, ConfiguredNetwork());
  shown[0].name = c.iface;
  getNetworks(shown, false);
  EXPECT_EQ(shown[0].mode, way.mode);
  EXPECT_EQ(shown[0].ipv4.gateway, way.v4[2]);
  EXPECT_TRUE(shown[0].furtherAddresses.empty());
}

const Construct kConstructs[] = {
    // Red Hat
    {"by-device", &redHat(), "eth3", "ifcfg-by-device", "", "192.0.2.33", {}, {}},
    {"nm-numbered", &redHat(), "eth0", "ifcfg-eth0", "", "192.0.2.20",
     {"198.51.100.20/25", "2001:db8:21::20/64", "2001:db8:22::20/64"}, {}},
    {"cloud-init", &redHat(), "eth0", "ifcfg-eth0", "", "192.0.2.40", {"192.0.2.41/24"}, {}},
    {"bond", &redHat(), "bond0", "ifcfg-bond0", "", "192.0.2.50", {}, {}},
    {"bond", &redHat(), "eth2", "ifcfg-eth2", "eth2 is a port of bond0", "", {}, {}},
    {"bridge", &redHat(), "eth1", "ifcfg-eth1", "eth1 is a port of br0", "", {}, {}},
    {"bridge", &redHat(), "br0", "ifcfg-br0", "", "", {}, {}},
    {"infiniband", &redHat(), "ib0", "ifcfg-ib0", "", "192.0.2.60", {}, {}},
    // SUSE
    {"yast-labels", &suse(), "eth0", "ifcfg-eth0", "", "192.0.2.10",
     {"192.0.2.11/24"}, {"default 198.51.100.1 - eth1"}},
    {"wicked-prefixlen", &suse(), "eth0", "ifcfg-eth0", "", "192.0.2.70",
     {"192.0.2.71/24"}, {"default 198.51.100.1 - -"}},
    {"ifroute", &suse(), "eth0", "ifcfg-eth0", "", "192.0.2.80", {}, {"default 203.0.113.1 - eth1"}},
    {"whole-range", &suse(), "eth0", "ifcfg-eth0", "", "192.0.2.82", {}, {}},
    {"moved", &suse(), "eth0", "ifcfg-eth0", "", "192.0.2.86", {}, {"default 198.51.100.1 - -"},
     {"default 203.0.113.1 - -", "default 2001:db8:ffff::1 - -"}},
    {"bond", &suse(), "bond0", "ifcfg-bond0", "", "192.0.2.90", {}, {}},
    {"bond", &suse(), "eth2", "ifcfg-eth2", "eth2 is a port of bond0", "", {}, {}},
    {"bridge", &suse(), "eth1", "ifcfg-eth1", "eth1 is a port of br0", "", {}, {}},
    {"bridge", &suse(), "br0", "ifcfg-br0", "", "", {}, {}},
    {"infiniband", &suse(), "ib0", "ifcfg-ib0", "", "192.0.2.95", {}, {}},
};

INSTANTIATE_TEST_SUITE_P(
    Trees, IfcfgConstructTest,
    ::testing::Combine(::testing::ValuesIn(kConstructs), ::testing::ValuesIn(kWays)),
    [](const auto& info) {
      const Construct& c = std::get<0>(info.param);
      std::string name = std::string(c.family->dir == suse().dir ? "suse_" : "redhat_") + c.name +
                         "_" + c.iface + "_" + std::get<1>(info.param).name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
