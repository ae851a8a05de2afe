// Interfaces defined in files that the Debian interfaces file sources: read
// from there, changed there in place, a new one added to the main file, and
// the transaction's backups naming the file that changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "change/change_request.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "test_support.h"

namespace {

using namespace KESP;
using Files = std::map<std::string, std::string>;  // system path -> content

const char kMain[] = "/etc/network/interfaces";
const char kEth0Stanza[] =
    "auto eth0\niface eth0 inet static\n    address 192.0.2.10\n    netmask 255.255.255.0\n";

struct TreeCase {
  const char* name;
  Files files;
  std::string eth0File;  // where eth0 is defined; "" when it is not seen
  std::vector<std::string> configured;
};

const TreeCase kTreeCases[] = {
    {"SourceGlob",
     {{kMain, "auto lo\niface lo inet loopback\nsource /etc/network/interfaces.d/*\n"
              "iface eth1 inet dhcp\n"},
      {"/etc/network/interfaces.d/eth0", kEth0Stanza}},
     "/etc/network/interfaces.d/eth0",
     {"lo", "eth0", "eth1"}},
    {"SourceRelative",
     {{kMain, "source interfaces.d/*.cfg\niface eth1 inet dhcp\n"},
      {"/etc/network/interfaces.d/a.cfg", kEth0Stanza},
      {"/etc/network/interfaces.d/a.cfg.bak", "iface eth9 inet dhcp\n"}},
     "/etc/network/interfaces.d/a.cfg",
     {"eth0", "eth1"}},
    // Only names of letters, digits, "_" and "-" count in a directory.
    {"SourceDirectory",
     {{kMain, "iface eth1 inet dhcp\nsource-directory interfaces.d\n"},
      {"/etc/network/interfaces.d/eth0", kEth0Stanza},
      {"/etc/network/interfaces.d/eth8.dpkg-old", "iface eth8 inet dhcp\n"},
      {"/etc/network/interfaces.d/.hidden", "iface eth9 inet dhcp\n"}},
     "/etc/network/interfaces.d/eth0",
     {"eth1", "eth0"}},
    {"Nested",
     {{kMain, "source-directory /etc/network/interfaces.d\n"},
      {"/etc/network/interfaces.d/ports", "source /etc/network/ports.d/*\niface eth1 inet dhcp\n"},
      {"/etc/network/ports.d/eth0", kEth0Stanza}},
     "/etc/network/ports.d/eth0",
     {"eth0", "eth1"}},
    // A file sourcing itself, and the main file sourced again, are read once.
    {"Loops",
     {{kMain, "source /etc/network/interfaces.d/*\niface eth1 inet dhcp\n"},
      {"/etc/network/interfaces.d/eth0", std::string("source /etc/network/interfaces.d/eth0\n"
                                                     "source interfaces\n") +
                                             kEth0Stanza}},
     "/etc/network/interfaces.d/eth0",
     {"eth0", "eth1"}},
    {"NoMatch",
     {{kMain, "source /etc/network/interfaces.d/*\n" + std::string(kEth0Stanza)}},
     kMain,
     {"eth0"}},
};

class DebianTreeTest : public ::testing::TestWithParam<TreeCase> {
 protected:
  void SetUp() override {
    for (const auto& file : GetParam().files) root_.write(file.first, file.second);
  }

  /// Every file of the case as it is now.
  Files now() const {
    Files files;
    for (const auto& file : GetParam().files) files[file.first] = root_.read(file.first);
    return files;
  }

  kesp_test::SystemRoot root_;
  kesp_test::LogCapture quiet_{LOG_NONE};
};

TEST_P(DebianTreeTest, ReadsAndChangesEveryInterfaceWhereItIsDefined) {
  const TreeCase& c = GetParam();
  std::vector<std::string> names;
  ASSERT_TRUE(listConfiguredInterfaces(names));
  EXPECT_EQ(names, c.configured);
  EXPECT_EQ(interfaceConfigPath(FLAVOUR_DEBIAN, "eth0", "test"), c.eth0File);
  EXPECT_EQ(interfaceConfigPath(FLAVOUR_DEBIAN, "eth7", "test"), kMain);

  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ASSERT_TRUE(getNetwork("eth0", false, mode, ipv4, ipv6));
  EXPECT_EQ(mode, STATICV4);
  EXPECT_EQ(ipv4.address, "192.0.2.10");
  std::vector<ConfiguredNetwork> batch(2);
  batch[0].name = "eth0";
  batch[1].name = "eth1";
  getNetworks(batch, false);
  EXPECT_TRUE(batch[0].configured);
  EXPECT_EQ(batch[0].ipv4.address, "192.0.2.10");
  EXPECT_EQ(batch[1].configured, c.configured.size() > 1);

  // The transaction backs up the file that changes, the main one for a new interface.
  const std::vector<std::string> backups = detail::changeFilePaths(FLAVOUR_DEBIAN, "eth0", "test");
  EXPECT_NE(std::find(backups.begin(), backups.end(), c.eth0File), backups.end());

  // A change edits the defining file in place and leaves every other file alone.
  Files expected = now();
  const std::string& defining = expected[c.eth0File];
  // Rewritten lines keep their indentation, and an added one takes the
  // stanza's; the derived broadcast address goes right after the iface line.
  const std::string before =
      "iface eth0 inet static\n    address 192.0.2.10\n    netmask 255.255.255.0\n";
  const std::string::size_type at = defining.find(before);
  ASSERT_NE(at, std::string::npos);
  std::string changed = defining;
  changed.replace(at, before.size(),
                  "iface eth0 inet static\n    broadcast 198.51.100.255\n"
                  "    address 198.51.100.7\n    netmask 255.255.255.0\n");
  expected[c.eth0File] = changed;
  ASSERT_TRUE(writeNetworkFiles("eth0", STATICV4, "198.51.100.7", "255.255.255.0", "", "", "", ""));
  EXPECT_EQ(now(), expected);

  // A new interface goes to the end of the main file.
  ASSERT_TRUE(writeNetworkFiles("eth7", DHCPV4, "", "", "", "", "", ""));
  expected[kMain] += "auto eth7\niface eth7 inet dhcp\n";
  EXPECT_EQ(now(), expected);

  // Removing it from the tree takes its stanza and auto line from its own file.
  ASSERT_TRUE(move(MOVE_REMOVE, "eth0", ""));
  names.clear();
  listConfiguredInterfaces(names);
  EXPECT_EQ(std::count(names.begin(), names.end(), "eth0"), 0);
  EXPECT_EQ(now()[c.eth0File].find("eth0 "), std::string::npos) << now()[c.eth0File];
}

INSTANTIATE_TEST_SUITE_P(Layouts, DebianTreeTest, ::testing::ValuesIn(kTreeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A swap keeps each configuration in the file of the interface that takes it.
TEST(DebianTreeMoveTest, SwapEditsEachInterfacesOwnFile) {
  kesp_test::SystemRoot root;
  kesp_test::LogCapture quiet(LOG_NONE);
  root.write(kMain, "source /etc/network/interfaces.d/*\nauto eth1\niface eth1 inet dhcp\n");
  root.write("/etc/network/interfaces.d/eth0", kEth0Stanza);
  ASSERT_TRUE(move(MOVE_SWAP, "eth0", "eth1"));
  EXPECT_EQ(root.read("/etc/network/interfaces.d/eth0"), "auto eth0\niface eth0 inet dhcp\n");
  EXPECT_EQ(root.read(kMain),
            "source /etc/network/interfaces.d/*\nauto eth1\niface eth1 inet static\n"
            "address 192.0.2.10\nnetmask 255.255.255.0\n");
}

}  // namespace
