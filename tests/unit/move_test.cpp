// move on each family's fixture root, compared with whole expected trees under
// tests/fixtures/move/<family>/<case>/, and the cases where it must touch
// nothing: bad names, unknown operations, unreadable or unwritable files.

#include <sstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "test_support.h"

namespace {

using namespace KESP;
namespace fs = std::filesystem;

/// Every file below dir: relative path -> content, and its mtime in ns when asked.
std::map<std::string, std::string> treeOf(const std::string& dir, bool withTimes = false) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::string state = kesp_test::readFile(entry.path());
    if (withTimes) {
      struct stat info;
      if (stat(entry.path().c_str(), &info) == 0)
        state += "@" + std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
    }
    tree[fs::relative(entry.path(), dir)] = state;
  }
  return tree;
}

std::string fixtureRoot(const std::string& family, const std::string& variant) {
  return "move/" + family + "/" + variant;
}

/// The family's interface file path of iface, for tests that replace it.
std::string configPath(const std::string& family, const std::string& iface) {
  if (family == "debian") return DEBIAN_INTERFACES_FILE;
  return (family == "redhat" ? REDHAT_SCRIPTS_DIR : SUSE_NETWORK_DIR) + "/ifcfg-" + iface;
}

/// Log statements in text; a message may itself hold a line end.
int logEntries(const std::string& text) {
  int entries = 0;
  for (const char* level : {" [DEBUG] ", " [INFO] ", " [WARN] ", " [ERROR] "}) {
    for (auto at = text.find(level); at != std::string::npos; at = text.find(level, at + 1))
      ++entries;
  }
  return entries;
}

const char* const kFamilies[] = {"debian", "redhat", "suse"};

struct Reading {
  bool found = false;
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

Reading readInterface(const std::string& iface) {
  kesp_test::LogCapture quiet(LOG_NONE);  // an unconfigured side is expected
  Reading r;
  r.found = getNetwork(iface, false, r.mode, r.ipv4, r.ipv6);
  return r;
}

/// The exchanged side carries mode and addresses; SUSE's gateways stay in the
/// shared routes file, so only the other families carry them along.
void expectSameConfiguration(const Reading& got, const Reading& want, bool withGateways,
                             const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(got.mode, want.mode);
  EXPECT_EQ(got.ipv4.address, want.ipv4.address);
  EXPECT_EQ(got.ipv4.netmask, want.ipv4.netmask);
  EXPECT_EQ(got.ipv4.broadcast, want.ipv4.broadcast);
  EXPECT_EQ(got.ipv6.address, want.ipv6.address);
  EXPECT_EQ(got.ipv6.prefix, want.ipv6.prefix);
  if (withGateways) {
    EXPECT_EQ(got.ipv4.gateway, want.ipv4.gateway);
    EXPECT_EQ(got.ipv6.gateway, want.ipv6.gateway);
  }
}

struct MoveCase {
  const char* family;
  int op;
  const char* first;
  const char* second;
  const char* expectedTree;  // "input" when nothing may change
  bool result;
  const char* logText;       // "" when nothing may be logged
};

const MoveCase kMoveCases[] = {
    {"debian", MOVE_ADD, "eth5", "", "add-new", true, ""},
    // An existing stanza is kept, not replaced by the default configuration.
    {"debian", MOVE_ADD, "eth1", "", "input", false, "Cant add: eth1"},
    {"debian", MOVE_REMOVE, "eth0", "", "remove", true, ""},
    {"debian", MOVE_REMOVE, "eth5", "", "input", false, "Cant remove: eth5"},
    {"debian", MOVE_SWAP, "eth0", "eth1", "swap", true, ""},
    {"debian", MOVE_SWAP, "eth0", "eth5", "swap-unconfigured", true, "Cant read interface: eth5"},
    {"redhat", MOVE_ADD, "eth5", "", "add-new", true, ""},
    {"redhat", MOVE_ADD, "eth1", "", "input", false, "Cant add: eth1"},
    {"redhat", MOVE_REMOVE, "eth0", "", "remove", true, ""},
    {"redhat", MOVE_REMOVE, "eth5", "", "input", false, "Cant remove: eth5"},
    {"redhat", MOVE_SWAP, "eth0", "eth1", "swap", true, ""},
    {"redhat", MOVE_SWAP, "eth1", "eth0", "swap", true, ""},
    {"redhat", MOVE_SWAP, "eth0", "eth5", "swap-unconfigured", true, "Cant read interface: eth5"},
    {"suse", MOVE_ADD, "eth5", "", "add-new", true, ""},
    {"suse", MOVE_ADD, "eth1", "", "input", false, "Cant add: eth1"},
    {"suse", MOVE_REMOVE, "eth0", "", "remove", true, ""},
    {"suse", MOVE_REMOVE, "eth5", "", "input", false, "Cant remove: eth5"},
    {"suse", MOVE_SWAP, "eth0", "eth1", "swap", true, ""},
    {"suse", MOVE_SWAP, "eth1", "eth0", "swap", true, ""},
    {"suse", MOVE_SWAP, "eth0", "eth5", "swap-unconfigured", true, "Cant read interface: eth5"},
};

class MoveFixtureTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MoveFixtureTest, LeavesTheExpectedFiles) {
  const MoveCase& c = GetParam();
  kesp_test::SystemRoot root;
  root.copyFixture(fixtureRoot(c.family, "input"));
  const Reading firstBefore = readInterface(c.first);
  const Reading secondBefore = readInterface(c.second[0] ? c.second : c.first);

  bool result;
  {
    kesp_test::LogCapture log(LOG_WARN);
    result = move(c.op, c.first, c.second);
    if (c.logText[0]) {
      EXPECT_TRUE(log.contains(c.logText)) << log.text();
    } else {
      EXPECT_EQ(log.text(), "");
    }
  }
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(treeOf(root.path()), treeOf(kesp_test::fixturePath(fixtureRoot(c.family, c.expectedTree))));

  if (c.op == MOVE_SWAP) {
    const bool gatewaysMove = std::string(c.family) != "suse";
    expectSameConfiguration(readInterface(c.first), secondBefore, gatewaysMove, "first after");
    expectSameConfiguration(readInterface(c.second), firstBefore, gatewaysMove, "second after");
  }
}

INSTANTIATE_TEST_SUITE_P(Families, MoveFixtureTest, ::testing::ValuesIn(kMoveCases));

struct RefusedCase {
  int op;
  const char* first;
  const char* second;
  const char* logText;
};

// None of these may read or write a file; the log says why.
const RefusedCase kRefusedCases[] = {
    {2, "eth0", "eth1", "Unknown move operation: 2"},
    {4, "eth0", "", "Unknown move operation: 4"},
    {-1, "eth0", "", "Unknown move operation: -1"},
    {MOVE_ADD, "", "", "invalid interface name ''"},
    {MOVE_ADD, "e\nup reboot", "", "invalid interface name"},
    {MOVE_ADD, "eth0-sixteen-xyz", "", "invalid interface name"},
    {MOVE_REMOVE, "../ifcfg-eth0", "", "invalid interface name"},
    {MOVE_REMOVE, "..", "", "invalid interface name '..'"},
    {MOVE_SWAP, "eth0", "", "invalid interface name ''"},
    {MOVE_SWAP, "eth0", "eth1;reboot", "invalid interface name 'eth1;reboot'"},
    {MOVE_SWAP, "a/b", "eth1", "invalid interface name 'a/b'"},
    {MOVE_SWAP, "eth0", "eth0", "Cant swap: eth0 with itself"},
    {MOVE_SWAP, "eth0", "lo", "Cant swap: lo is no Ethernet interface"},
    {MOVE_SWAP, "lo", "eth1", "Cant swap: lo is no Ethernet interface"},
    {MOVE_SWAP, "ens3", "br0", "Cant swap: br0 is no Ethernet interface"},
    {MOVE_SWAP, "e", "eth1", "Cant swap: e is no Ethernet interface"},
};

class MoveRefusedTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MoveRefusedTest, TouchesNothing) {
  const std::string family = GetParam();
  for (const RefusedCase& c : kRefusedCases) {
    SCOPED_TRACE(std::to_string(c.op) + " '" + c.first + "' '" + c.second + "'");
    kesp_test::SystemRoot root;
    root.copyFixture(fixtureRoot(family, "input"));
    const auto before = treeOf(root.path(), true);
    kesp_test::LogCapture log(LOG_DEBUG);
    EXPECT_FALSE(move(c.op, c.first, c.second));
    EXPECT_EQ(logEntries(log.text()), 1) << log.text();
    EXPECT_TRUE(log.contains(c.logText)) << log.text();
    EXPECT_EQ(treeOf(root.path(), true), before);
  }
}

// Interface files that cannot be read turn any attempt to read them into a log
// line, so a log holding only the refusal shows that nothing was opened.
TEST_P(MoveRefusedTest, UnknownOperationOpensNoFile) {
  const std::string family = GetParam();
  kesp_test::SystemRoot root;
  for (const char* iface : {"eth0", "eth1"}) kesp_test::makeDirs(root / configPath(family, iface));
  {
    kesp_test::LogCapture log(LOG_DEBUG);
    EXPECT_FALSE(move(2, "eth0", "eth1"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] Unknown move operation: 2"});
  }
  // The same root with a real operation does show the unreadable files.
  kesp_test::LogCapture log(LOG_DEBUG);
  EXPECT_FALSE(move(MOVE_SWAP, "eth0", "eth1"));
  EXPECT_TRUE(log.contains("Cant read")) << log.text();
}

TEST_P(MoveRefusedTest, UnknownFamily) {
  kesp_test::SystemRoot root;
  kesp_test::makeDirs(root / "/etc/sysconfig");
  for (int op : {MOVE_REMOVE, MOVE_ADD, MOVE_SWAP}) {
    kesp_test::LogCapture log(LOG_ERROR);
    EXPECT_FALSE(move(op, "eth0", "eth1"));
    EXPECT_TRUE(log.contains("Unknown OS type: 0")) << log.text();
  }
  EXPECT_EQ(treeOf(root.path()).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, MoveRefusedTest, ::testing::ValuesIn(kFamilies));

TEST(MoveDebianTest, MissingInterfacesFileIsNotCreated) {
  kesp_test::SystemRoot root;
  kesp_test::makeDirs(root / "/etc/network");
  kesp_test::LogCapture log(LOG_ERROR);
  EXPECT_FALSE(move(MOVE_ADD, "eth0", ""));
  EXPECT_TRUE(log.contains("Cant read /etc/network/interfaces")) << log.text();
  EXPECT_FALSE(kesp_test::fileExists(root / DEBIAN_INTERFACES_FILE));
}

struct IfcfgFaultCase {
  int op;
  const char* first;
  const char* second;
  const char* unreadable;  // ifcfg file replaced by a directory, or ""
  const char* unwritable;  // ifcfg file made a link into a missing directory, or ""
  const char* logText;
};

// Faults of the per-interface families: the files that existed stay as they
// were, and no file is left behind for an interface that had none.
const IfcfgFaultCase kIfcfgFaults[] = {
    {MOVE_ADD, "eth5", "", "eth5", "", "Cant add: eth5"},
    {MOVE_SWAP, "eth0", "eth5", "eth5", "", "Cant read interface: eth5"},
    {MOVE_SWAP, "eth5", "eth0", "eth5", "", "Cant read interface: eth5"},
    {MOVE_ADD, "eth5", "", "", "eth5", "Failed to write file"},
    {MOVE_SWAP, "eth0", "eth5", "", "eth5", "Failed to write file"},
    {MOVE_SWAP, "eth6", "eth5", "", "eth5", "Failed to write file"},
};

class MoveIfcfgFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MoveIfcfgFaultTest, LeavesTheFilesAsTheyWere) {
  const std::string family = GetParam();
  for (const IfcfgFaultCase& c : kIfcfgFaults) {
    SCOPED_TRACE(std::to_string(c.op) + " " + c.first + " " + c.second);
    kesp_test::SystemRoot root;
    root.copyFixture(fixtureRoot(family, "input"));
    if (c.unreadable[0]) kesp_test::makeDirs(root / configPath(family, c.unreadable));
    if (c.unwritable[0])
      fs::create_symlink(root / "/missing/dir/file", root / configPath(family, c.unwritable));
    const auto before = treeOf(root.path(), true);

    kesp_test::LogCapture log(LOG_ERROR);
    EXPECT_FALSE(move(c.op, c.first, c.second));
    EXPECT_TRUE(log.contains(c.logText)) << log.text();
    EXPECT_EQ(treeOf(root.path()), treeOf(kesp_test::fixturePath(fixtureRoot(family, "input"))));
    if (!c.unwritable[0]) {
      EXPECT_EQ(treeOf(root.path(), true), before);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Families, MoveIfcfgFaultTest, ::testing::Values("redhat", "suse"));

}  // namespace

namespace {

// ifupdown refuses the whole file for one option line without a value, so no
// interface would come up: a swap of a stanza without a broadcast line must
// not write an empty one.
TEST(MoveDebianTest, SwapWritesNoOptionWithoutValue) {
  kesp_test::SystemRoot root;
  root.copyFixture("move/debian/input");
  kesp_test::LogCapture quiet(KESP::LOG_NONE);
  ASSERT_TRUE(KESP::move(KESP::MOVE_SWAP, "eth2", "eth1"));
  const std::string text = root.read("/etc/network/interfaces");
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string keyword, value;
    words >> keyword >> value;
    const bool option = keyword == "address" || keyword == "broadcast" ||
                        keyword == "netmask" || keyword == "gateway";
    if (option) {
      EXPECT_FALSE(value.empty()) << "'" << line << "' in\n" << text;
    }
  }
  EXPECT_NE(text.find("iface eth1 inet static"), std::string::npos) << text;
}

}  // namespace
