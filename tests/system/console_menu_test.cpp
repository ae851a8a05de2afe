// The menu as the operator uses it: the time-zone label, the two actions with
// the programs they start (recording stand-ins under the fixture root), the
// keypad's Enter, the NUL key, and the German catalogue.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "console_terminal.h"
#include "netns.h"
#include "test_support.h"

namespace {

using console_test::ConsoleRoot;
using console_test::ConsoleSession;
using console_test::SessionOptions;
using kesp_test::NetNamespace;

const char kStaticEth0[] =
    "auto eth0\niface eth0 inet static\n    address 192.0.2.10\n    netmask 255.255.255.0\n";

std::string hostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

bool waitForRecord(const ConsoleRoot& root, int timeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (root.record().empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::vector<std::string> argumentsOf(const std::vector<std::string>& record) {
  std::vector<std::string> arguments;
  for (const std::string& line : record)
    if (line.compare(0, 4, "arg:") == 0) arguments.push_back(line.substr(4));
  return arguments;
}

/// The three standard descriptors of the started program all lead to the
/// console's terminal.
void expectStandardStreamsOnTheTerminal(const std::vector<std::string>& record) {
  std::vector<std::string> targets;
  for (const std::string& line : record)
    if (line.compare(0, 2, "fd") == 0) targets.push_back(line.substr(4));
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0].compare(0, 9, "/dev/pts/"), 0) << targets[0];
  EXPECT_EQ(targets[1], targets[0]) << "standard output";
  EXPECT_EQ(targets[2], targets[0]) << "standard error is the terminal again";
}

bool menuShown(const std::vector<std::string>& rows) {
  return ConsoleSession::contains(rows, "Login");
}

bool selectionOnSecondEntry(const std::vector<std::string>& rows) {
  return rows.size() > 27 && rows[27].compare(0, 2, " *") == 0;
}

struct Scene {
  NetNamespace ns;
  ConsoleRoot root;
  Scene() {
    ns.addVeth("eth0");
    ns.addAddress("eth0", "192.0.2.10/24", "brd +");
    root.writeInterfaces(kStaticEth0);
  }
};

TEST(ConsoleMenu, TimezoneEntryStartsTheToolWithOnlyItsPath) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  const std::string tool = "/opt/tolvex/share/kesp/kesp_set_timezone";
  scene.root.installRecorder(tool);
  ConsoleSession console(scene.ns, scene.root);
  ASSERT_TRUE(console.waitForText("Set Timezone (Current:UTC)")) << console.dump();

  console.keys("Down");
  ASSERT_TRUE(console.waitFor(selectionOnSecondEntry)) << console.dump();
  console.keys("Enter");
  ASSERT_TRUE(waitForRecord(scene.root)) << console.dump();

  std::vector<std::string> record = scene.root.record();
  EXPECT_EQ(argumentsOf(record), std::vector<std::string>{scene.root.path(tool)});
  expectStandardStreamsOnTheTerminal(record);
  EXPECT_EQ(scene.root.clearRuns(), 1);
  EXPECT_TRUE(console.waitForText("stand-in")) << console.dump();
  EXPECT_FALSE(ConsoleSession::contains(console.lines(), "Login")) << console.dump();
}

// The shipped tool on the fixture root: a zone chosen in its dialogue is in
// effect when the console comes back (its label, the root's files), or was
// handed to timedatectl where systemd is marked running.
struct ZoneCase {
  const char* name;
  bool systemd;
  std::vector<std::string> answers;  // typed lines after the tool shows its regions
  std::string zone;
  std::string abbreviation;  // in the label of the console started again
};

void PrintTo(const ZoneCase& c, std::ostream* out) { *out << c.name; }

class ConsoleTimezoneTest : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(ConsoleTimezoneTest, ChosenZoneIsInEffectAfterTheToolReturns) {
  KESP_SKIP_UNLESS_ROOT();
  const ZoneCase& c = GetParam();
  Scene scene;
  scene.root.installTimezoneTool();
  const std::string recorded = scene.root.path("/timedatectl.calls");
  if (c.systemd) {
    kesp_test::shell("mkdir -p " + console_test::shellWord(scene.root.path("/run/systemd/system")));
    kesp_test::writeFile(scene.root.path("/usr/bin/timedatectl"),
                         "#!/bin/sh\necho \"$@\" >> '" + recorded + "'\n", 0755);
  }
  SessionOptions options;
  options.timezone = "";  // the root's /etc/localtime
  options.restart = true;
  ConsoleSession console(scene.ns, scene.root, options);
  ASSERT_TRUE(console.waitForText("Set Timezone (Current:UTC)")) << console.dump();
  console.keys("Down");
  ASSERT_TRUE(console.waitFor(selectionOnSecondEntry)) << console.dump();
  console.keys("Enter");
  ASSERT_TRUE(console.waitForText("Current zone: Etc/UTC")) << console.dump();
  ASSERT_TRUE(console.waitForText("3) Europe/")) << console.dump();
  for (const std::string& answer : c.answers) {
    console.type(answer);
    console.keys("Enter");
  }
  ASSERT_TRUE(console.waitForText("The time zone is now: " + c.zone)) << console.dump();
  console.keys("Enter");
  ASSERT_TRUE(console.waitForText("Set Timezone (Current:" + c.abbreviation + ")")) << console.dump();

  const std::string link = kesp_test::shellOutput("readlink " + console_test::shellWord(scene.root.path("/etc/localtime")));
  if (c.systemd) {
    EXPECT_EQ(kesp_test::readFile(recorded), "set-timezone " + c.zone + "\n");
    EXPECT_EQ(kesp_test::readFile(scene.root.path("/etc/timezone")), "Etc/UTC\n");
  } else {
    EXPECT_FALSE(kesp_test::fileExists(recorded));
    EXPECT_EQ(kesp_test::readFile(scene.root.path("/etc/timezone")), c.zone + "\n");
    EXPECT_EQ(link, "/usr/share/zoneinfo/" + c.zone + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Zones, ConsoleTimezoneTest,
    ::testing::Values(
        ZoneCase{"RegionThenCityFromTheFiles", false, {"3", "1"}, "Europe/Berlin", "CET"},
        ZoneCase{"TypedNameAfterAWrongOne", false, {"Mars/Olympus", "America/New_York"},
                 "America/New_York", "EST"},
        ZoneCase{"CityOfTheRegionShownThroughTimedatectl", true, {"3", "Paris"}, "Europe/Paris",
                 "UTC"}),
    [](const ::testing::TestParamInfo<ZoneCase>& info) { return std::string(info.param.name); });

TEST(ConsoleMenu, ProgramThatCannotStartLeavesTheConsoleSayingWhy) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;  // no time-zone tool under the root
  ConsoleSession console(scene.ns, scene.root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();
  console.keys("Down");
  ASSERT_TRUE(console.waitFor(selectionOnSecondEntry)) << console.dump();
  console.keys("Enter");
  ASSERT_TRUE(console.waitForText("Could not start")) << console.dump();
  EXPECT_TRUE(console.waitForText("kesp_set_timezone: No such file or")) << console.dump();
  EXPECT_TRUE(console.waitFor(menuShown)) << console.dump();
  // Still the console: the keys move its selection.
  console.keys("Down");
  ASSERT_TRUE(console.waitFor(selectionOnSecondEntry)) << console.dump();
  console.keys("Up");
  EXPECT_TRUE(console.waitFor([](const std::vector<std::string>& rows) {
    return rows.size() > 26 && rows[26].compare(0, 7, " *Login") == 0;
  })) << console.dump();
}

struct LoginCase {
  const char* name;
  std::string typed;
  std::string userName;
};

void PrintTo(const LoginCase& c, std::ostream* out) { *out << c.name; }

class ConsoleLoginTest : public ::testing::TestWithParam<LoginCase> {};

TEST_P(ConsoleLoginTest, PromptsForTheNameAndStartsLogin) {
  KESP_SKIP_UNLESS_ROOT();
  const LoginCase& c = GetParam();
  Scene scene;
  scene.root.installRecorder("/bin/login");
  ConsoleSession console(scene.ns, scene.root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  console.keys("Enter");
  const std::string prompt = hostName() + " login:";  // tmux trims the trailing blank
  ASSERT_TRUE(console.waitFor([&](const std::vector<std::string>& rows) {
    return rows.size() > 1 && rows[1] == prompt;
  })) << console.dump();
  std::vector<std::string> rows = console.lines();
  EXPECT_EQ(rows[0], "") << "an empty line comes first";
  for (size_t row = 2; row < rows.size(); ++row)
    EXPECT_EQ(rows[row], "") << "the screen was cleared; row " << row;
  EXPECT_EQ(scene.root.clearRuns(), 1);

  console.type(c.typed);
  console.keys("Enter");
  ASSERT_TRUE(waitForRecord(scene.root)) << console.dump();
  std::vector<std::string> record = scene.root.record();
  EXPECT_EQ(argumentsOf(record), (std::vector<std::string>{"login", "--", c.userName}));
  expectStandardStreamsOnTheTerminal(record);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ConsoleLoginTest,
    ::testing::Values(LoginCase{"PlainName", "alice", "alice"},
                      LoginCase{"NameLikeAnOption", "-froot", "-froot"},
                      LoginCase{"LeadingBlanksSkipped", "   bob", "bob"}),
    [](const ::testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

TEST(ConsoleMenu, KeypadEnterDoesNotSelect) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  scene.root.installRecorder("/bin/login");
  ConsoleSession console(scene.ns, scene.root);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  console.keys("KPEnter");
  console.keys("Down");
  // Keys are handled in order: once Down shows, the keypad Enter was handled.
  ASSERT_TRUE(console.waitFor(selectionOnSecondEntry)) << console.dump();
  EXPECT_TRUE(scene.root.record().empty());
  EXPECT_EQ(scene.root.clearRuns(), 0);
  EXPECT_TRUE(ConsoleSession::contains(console.lines(), "Use Arrow Keys to navigate"));
}

TEST(ConsoleMenu, NulKeyEndsWithStatusZeroAndTheTerminalInNormalMode) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  SessionOptions options;
  const std::string status = scene.root.path("/exit-status");
  const std::string modes = scene.root.path("/terminal-modes");
  options.afterwards = "echo $? > " + console_test::shellWord(status) + "; stty -a > " +
                       console_test::shellWord(modes);
  ConsoleSession console(scene.ns, scene.root, options);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();

  console.keys("C-@");
  ASSERT_TRUE(console.waitForEnd()) << console.dump();
  EXPECT_EQ(kesp_test::readFile(status), "0\n");
  std::string settings = " " + kesp_test::readFile(modes);
  for (const char* mode : {" icanon", " echo "}) {
    EXPECT_NE(settings.find(mode), std::string::npos) << mode << " is off:\n" << settings;
  }
  EXPECT_EQ(scene.root.clearRuns(), 0) << "no hand-over";
}

TEST(ConsoleMenu, InputAtEndEndsTheConsoleInsteadOfSpinning) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  SessionOptions options;
  options.inputAtEnd = true;
  const std::string status = scene.root.path("/exit-status");
  options.afterwards = "echo $? > " + console_test::shellWord(status);
  ConsoleSession console(scene.ns, scene.root, options);
  ASSERT_TRUE(console.waitForEnd()) << console.dump();
  EXPECT_EQ(kesp_test::readFile(status), "0\n");
}

TEST(ConsoleMenu, ClosedTerminalEndsTheConsole) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  SessionOptions options;
  options.ignoreHangup = true;
  ConsoleSession console(scene.ns, scene.root, options);
  ASSERT_TRUE(console.waitFor(menuShown)) << console.dump();
  // Asked from outside, so that the asking shell is not one of them.
  auto processesInside = [&] { return kesp_test::shellOutput("ip netns pids " + scene.ns.name()); };
  ASSERT_NE(processesInside(), "");

  // No key can ever come: the console must end rather than wait (or spin) on
  // a terminal that is gone.
  console.closeTerminal();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!processesInside().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(processesInside(), "");
}

TEST(ConsoleMenu, GermanLocaleTranslatesLabelsAndHints) {
  KESP_SKIP_UNLESS_ROOT();
  Scene scene;
  scene.root.installRecorder("/bin/login");
  SessionOptions options;
  options.lang = "de_DE.UTF-8";
  ConsoleSession console(scene.ns, scene.root, options);
  ASSERT_TRUE(console.waitForText("Anmelden")) << console.dump();

  std::vector<std::string> rows = console.lines();
  EXPECT_EQ(rows[26].substr(0, 11), " *Anmelden ");
  EXPECT_NE(rows[26].find("Mit den Pfeiltasten wählen"), std::string::npos) << rows[26];
  EXPECT_NE(rows[27].find("Zeitzone einstellen (Aktuell:UTC)"), std::string::npos) << rows[27];
  EXPECT_NE(rows[27].find("und mit <EINGABE> bestätigen."), std::string::npos) << rows[27];
  EXPECT_FALSE(ConsoleSession::contains(rows, "Login"));

  // The translated label still finds its action.
  console.keys("Enter");
  ASSERT_TRUE(console.waitForText(hostName() + " login:")) << console.dump();
  console.type("carol");
  console.keys("Enter");
  ASSERT_TRUE(waitForRecord(scene.root)) << console.dump();
  EXPECT_EQ(argumentsOf(scene.root.record()), (std::vector<std::string>{"login", "--", "carol"}));
}

}  // namespace
