// Telling the distribution family from the directories under the system root,
// the quoting rule of ifcfg values, and where an interface's file lives.

#include <gtest/gtest.h>
#include <unistd.h>

#include "families/networkmanager/profile_store.h"
#include "interface_files_cases.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "files/names.h"
#include "test_support.h"

namespace {

using namespace KESP;

enum class Entry { Directory, File, LinkToDirectory, DanglingLink };

struct PathEntry {
  const char* path;
  Entry kind;
};

struct FlavourCase {
  const char* name;
  std::vector<PathEntry> entries;
  OsFlavour expected;
};

void create(const kesp_test::SystemRoot& root, const PathEntry& entry) {
  const std::string path = root / entry.path;
  switch (entry.kind) {
    case Entry::Directory:
      kesp_test::makeDirs(path);
      break;
    case Entry::File:
      root.write(entry.path, "");
      break;
    case Entry::LinkToDirectory:
    case Entry::DanglingLink: {
      // As in an image: the absolute target is taken inside the root.
      const char* const target = "/srv/target";
      if (entry.kind == Entry::LinkToDirectory) kesp_test::makeDirs(root / target);
      kesp_test::makeDirs(path.substr(0, path.rfind('/')));
      ASSERT_EQ(symlink(target, path.c_str()), 0) << path;
      break;
    }
  }
}

const FlavourCase kFlavourCases[] = {
    {"Nothing", {}, FLAVOUR_NONE},
    {"Debian", {{"/etc/network", Entry::Directory}}, FLAVOUR_DEBIAN},
    {"DebianWinsOverRedHat",
     {{"/etc/network", Entry::Directory}, {"/etc/sysconfig/network-scripts", Entry::Directory}},
     FLAVOUR_DEBIAN},
    {"RedHatWithNetworkAsFile",
     {{"/etc/sysconfig/network", Entry::File},
      {"/etc/sysconfig/network-scripts", Entry::Directory}},
     FLAVOUR_REDHAT},
    {"RedHatWinsOverSuse",
     {{"/etc/sysconfig/network", Entry::Directory},
      {"/etc/sysconfig/network-scripts", Entry::Directory}},
     FLAVOUR_REDHAT},
    {"Suse", {{"/etc/sysconfig/network", Entry::Directory}}, FLAVOUR_SUSE},
    {"FilesOnly",
     {{"/etc/network", Entry::File}, {"/etc/sysconfig/network", Entry::File}},
     FLAVOUR_NONE},
    {"DebianAsFileFallsThroughToSuse",
     {{"/etc/network", Entry::File}, {"/etc/sysconfig/network", Entry::Directory}},
     FLAVOUR_SUSE},
    {"LinkToDirectoryCounts", {{"/etc/network", Entry::LinkToDirectory}}, FLAVOUR_DEBIAN},
    {"NetworkManagerProfilesBesideIfcfg",
     {{"/etc/NetworkManager/system-connections/eth0.nmconnection", Entry::File},
      {"/etc/sysconfig/network-scripts", Entry::Directory}},
     FLAVOUR_NETWORKMANAGER},
    {"NetworkManagerReadOnlyProfileBesideDebian",
     {{"/etc/NetworkManager/system-connections", Entry::Directory},
      {"/usr/lib/NetworkManager/system-connections/eth0.nmconnection", Entry::File},
      {"/etc/network", Entry::Directory}},
     FLAVOUR_NETWORKMANAGER},
    {"NetworkManagerWithoutProfilesLeavesRedHat",
     {{"/etc/NetworkManager/system-connections/eth0.nmconnection~", Entry::File},
      {"/run/NetworkManager/system-connections/eth0", Entry::File},
      {"/etc/sysconfig/network-scripts", Entry::Directory}},
     FLAVOUR_REDHAT},
    {"NetworkManagerAlone",
     {{"/etc/NetworkManager/system-connections", Entry::Directory}},
     FLAVOUR_NETWORKMANAGER},
    {"NetworkManagerProfilesWithoutItsDirectory",
     {{"/usr/lib/NetworkManager/system-connections/eth0.nmconnection", Entry::File},
      {"/etc/sysconfig/network", Entry::Directory}},
     FLAVOUR_SUSE},
    {"DanglingLinkDoesNot",
     {{"/etc/network", Entry::DanglingLink}, {"/etc/sysconfig/network", Entry::Directory}},
     FLAVOUR_SUSE},
};

class FlavourTest : public ::testing::TestWithParam<FlavourCase> {};

TEST_P(FlavourTest, FirstDirectoryDecides) {
  kesp_test::SystemRoot root;
  for (const PathEntry& entry : GetParam().entries) create(root, entry);
  EXPECT_EQ(getOsFlavour(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FlavourTest, ::testing::ValuesIn(kFlavourCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlavourTest, SeesAChangeBetweenTwoCalls) {
  kesp_test::SystemRoot root;
  kesp_test::makeDirs(root / "/etc/sysconfig/network");
  EXPECT_EQ(getOsFlavour(), FLAVOUR_SUSE);
  kesp_test::makeDirs(root / "/etc/network");
  EXPECT_EQ(getOsFlavour(), FLAVOUR_DEBIAN);
}

// A command holds the family for its life; only one that changes nothing
// also keeps the listings it took: a command that writes a profile and reads
// the directory again must see it.
TEST(FlavourTest, OnlyACommandThatChangesNothingKeepsItsListings) {
  const std::string directory = "/etc/NetworkManager/system-connections/";
  const std::string profile = "[connection]\ntype=ethernet\ninterface-name=eth0\n";
  for (bool changesNothing : {false, true}) {
    SCOPED_TRACE(changesNothing);
    kesp_test::SystemRoot root;
    root.write(directory + "eth0.nmconnection", profile, 0600);
    {
      const OsFlavourHold hold(changesNothing);
      ASSERT_EQ(getOsFlavour(), FLAVOUR_NETWORKMANAGER);
      root.write(directory + "eth1.nmconnection", profile, 0600);
      EXPECT_EQ(detail::loadProfiles().size(), changesNothing ? 1u : 2u);
    }
    EXPECT_EQ(detail::loadProfiles().size(), 2u);
  }
}

struct UnquoteCase {
  const char* stored;
  const char* expected;
};

const UnquoteCase kUnquoteCases[] = {
    {"'dhcp'", "dhcp"}, {"\"yes\"", "yes"}, {"dhcp", "dhcp"},   {"'a' # note", "a"},
    {"'a'b'", "a'b"},   {"'abc", "'abc"},   {"\"'x'\"", "'x'"}, {"''", ""},
    {"'", "'"},         {"", ""},           {"\"a\" 'b'", "a"}, {"x'y'", "x'y'"},
};

class UnquoteTest : public ::testing::TestWithParam<UnquoteCase> {};

TEST_P(UnquoteTest, RemovesOneOuterPair) {
  KeyValueFile file('=');
  file.lines = kesp_test::linesOf(std::string("# KEY='commented'\nKEY=") + GetParam().stored +
                                  "\nKEY='second'\n");
  std::string value = "untouched";
  EXPECT_TRUE(getUnquotedValue(file, "KEY", value));
  EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, UnquoteTest, ::testing::ValuesIn(kUnquoteCases));

TEST(UnquoteTest, AbsentKeyLeavesValue) {
  KeyValueFile file('=');
  file.lines = kesp_test::linesOf("OTHER='x'\n");
  std::string value = "untouched";
  EXPECT_FALSE(getUnquotedValue(file, "KEY", value));
  EXPECT_EQ(value, "untouched");
}

struct PathCase {
  OsFlavour flavour;
  const char* iface;
  const char* expected;
};

const PathCase kPathCases[] = {
    {FLAVOUR_DEBIAN, "eth0", "/etc/network/interfaces"},
    {FLAVOUR_REDHAT, "eth0", "/etc/sysconfig/network-scripts/ifcfg-eth0"},
    {FLAVOUR_REDHAT, "eth0:1", "/etc/sysconfig/network-scripts/ifcfg-eth0:1"},
    {FLAVOUR_SUSE, "eth0.100", "/etc/sysconfig/network/ifcfg-eth0.100"},
    {FLAVOUR_NONE, "eth0", ""},
    {FLAVOUR_REDHAT, "../../../passwd", ""},
    {FLAVOUR_SUSE, "eth0/x", ""},
    {FLAVOUR_REDHAT, "..", ""},
    {FLAVOUR_REDHAT, "", ""},
    {FLAVOUR_DEBIAN, "eth0 eth1", ""},
};

class ConfigPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ConfigPathTest, BuildsPathsOnlyFromValidNames) {
  kesp_test::LogCapture log(LOG_ERROR);
  EXPECT_EQ(interfaceConfigPath(GetParam().flavour, GetParam().iface, "test"), GetParam().expected);
  const bool validName = detail::isValidInterfaceName(GetParam().iface);
  EXPECT_EQ(log.contains("invalid interface name '" + detail::printable(GetParam().iface) + "'"),
            !validName);
}

INSTANTIATE_TEST_SUITE_P(Names, ConfigPathTest, ::testing::ValuesIn(kPathCases));

}  // namespace
