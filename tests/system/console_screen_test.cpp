// The console's screen as the operator sees it: the no-network warning, the
// welcome text, the menu rows, and nothing written over them behind the
// screen's back. Each case runs kesp_login in tmux inside its own namespace.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "banner.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "console_terminal.h"
#include "netns.h"
#include "test_support.h"

namespace {

using console_test::Cell;
using console_test::ConsoleRoot;
using console_test::ConsoleSession;
using console_test::Row;
using console_test::SessionOptions;
using kesp_test::NetNamespace;

const char kWelcome[] = "Welcome to the test appliance";
const int kRed = 1, kBlue = 4, kWhite = 7;

const char kStaticEth0[] =
    "auto eth0\niface eth0 inet static\n    address 192.0.2.10\n    netmask 255.255.255.0\n";
const char kDhcpEth0[] = "auto eth0\niface eth0 inet dhcp\n";
const char kStaticEth1[] =
    "auto eth1\niface eth1 inet static\n    address 192.0.2.11\n    netmask 255.255.255.0\n";

std::string wordsOf(const std::string& text);

int rowOf(const std::vector<std::string>& rows, const std::string& text) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].find(text) != std::string::npos) return static_cast<int>(i);
  return -1;
}

bool menuShown(const std::vector<std::string>& rows) { return rowOf(rows, "Login") >= 0; }

struct ScreenCase {
  const char* name;
  int columns;
  std::string interfaces;
  std::function<void(const NetNamespace&)> network;
  bool banner;
  int bannerColumn;
  int welcomeRow;
  /// The cause under the banner (centred in its 80 columns).
  const char* cause = "";
};

void PrintTo(const ScreenCase& c, std::ostream* out) { *out << c.name; }

class ConsoleScreenTest : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(ConsoleScreenTest, WarningAndWelcomeText) {
  KESP_SKIP_UNLESS_ROOT();
  const ScreenCase& c = GetParam();
  NetNamespace ns;
  c.network(ns);
  ConsoleRoot root;
  root.writeInterfaces(c.interfaces);
  SessionOptions options;
  options.columns = c.columns;
  ConsoleSession console(ns, root, options);
  ASSERT_TRUE(console.started());
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  std::vector<std::string> rows = console.lines();
  EXPECT_EQ(rowOf(rows, kWelcome), c.welcomeRow) << console.dump();
  EXPECT_EQ(rows[static_cast<size_t>(c.welcomeRow)].find(kWelcome), 0u) << console.dump();
  EXPECT_EQ(rowOf(rows, "NO NETWORKING DETECTED") >= 0, c.banner) << console.dump();
  if (!c.banner) return;
  EXPECT_EQ(wordsOf(rows[kesp_console::kBannerRows]), c.cause) << console.dump();

  std::vector<Row> cells = console.cells();
  for (int line = 0; line < kesp_console::kBannerRows; ++line) {
    SCOPED_TRACE("banner row " + std::to_string(line));
    std::string expected = kesp_console::kBannerLines[line];
    expected.erase(expected.find_last_not_of(' ') + 1);  // tmux trims trailing blanks
    EXPECT_EQ(rows[static_cast<size_t>(line)],
              std::string(static_cast<size_t>(c.bannerColumn), ' ') + expected);
    const Row& row = cells[static_cast<size_t>(line)];
    ASSERT_GE(row.size(), static_cast<size_t>(c.bannerColumn) + expected.size());
    for (size_t column = static_cast<size_t>(c.bannerColumn); column < row.size(); ++column) {
      const Cell& cell = row[column];
      // Blanks may be drawn by erasing with the background colour, which
      // leaves no foreground or bold behind; only their background shows.
      bool boldWhiteOnRed = cell.bold && cell.foreground == kWhite && cell.background == kRed;
      ASSERT_TRUE(cell.text == " " ? cell.background == kRed : boldWhiteOnRed)
          << "column " << column << " ('" << cell.text << "') is not bold white on red";
    }
    if (c.bannerColumn > 0) {
      EXPECT_EQ(row[static_cast<size_t>(c.bannerColumn) - 1].background, kBlue)
          << "the pane around the banner is blue";
    }
  }
  const Cell& welcome = cells[static_cast<size_t>(c.welcomeRow)][0];
  EXPECT_EQ(welcome.foreground, kWhite);
  EXPECT_EQ(welcome.background, kBlue);
  EXPECT_FALSE(welcome.bold);
}

void eth0WithAddress(const NetNamespace& ns) {
  ns.addVeth("eth0");
  ns.addAddress("eth0", "192.0.2.10/24", "brd +");
}
void eth0LinkLocalOnly(const NetNamespace& ns) {
  ns.addVeth("eth0");
  ASSERT_TRUE(ns.waitUntil("ip -6 addr show dev eth0 scope link | grep -q inet6"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleScreenTest,
    ::testing::Values(
        ScreenCase{"ConfiguredWithAddress", 100, kStaticEth0, eth0WithAddress, false, 0, 0},
        ScreenCase{"ConfiguredWithoutAddress100Columns", 100, kDhcpEth0, eth0LinkLocalOnly,
                   true, 10, 4, "eth0: no answer from a DHCP server"},
        ScreenCase{"ConfiguredWithoutAddress80Columns", 80, kDhcpEth0, eth0LinkLocalOnly, true,
                   0, 4, "eth0: no answer from a DHCP server"},
        ScreenCase{"LinkLocalEth0AndStaticEth1", 100, std::string(kDhcpEth0) + kStaticEth1,
                   [](const NetNamespace& ns) {
                     eth0LinkLocalOnly(ns);
                     ns.addVeth("eth1");
                     ns.addAddress("eth1", "192.0.2.11/24", "brd +");
                   },
                   false, 0, 0},
        ScreenCase{"UnconfiguredWithDynamicIpv6", 100, "",
                   [](const NetNamespace& ns) {
                     ns.addVeth("eth0");
                     ns.addDynamicIpv6("eth0", "2001:db8::5/64");
                   },
                   false, 0, 0},
        ScreenCase{"OnlyEthernetIsEns3WithAddress", 100,
                   "auto ens3\niface ens3 inet static\n    address 192.0.2.10\n"
                   "    netmask 255.255.255.0\n",
                   [](const NetNamespace& ns) {
                     ns.addVeth("ens3");
                     ns.addAddress("ens3", "192.0.2.10/24", "brd +");
                   },
                   false, 0, 0},
        ScreenCase{"AddressHeldButPeerDownSoNoCarrier", 100, kStaticEth0,
                   [](const NetNamespace& ns) {
                     eth0WithAddress(ns);
                     ns.setLinkUp(NetNamespace::peerOf("eth0"), false);
                   },
                   true, 10, 4, "eth0: cable not connected"},
        ScreenCase{"AddressHeldButLinkDown", 100, kStaticEth0,
                   [](const NetNamespace& ns) {
                     eth0WithAddress(ns);
                     ns.setLinkUp("eth0", false);
                   },
                   true, 10, 4, "eth0: the link is down"},
        ScreenCase{"Ipv4ConfiguredButOnlyIpv6Held", 100, kStaticEth0,
                   [](const NetNamespace& ns) {
                     ns.addVeth("eth0");
                     ns.addAddress("eth0", "2001:db8::7/64");
                   },
                   true, 10, 4, "eth0: the configured address 192.0.2.10 is not on the interface"}),
    [](const ::testing::TestParamInfo<ScreenCase>& info) { return std::string(info.param.name); });

// Narrower than the banner's 80 columns: its words wrapped to the width, in
// full, bold white on red; the welcome text below it, one line per row.
struct NarrowCase {
  const char* name;
  int columns, rows;
  std::string interfaces;
  std::string firstWords;  // how the warning begins
  std::string cause;       // the line under the banner
};

void PrintTo(const NarrowCase& c, std::ostream* out) { *out << c.name; }

class ConsoleNarrowWarningTest : public ::testing::TestWithParam<NarrowCase> {};

std::string wordsOf(const std::string& text) {
  std::string words;
  for (size_t at = 0; (at = text.find_first_not_of(' ', at)) != std::string::npos;) {
    size_t end = std::min(text.find(' ', at), text.size());
    words += (words.empty() ? "" : " ") + text.substr(at, end - at);
    at = end;
  }
  return words;
}

TEST_P(ConsoleNarrowWarningTest, WarningWrappedAndNeverLost) {
  KESP_SKIP_UNLESS_ROOT();
  const NarrowCase& c = GetParam();
  NetNamespace ns;
  eth0WithAddress(ns);
  ns.addVeth("eth1");
  ns.addAddress("eth1", "192.0.2.11/24", "brd +");
  ConsoleRoot root;
  root.writeInterfaces(c.interfaces);
  root.setWelcomeText("Reached at:\n    eth0       192.0.2.10\n    eth1       192.0.2.11\n"
                      "    eth2       192.0.2.12\n");
  SessionOptions options;
  options.columns = c.columns;
  options.rows = c.rows;
  ConsoleSession console(ns, root, options);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  const std::vector<std::string> rows = console.lines();
  const std::vector<Row> cells = console.cells();
  const std::string expected = c.firstWords + " " +
                               wordsOf(std::string(kesp_console::kBannerLines[1]) +
                                       kesp_console::kBannerLines[2]) +
                               (c.cause.empty() ? "" : " " + c.cause);
  std::string drawn;
  size_t row = 0;
  for (; row < cells.size() && !cells[row].empty() && cells[row][0].background == kRed; ++row) {
    ASSERT_LE(cells[row].size(), static_cast<size_t>(c.columns));
    for (const Cell& cell : cells[row])
      ASSERT_TRUE(cell.text == " " || (cell.bold && cell.foreground == kWhite)) << console.dump();
    drawn += " " + rows[row];
  }
  EXPECT_EQ(wordsOf(drawn), expected) << console.dump();
  EXPECT_EQ(rows[row], "Reached at:") << console.dump();
  for (size_t text = row; text < rows.size(); ++text) {
    const size_t first = rows[text].find("192.0.2.");
    EXPECT_TRUE(first == std::string::npos || rows[text].find("192.0.2.", first + 1) == std::string::npos)
        << "two addresses in one row:\n" << console.dump();
  }
  // Not being configured is what the warning says, not an error of the check.
  const std::string log = root.path("/var/log/kesp_login.log");
  if (kesp_test::fileExists(log)) {
    EXPECT_EQ(kesp_test::readFile(log).find("failed to read network interface files"),
              std::string::npos);
  }
}

const char kNoNetworking[] = "NO NETWORKING DETECTED. PLEASE LOGIN AND RUN THE COMMAND";
const char kNoIpv6[] = "eth0: its configuration in /etc/network/interfaces sets no address";
const char kDhcpBoth[] = "auto eth0\niface eth0 inet6 dhcp\nauto eth1\niface eth1 inet6 dhcp\n";

INSTANTIATE_TEST_SUITE_P(
    Widths, ConsoleNarrowWarningTest,
    ::testing::Values(
        NarrowCase{"Columns79", 79, 30, kDhcpBoth, kNoNetworking, kNoIpv6},
        NarrowCase{"Columns70", 70, 30, kDhcpBoth, kNoNetworking, kNoIpv6},
        NarrowCase{"Columns60", 60, 30, kDhcpBoth, kNoNetworking, kNoIpv6},
        NarrowCase{"Columns50", 50, 30, kDhcpBoth, kNoNetworking, kNoIpv6},
        // Five rows of status: the banner fills them, the cause finds no room.
        NarrowCase{"Size40x10", 40, 10, kDhcpBoth, kNoNetworking, ""},
        NarrowCase{"HeldButConfiguredNowhere", 60, 30, "",
                   "eth0 HOLDS 192.0.2.10 BUT IS CONFIGURED NOWHERE. PLEASE LOGIN AND RUN THE "
                   "COMMAND", ""}),
    [](const ::testing::TestParamInfo<NarrowCase>& info) { return std::string(info.param.name); });

// The cause follows the network: the peer's end goes down and the line
// under the banner names the cable; it comes back up and the warning, the
// cause with it, goes away without a key pressed.
TEST(ConsoleScreen, CauseLineFollowsTheCarrier) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  eth0WithAddress(ns);
  ns.setLinkUp(NetNamespace::peerOf("eth0"), false);
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root, SessionOptions());
  ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return rowOf(rows, "NO NETWORKING DETECTED") == 0 && rowOf(rows, "eth0: cable not connected") == 3;
  })) << console.dump();
  ns.setLinkUp(NetNamespace::peerOf("eth0"), true);
  ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return menuShown(rows) && rowOf(rows, "NO NETWORKING") < 0 && rowOf(rows, "cable") < 0 &&
           rowOf(rows, kWelcome) == 0;
  })) << console.dump();
}

TEST(ConsoleScreen, LongWelcomeLineWrapsAtTheRightEdge) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  eth0WithAddress(ns);
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  // 150 characters: read in pieces of 98 (COLS - 2), wrapped by the screen at 100.
  std::string longLine = std::string(98, 'a') + std::string(52, 'b');
  root.setWelcomeText(longLine + "\nsecond line\n");
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  std::vector<std::string> rows = console.lines();
  EXPECT_EQ(rows[0], longLine.substr(0, 100));
  EXPECT_EQ(rows[1], longLine.substr(100));
  EXPECT_EQ(rows[2], "second line");
}

TEST(ConsoleScreen, MenuOccupiesTheFiveBottomRowsWithHintsAtColumn40) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  eth0WithAddress(ns);
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  std::vector<std::string> rows = console.lines();
  auto padded = [](std::string text, size_t width) {
    text.resize(width, ' ');
    return text;
  };
  EXPECT_EQ(rows[25], "");
  EXPECT_EQ(rows[26], padded(" *Login", 40) + "Use Arrow Keys to navigate");
  EXPECT_EQ(rows[27], padded("  Set Timezone (Current:UTC)", 40) + "and <ENTER> to select your choice.");
  EXPECT_EQ(rows[28], "");
  EXPECT_EQ(rows[29], "");
  EXPECT_EQ(rowOf(rows, "Login"), 26) << "the description is never shown";

  std::vector<Row> cells = console.cells();
  const Cell& selected = cells[26][2];  // "L" of the selected item
  EXPECT_TRUE(selected.reverse);
  EXPECT_EQ(selected.foreground, kBlue);
  EXPECT_EQ(selected.background, kWhite);
  const Cell& other = cells[27][2];
  EXPECT_FALSE(other.reverse);
  EXPECT_EQ(other.foreground, kBlue);
  EXPECT_EQ(other.background, kWhite);
  const Cell& hint = cells[26][40];
  EXPECT_EQ(hint.foreground, kBlue);
  EXPECT_EQ(hint.background, kWhite);
}

// An operator resizes the terminal: every size gets the welcome text at the
// top, the items in the menu rows and the hints on rows of their own.
TEST(ConsoleScreen, ResizedTerminalIsLaidOutAgain) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  eth0WithAddress(ns);
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();
  const std::string login = " *Login", zone = "  Set Timezone (Current:UTC)";
  const std::string hint1 = "Use Arrow Keys to navigate", hint2 = "and <ENTER> to select your choice.";
  auto padded = [](std::string text, size_t width) {
    text.resize(width, ' ');
    return text;
  };
  struct Size {
    int columns, rows;
    bool hintsBeside;
  } sizes[] = {{80, 24, true}, {60, 15, false}, {100, 30, true}, {60, 15, false}};
  for (const Size& size : sizes) {
    SCOPED_TRACE(std::to_string(size.columns) + "x" + std::to_string(size.rows));
    console.resize(size.columns, size.rows);
    std::vector<std::string> expected(static_cast<size_t>(size.rows));
    expected[0] = kWelcome;
    const size_t menu = static_cast<size_t>(size.rows - 5);
    if (size.hintsBeside) {
      expected[menu + 1] = padded(login, 40) + hint1;
      expected[menu + 2] = padded(zone, 40) + hint2;
    } else {
      expected[menu + 1] = login;
      expected[menu + 2] = zone;
      expected[menu + 3] = " " + hint1;
      expected[menu + 4] = " " + hint2;
    }
    ASSERT_TRUE(console.waitFor([&](const std::vector<std::string>& rows) {
      return std::vector<std::string>(rows.begin(), rows.begin() + std::min(rows.size(), expected.size())) == expected;
    })) << console.dump();
    // The keys still move the selection on the new layout.
    console.keys("Down");
    ASSERT_TRUE(console.waitFor([&](const std::vector<std::string>& rows) {
      return rows.size() > menu + 2 && rows[menu + 2].compare(0, 5, " *Set") == 0;
    })) << console.dump();
    console.keys("Up");
    ASSERT_TRUE(console.waitFor([&](const std::vector<std::string>& rows) {
      return rows.size() > menu + 1 && rows[menu + 1].compare(0, 7, " *Login") == 0;
    })) << console.dump();
  }
}

// After a change the library asks the console to redraw: the same process
// draws everything anew and the operator's selection stays.
TEST(ConsoleScreen, RedrawRequestRedrawsAndTheConsoleStays) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  eth0WithAddress(ns);
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();
  const std::vector<std::string> consoles = root.registeredConsoles();
  ASSERT_EQ(consoles.size(), 1u);
  console.keys("Down");
  ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return rows[27].compare(0, 5, " *Set") == 0;
  })) << console.dump();

  root.setWelcomeText("Welcome again\n");
  const int runs = root.welcomeRuns();
  KESP::setSystemRoot(root.root());  // only the consoles of this root are reached
  KESP::updateNetworkDisplay();
  KESP::setSystemRoot("");
  ASSERT_TRUE(console.waitForText("Welcome again")) << console.dump();
  EXPECT_EQ(root.welcomeRuns(), runs + 1);
  EXPECT_EQ(root.registeredConsoles(), consoles) << "the same process";
  EXPECT_EQ(kesp_test::readFile("/proc/" + consoles[0] + "/comm"), "kesp_login\n");
  EXPECT_EQ(console.lines()[27].compare(0, 5, " *Set"), 0) << console.dump();
}

TEST(ConsoleScreen, WelcomeScriptRunsOncePerChangeOfTheAddress) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitForText("NO NETWORKING DETECTED")) << console.dump();
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  for (int round = 0; round < 3; ++round) {
    console.keys("Down");
    ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
      return rows[27].compare(0, 5, " *Set") == 0;
    })) << console.dump();
    console.keys("Up");
    ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
      return rows[26].compare(0, 7, " *Login") == 0;
    })) << console.dump();
  }
  // Keys are handled in order: the selection moved back, so the status checks
  // of all but the last key are done.
  EXPECT_EQ(root.welcomeRuns(), 1);

  ns.addAddress("eth0", "192.0.2.10/24", "brd +");
  console.keys("Left");
  ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return !ConsoleSession::contains(rows, "NO NETWORKING DETECTED");
  })) << console.dump();
  EXPECT_EQ(root.welcomeRuns(), 2);
  console.keys("Right");
  console.keys("Down");
  ASSERT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return rows[27].compare(0, 5, " *Set") == 0;
  })) << console.dump();
  EXPECT_EQ(root.welcomeRuns(), 2);
}

// While the screen is drawn, the library's complaints (a system of no family
// it knows here) go to a log file, not over it. An interface that is simply
// not configured is no complaint.
struct LogCase {
  const char* name;
  bool namedLogFile;     // KESP_LOG_FILE names a file that can be opened
  bool defaultLogDir;    // <root>/var/log exists
  bool expectNamedFile;  // else the default file, when its directory exists
};

void PrintTo(const LogCase& c, std::ostream* out) { *out << c.name; }

class ConsoleStandardErrorTest : public ::testing::TestWithParam<LogCase> {};

TEST_P(ConsoleStandardErrorTest, ScreenUnchangedAndComplaintLogged) {
  KESP_SKIP_UNLESS_ROOT();
  const LogCase& c = GetParam();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addAddress("eth0", "192.0.2.20/24", "label eth0:1");
  ConsoleRoot root;
  kesp_test::shell("rm -rf " + console_test::shellWord(root.path("/etc/network")));
  kesp_test::TempDir logDir;
  SessionOptions options;
  std::string namedLog = logDir / (c.namedLogFile ? "console.log" : "missing/console.log");
  options.environment["KESP_LOG_FILE"] = namedLog;
  if (!c.defaultLogDir) kesp_test::shell("rm -rf " + console_test::shellWord(root.path("/var/log")));
  std::string defaultLog = root.path("/var/log/kesp_login.log");
  std::string log = c.expectNamedFile ? namedLog : defaultLog;

  ConsoleSession console(ns, root, options);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();
  ASSERT_TRUE(console.waitForText("NO NETWORKING DETECTED")) << console.dump();
  std::vector<std::string> before = console.lines();

  const std::string complaint = "Unknown OS type: 0";
  auto complaints = [&] {
    if (!kesp_test::fileExists(log)) return 0;
    std::string text = kesp_test::readFile(log);
    int count = 0;
    for (size_t at = text.find(complaint); at != std::string::npos; at = text.find(complaint, at + 1))
      ++count;
    return count;
  };
  int initial = complaints();
  for (const char* key : {"Down", "Up", "x", "Down", "Up"}) {
    console.keys(key);
    bool down = std::string(key) == "Down";
    ASSERT_TRUE(console.waitFor([&](const std::vector<std::string>& rows) {
      return rows[down ? 27 : 26].compare(0, 2, " *") == 0;
    })) << console.dump();
  }
  if (c.namedLogFile || c.defaultLogDir) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (complaints() < initial + 5 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(complaints(), initial + 5) << "one complaint per key in " << log;
  } else {
    EXPECT_FALSE(kesp_test::fileExists(defaultLog));
  }
  EXPECT_EQ(console.lines(), before) << console.dump();
  if (c.expectNamedFile) {
    EXPECT_FALSE(kesp_test::fileExists(defaultLog));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, ConsoleStandardErrorTest,
    ::testing::Values(LogCase{"NamedByKespLogFile", true, true, true},
                      LogCase{"DefaultUnderTheRoot", false, true, false},
                      LogCase{"NeitherOpensSoNowhere", false, false, false}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

}  // namespace
