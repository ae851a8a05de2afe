// Rewriting a family's files for a change request: the word-list edits of the
// module list and the DHCPv6 client's interfaces, and writeNetworkFiles on
// fixture roots of each family compared with whole expected trees.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "change_root.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "test_support.h"
#include "files/word_list.h"

using namespace KESP;
using kesp_test::ChangeRoot;
using kesp_test::FileTree;

namespace {

struct ListCase {
  std::string before;
  bool wanted;
  std::string after;
};

TEST(ModuleList, AddsOrRemovesOnlyTheWordIpv6) {
  const ListCase cases[] = {
      {"\"\"", true, "\" ipv6\""},
      {"", true, "\"ipv6\""},
      {"virtio_net", true, "\"virtio_net ipv6\""},
      {"\"nf_conntrack_ipv6 loop\"", true, "\"nf_conntrack_ipv6 loop ipv6\""},
      {"'loop'", true, "'loop ipv6'"},
      {"\"ipv6 loop\"", true, "\"ipv6 loop\""},
      {"\"loop\tipv6\"", true, "\"loop\tipv6\""},
      {"\"loop\" # boot", true, "\"loop ipv6\" # boot"},
      {"\"ipv6 loop\"", false, "\"loop\""},
      {"\"nf_conntrack_ipv6 loop\"", false, "\"nf_conntrack_ipv6 loop\""},
      {"\"a ipv6 b\"", false, "\"a b\""},
      {"\" ipv6\"", false, "\"\""},
      {"\"ipv6 a ipv6\"", false, "\"a\""},
      {"ipv6", false, "\"\""},
      {"virtio_net", false, "\"virtio_net\""},
      {"", false, "\"\""},
      {"'ipv6'", false, "''"},
  };
  for (const ListCase& c : cases)
    EXPECT_EQ(detail::editModuleList(c.before, c.wanted), c.after) << c.before << " " << c.wanted;
}

TEST(InterfaceList, AddsOrRemovesTheInterfaceAsOneWord) {
  const ListCase cases[] = {
      {"", true, "eth0"},
      {"\"\"", true, "\"eth0\""},
      {"\"eth1\"", true, "\"eth1 eth0\""},
      {"eth1", true, "\"eth1 eth0\""},
      {"\"eth0 eth1\"", true, "\"eth0 eth1\""},
      {"\"eth00\"", true, "\"eth00 eth0\""},
      {"\"eth1 eth0 eth2\"", false, "\"eth1 eth2\""},
      {"eth0", false, ""},
      {"\"eth0\"", false, "\"\""},
      {"\"eth00 eth0:1\"", false, "\"eth00 eth0:1\""},
      {"", false, ""},
  };
  for (const ListCase& c : cases)
    EXPECT_EQ(detail::editInterfaceList(c.before, "eth0", c.wanted), c.after)
        << c.before << " " << c.wanted;
}

/// The tree as it should be: the one before, with the expected files over it.
FileTree overlaid(FileTree tree, const std::string& expectedDir) {
  for (const auto& file : kesp_test::readTree(expectedDir)) tree[file.first] = file.second;
  return tree;
}

void installDhcpv6Clients(const ChangeRoot& root) {
  root.fake("/etc/init.d/wide-dhcpv6-client");
  root.fake("/sbin/dhcp6c");
}

struct FilesCase {
  const char* family;
  const char* expected;  // tests/fixtures/change/<family>/expected/<expected>
  const char* iface;
  AddressMode mode;
};

TEST(WriteNetworkFiles, RewritesTheFamilysFilesAsExpected) {
  const FilesCase cases[] = {
      {"debian", "eth0-static", "eth0", STATICV4 | STATICV6},
      {"debian", "eth0-dhcp", "eth0", DHCPV4 | DHCPV6},
      {"debian", "eth1-static4", "eth1", STATICV4},
      {"redhat", "eth0-static", "eth0", STATICV4 | STATICV6},
      {"redhat", "eth0-dhcp", "eth0", DHCPV4 | DHCPV6},
      {"suse", "eth0-static", "eth0", STATICV4 | STATICV6},
      {"suse", "eth0-dhcp4", "eth0", DHCPV4},
  };
  for (const FilesCase& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " " + c.expected);
    ChangeRoot root(c.family);
    installDhcpv6Clients(root);
    const FileTree before = root.tree();
    // Texts as a tool may give them: a long IPv6 form, a mask for the prefix.
    ASSERT_TRUE(writeNetworkFiles(c.iface, c.mode, "192.0.2.10", "255.255.255.0", "192.0.2.1",
                                  "2001:DB8:0::10", "ffff:ffff:ffff:ffff::", "2001:db8::1"));
    const std::string expectedDir =
        kesp_test::fixturePath(std::string("change/") + c.family + "/expected/" + c.expected);
    EXPECT_EQ(root.tree(), overlaid(before, expectedDir));
    EXPECT_TRUE(root.calls().empty());
  }
}

TEST(WriteNetworkFiles, RefusalsWriteNothing) {
  struct RefusalCase {
    const char* family;
    bool dhcpv6Client;
    std::string iface;
    AddressMode mode;
    std::string ipv4Address;
    std::string error;
  } cases[] = {
      {"debian", true, "eth0/..", STATICV4, "192.0.2.10", "invalid interface name 'eth0/..'"},
      {"redhat", true, "eth0", STATICV4, "192.0.2.10\nBOOTPROTO=dhcp",
       "invalid IPv4 address '192.0.2.10\\x0aBOOTPROTO=dhcp'"},
      {"suse", false, "eth0", DHCPV4 | DHCPV6, "",
       "This appliance does not have a DHCPv6 client installed"},
      {"redhat", true, "eth0", DHCPV6, "",
       "Centos installations are not capable of DHCPv6 only configurations: eth0"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.error);
    ChangeRoot root(c.family);
    if (c.dhcpv6Client) installDhcpv6Clients(root);
    const FileTree before = root.tree();
    kesp_test::LogCapture log(LOG_DEBUG);
    EXPECT_FALSE(
        writeNetworkFiles(c.iface, c.mode, c.ipv4Address, "255.255.255.0", "", "", "", ""));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] " + c.error});
    EXPECT_EQ(root.tree(), before);
  }
  kesp_test::SystemRoot empty;
  kesp_test::LogCapture log(LOG_DEBUG);
  EXPECT_FALSE(writeNetworkFiles("eth0", DHCPV4, "", "", "", "", "", ""));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] Unknown OS type: 0"});
  EXPECT_TRUE(kesp_test::readTree(empty.path()).empty());
}

TEST(WriteNetworkFiles, SuseFilesAreCreatedWhenMissingAndTheListEditLogged) {
  ChangeRoot root("suse");
  unlink((root / "/etc/sysconfig/network/routes").c_str());
  unlink((root / "/etc/sysconfig/kernel").c_str());
  kesp_test::LogCapture log(LOG_INFO);
  ASSERT_TRUE(writeNetworkFiles("eth0", STATICV4 | AUTOV6, "192.0.2.10", "255.255.255.0", "default",
                                "", "", ""));
  // "default": no gateway, so no route line at all.
  EXPECT_EQ(root.root().read("/etc/sysconfig/network/routes"), "");
  EXPECT_EQ(root.root().read("/etc/sysconfig/kernel"), "MODULES_LOADED_ON_BOOT=\"ipv6\"\n");
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"[INFO] KESP has added ipv6 to MODULES_LOADED_ON_BOOT"}));
}

TEST(WriteNetworkFiles, DebianDefaultsAreNeverCreated) {
  ChangeRoot root("debian");
  root.fake("/etc/init.d/wide-dhcpv6-client");
  unlink((root / "/etc/default/wide-dhcpv6-client").c_str());
  ASSERT_TRUE(writeNetworkFiles("eth0", DHCPV4 | DHCPV6, "", "", "", "", "", ""));
  EXPECT_FALSE(kesp_test::fileExists(root / "/etc/default/wide-dhcpv6-client"));
}

TEST(WriteNetworkFiles, UnreadableOrMissingFilesFailTheRewrite) {
  struct BrokenCase {
    const char* family;
    const char* path;
    bool makeDirectory;  // else removed
  } cases[] = {
      {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth0", false},
      {"suse", "/etc/sysconfig/network/ifcfg-eth0", false},
      {"debian", "/etc/network/interfaces", false},
      // Exists but cannot be read: it must not be replaced by the edits alone.
      {"suse", "/etc/sysconfig/kernel", true},
      {"debian", "/etc/default/wide-dhcpv6-client", true},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.path);
    ChangeRoot root(c.family);
    unlink((root / c.path).c_str());
    if (c.makeDirectory) kesp_test::makeDirs(root / c.path);
    const FileTree before = root.tree();
    kesp_test::LogCapture log(LOG_WARN);
    EXPECT_FALSE(
        writeNetworkFiles("eth0", STATICV4, "192.0.2.10", "255.255.255.0", "", "", "", ""));
    std::vector<std::string> expected{"[ERROR] failed to update network interface files"};
    if (c.makeDirectory)
      expected.insert(expected.begin(), "[ERROR] Refusing " + root / c.path +
                                            ": a directory where a regular file is expected");
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(root.tree(), before);
  }
}

}  // namespace
