// What netplan's merged files and networkd's .network files say of one
// interface, read from text in memory; and the YAML reader's refusals.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "families/netplan/netplan_settings.h"
#include "families/netplan/netplan_types.h"
#include "families/networkd/networkd_files.h"
#include "families/networkd/networkd_settings.h"
#include "files/names.h"
#include "test_support.h"

namespace {

using namespace KESP;
using namespace KESP::detail;

struct ReadCase {
  std::vector<std::string> texts;  // netplan documents in order, or one .network file
  const char* iface;
  bool found;
  AddressMode mode;
  const char* summary;  // "ipv4/netmask gw | ipv6/prefix gw | further…"
};

std::string summary(const Ipv4Settings& v4, const Ipv6Settings& v6, const std::vector<std::string>& more) {
  std::string text = v4.address + "/" + v4.netmask + " " + v4.gateway + " | " + v6.address + "/" +
                     v6.prefix + " " + v6.gateway + " |";
  for (const std::string& address : more) text += " " + address;
  return text;
}

TEST(YamlFamiliesTest, NetplanReadsTheDefinitionNetworkdWouldApply) {
  const char* installer = "network: {ethernets: {eth0: {addresses: [192.0.2.10/24], routes: "
                          "[{to: default, via: 192.0.2.1}]}}}";
  const ReadCase cases[] = {
      {{installer}, "eth0", true, STATICV4, "192.0.2.10/255.255.255.0 192.0.2.1 | /  |"},
      // Sequences of a later file are appended, scalars replaced.
      {{installer, "network: {ethernets: {eth0: {addresses: ['2001:db8::5/64'], dhcp4: yes}}}"},
       "eth0", true, STATICV4 | STATICV6 | DHCPV4,
       "192.0.2.10/255.255.255.0 192.0.2.1 | 2001:db8::5/64  |"},
      {{"network: {ethernets: {nic: {match: {macaddress: '52:54:00:12:34:56'}, set-name: eth1, "
        "dhcp6: true, accept-ra: true, gateway4: 198.51.100.1, addresses: [{'198.51.100.2/24': "
        "{lifetime: 0}}, 198.51.100.3/24]}}}"},
       "eth1", true, DHCPV6 | STATICV4, "198.51.100.2/255.255.255.0 198.51.100.1 | /  | 198.51.100.3/24"},
      // A glob id sorts before the interface's own and wins, as in networkd.
      {{"network: {ethernets: {eth0: {dhcp4: true}, all-eth: {match: {name: 'eth*'}, accept-ra: on}}}"},
       "eth0", true, AUTOV6, "/  | /  |"},
      {{installer}, "eth1", false, 0, "/  | /  |"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.texts.back());
    std::vector<NetplanDefinition> definitions;
    for (const std::string& text : c.texts) {
      NetplanFile file{"/etc/netplan/x.yaml", YamlNode()};
      std::string error;
      ASSERT_TRUE(parseYaml(text, file.document, error)) << error;
      mergeNetplanDocument(file, definitions);
    }
    const NetplanDefinition* definition = netplanWinner(definitions, c.iface);
    ASSERT_EQ(definition != nullptr, c.found);
    AddressMode mode = 0;
    Ipv4Settings v4;
    Ipv6Settings v6;
    std::vector<std::string> more;
    if (definition) readNetplanDefinition(definition->node, mode, v4, v6, more);
    EXPECT_EQ(mode, c.mode);
    EXPECT_EQ(summary(v4, v6, more), c.summary);
  }
}

TEST(YamlFamiliesTest, NetworkdReadsItsKeysAndMatchesNamesAsNetworkdDoes) {
  const ReadCase cases[] = {
      {{"[Match]\nName=eth0\n[Network]\nDHCP=ipv4\nAddress=2001:db8::5/64 \n[Route]\n"
        "Gateway=2001:db8::1\n[Route]\nDestination=203.0.113.0/24\nGateway=192.0.2.254\n"},
       "eth0", true, DHCPV4 | STATICV6, "/  | 2001:db8::5/64 2001:db8::1 |"},
      {{"[Match]\nName=en* eth*\n[Network]\nDHCP=yes\n[Address]\nAddress=192.0.2.7\n"
        "[Address]\nAddress=192.0.2.8/24\n"},
       "eth3", true, DHCPV4 | DHCPV6 | STATICV4, "192.0.2.7/255.255.255.255  | /  | 192.0.2.8/24"},
      {{"[Match]\nName=!eth*\n[Network]\nIPv6AcceptRA=yes\n"}, "ens3", true, AUTOV6, "/  | /  |"},
      {{"[Match]\nName=!eth*\n"}, "eth0", false, 0, "/  | /  |"},
      {{"[Match]\nMACAddress=52:54:00:12:34:56\n"}, "eth0", false, 0, "/  | /  |"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.texts.front());
    KeyValueFile file('=');
    file.lines.clear();
    for (std::string::size_type at = 0, end; at < c.texts.front().size(); at = end + 1) {
      end = c.texts.front().find('\n', at);
      file.lines.push_back(c.texts.front().substr(at, end - at));
    }
    EXPECT_EQ(networkdMatch(file, c.iface) != NetworkdMatch::None, c.found);
    AddressMode mode = 0;
    Ipv4Settings v4;
    Ipv6Settings v6;
    std::vector<std::string> more;
    if (c.found) readNetworkdInterface(file, mode, v4, v6, more);
    EXPECT_EQ(mode, c.mode);
    EXPECT_EQ(summary(v4, v6, more), c.summary);
  }
}

// Which file networkd applies to an interface, across its directories: a
// name in an earlier directory hides it in later ones, an empty file or a link
// to /dev/null masks it, names sort across directories, anything else that is
// no regular file leaves the answer unknown; whether networkd reads any file
// at all (its detection) follows the same rules.
TEST(YamlFamiliesTest, NetworkdFindsTheFileItWouldApply) {
  struct Entry {
    const char* path;
    const char* content;  // "->target" for a link, "|" for a FIFO
  };
  struct FindCase {
    std::vector<Entry> entries;
    NetworkdMatch match;
    const char* path;  // the file found
    bool any = true;   // networkd reads some file
  } cases[] = {
      {{{"/lib/systemd/network/50-a.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/60-b.network", "[Match]\nName=eth*\n"}},
       NetworkdMatch::Exact, "/lib/systemd/network/50-a.network"},
      {{{"/lib/systemd/network/50-a.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/50-a.network", ""},
        {"/run/systemd/network/70-c.network", "[Match]\nName=e*\n"}},
       NetworkdMatch::Pattern, "/run/systemd/network/70-c.network"},
      {{{"/lib/systemd/network/50-a.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/50-a.network", "->/dev/null"}},
       NetworkdMatch::None, "", false},
      // A link's absolute target lies inside the root.
      {{{"/srv/kesp/eth0.conf", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/50-a.network", "->/srv/kesp/eth0.conf"}},
       NetworkdMatch::Exact, "/etc/systemd/network/50-a.network"},
      {{{"/usr/lib/systemd/network/50-a.network", "[Match]\nName=eth0\n"},
        {"/run/systemd/network/50-a.network", "[Match]\nName=eth1\n"}},
       NetworkdMatch::None, ""},
      {{{"/etc/systemd/network/10-a.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/90-z.network", "|"}},
       NetworkdMatch::Unreadable, ""},
      // Globs, lists and negations come in networkd's order among the names.
      {{{"/etc/systemd/network/20-b.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/10-a.network", "[Match]\nName=e*\n"}},
       NetworkdMatch::Pattern, "/etc/systemd/network/10-a.network"},
      {{{"/etc/systemd/network/20-b.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/10-a.network", "[Match]\nName=eth1 eth0\n"}},
       NetworkdMatch::Pattern, "/etc/systemd/network/10-a.network"},
      {{{"/etc/systemd/network/05-b.network", "[Match]\nName=eth2\n"},
        {"/etc/systemd/network/30-c.network", "[Match]\nName=eth0\n"},
        {"/etc/systemd/network/10-a.network", "[Match]\nName=!eth1\n"}},
       NetworkdMatch::Pattern, "/etc/systemd/network/10-a.network"},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.entries.back().path);
    kesp_test::SystemRoot root;
    for (const Entry& entry : c.entries) {
      const std::string content = entry.content;
      if (content.rfind("->", 0) == 0) {
        root.write(entry.path, "");
        ASSERT_EQ(::unlink((root / entry.path).c_str()), 0);
        ASSERT_EQ(::symlink(content.substr(2).c_str(), (root / entry.path).c_str()), 0);
      } else if (content == "|") {
        root.write(entry.path, "");
        ASSERT_EQ(::unlink((root / entry.path).c_str()), 0);
        ASSERT_EQ(::mkfifo((root / entry.path).c_str(), 0600), 0);
      } else {
        root.write(entry.path, content);
      }
    }
    KeyValueFile file('=');
    std::string path;
    EXPECT_EQ(findNetworkdFile("eth0", file, path), c.match);
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(anyNetworkdFile(), c.any);
    // The same through a set that has already read on for a name no file has.
    NetworkdFileSet files;
    KeyValueFile unused('=');
    std::string unusedPath;
    files.find("x9", unused, unusedPath);
    KeyValueFile again('=');
    std::string againPath;
    EXPECT_EQ(files.find("eth0", again, againPath), c.match);
    EXPECT_EQ(againPath, c.path);
  }
}

TEST(YamlFamiliesTest, AliasesDeepNestingAndRepeatedKeysAreRefused) {
  std::string deep(100, '[');
  // Past the size from which a mapping's keys are indexed.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "k" + std::to_string(i) + ": 1\n";
  const struct {
    std::string text;
    const char* error;  // its end, after "line:column: "
  } cases[] = {
      {"a: &x [1]\nb: *x\n", "aliases are not supported"},
      {deep, "document nested too deeply"},
      {"network:\n  ethernets:\n    eth0: {}\n    eth0: {}\n", "4:5: duplicate key \"eth0\""},
      {wide + "k7: 2\n", "41:1: duplicate key \"k7\""},
      {"a: 1\n\"\\e\": 1\n\"\\e\": 2\n", "3:1: duplicate key \"\\x1b\""},
  };
  for (const auto& c : cases) {
    YamlNode root;
    std::string error;
    EXPECT_FALSE(parseYaml(c.text, root, error)) << c.text;
    EXPECT_TRUE(endsWith(error, c.error)) << error;
  }
  YamlNode root;
  std::string error;
  EXPECT_FALSE(parseYaml("a: [", root, error));
  EXPECT_FALSE(error.empty());
}

// What netplan itself refuses ("expected mapping", "expected sequence",
// "expected scalar") where the library reads or edits.
TEST(YamlFamiliesTest, NetplanTypesAreCheckedWhereTheLibraryLooks) {
  const std::string eth0 = "network:\n  version: 2\n  ethernets:\n    eth0:\n";
  const struct {
    std::string text;
    const char* problem;
  } cases[] = {
      {eth0 + "      addresses: [192.0.2.10/24, {192.0.2.11/24: {label: x}}]\n"
              "      nameservers: {addresses: [192.0.2.53], search: [example.org]}\n"
              "      routes: [{to: default, via: 192.0.2.1, metric: 100}]\n"
              "      match: {name: eth*}\n      dhcp4: true\n",
       ""},
      {"network: [1]\n", "line 1: network must be a mapping"},
      {"network:\n  ethernets: [eth0]\n", "line 2: network.ethernets must be a mapping"},
      {eth0, "line 4: network.ethernets.eth0 must be a mapping"},
      {eth0 + "      addresses: 192.0.2.10/24\n", "line 5: network.ethernets.eth0.addresses must be a sequence"},
      {eth0 + "      addresses: [[192.0.2.10/24]]\n",
       "line 5: network.ethernets.eth0.addresses[0] must be an address"},
      {eth0 + "      dhcp4: {a: b}\n", "line 5: network.ethernets.eth0.dhcp4 must be a scalar"},
      {eth0 + "      nameservers: [192.0.2.53]\n",
       "line 5: network.ethernets.eth0.nameservers must be a mapping"},
      {eth0 + "      nameservers:\n        addresses: 192.0.2.53\n",
       "line 6: network.ethernets.eth0.nameservers.addresses must be a sequence"},
      {eth0 + "      routes:\n      - default\n", "line 6: network.ethernets.eth0.routes[0] must be a mapping"},
      {eth0 + "      routes:\n      - to: [default]\n",
       "line 6: network.ethernets.eth0.routes[0].to must be a scalar"},
      {eth0 + "      match: eth0\n", "line 5: network.ethernets.eth0.match must be a mapping"},
  };
  for (const auto& c : cases) {
    YamlNode root;
    std::string error;
    ASSERT_TRUE(parseYaml(c.text, root, error)) << c.text << error;
    EXPECT_EQ(netplanTypeProblem(root), c.problem) << c.text;
  }
}

}  // namespace
