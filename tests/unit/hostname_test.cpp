#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "change/display_update.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "test_support.h"

using namespace KESP;

namespace {

const char kScript[] = "/opt/tolvex/share/kesp/kesp_set_hostname";

class HostNameTest : public ::testing::Test {
 protected:
  kesp_test::SystemRoot root;
  std::string record() { return root / "/args"; }
  void installScript(int status) {
    root.write(kScript,
               "#!/bin/sh\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done > '" + record() +
                   "'\nprintf %s \"$KESP_SYSTEM_ROOT\" > '" + (root / "/root") +
                   "'\necho set\nexit " + std::to_string(status) + "\n",
               0755);
  }
};

TEST_F(HostNameTest, ArgumentsArriveLiterallySplitAtBlanks) {
  installScript(0);
  struct Case {
    std::string name, args;
  } cases[] = {
      {"appliance", "<appliance>"},
      {"a b\tc", "<a><b><c>"},
      {"a;touch " + (root / "/canary"), "<a;touch><" + (root / "/canary") + ">"},
      {"$(touch " + (root / "/canary") + ")", "<$(touch><" + (root / "/canary") + ")>"},
      {"`id`", "<`id`>"},
  };
  for (const Case& c : cases) {
    kesp_test::LogCapture log(LOG_INFO);
    EXPECT_EQ(kesp_set_hostname(c.name), 0);
    EXPECT_EQ(root.read("/args"), c.args);
    // The script's output is logged as it came, its newline included.
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "[INFO] Output of " + (root / kScript) + " " + c.name + ": set", ""}));
  }
  EXPECT_FALSE(kesp_test::fileExists(root / "/canary"));
  EXPECT_EQ(kesp_set_hostname(), 0);
  EXPECT_EQ(root.read("/args"), "");
  // The script edits the files of the root the library works on.
  EXPECT_EQ(root.read("/root"), systemRoot());
}

TEST_F(HostNameTest, FailureIsLoggedAsError) {
  kesp_test::LogCapture log(LOG_WARN);
  EXPECT_EQ(kesp_set_hostname("x"), 1);  // missing script
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"[ERROR] Unable to execute " + (root / kScript) + " x command"});
  installScript(2);
  EXPECT_EQ(kesp_set_hostname(), 1);
  EXPECT_EQ(log.lines().size(), 2u);
}

// An offline image's name lives in its files: etc/hostname whole, and the
// names of its 127.0.1.1 line, whatever else etc/hosts holds.
TEST(ImageHostNameTest, WritesHostnameAndTheOwnNameLine) {
  struct Case {
    const char* name;
    const char* hosts;     // nullptr: the image has no etc/hosts
    const char* expected;  // etc/hosts afterwards
  } cases[] = {
      {"web1", "127.0.0.1\tlocalhost\n127.0.1.1\told old.example.org\n::1 localhost\n",
       "127.0.0.1\tlocalhost\n127.0.1.1\tweb1\n::1 localhost\n"},
      {"web1.example.org", "  127.0.1.1 old # set by the installer\n",
       "  127.0.1.1\tweb1.example.org web1 # set by the installer\n"},
      {"web1", "127.0.0.1 localhost\n127.0.1.10 other\n",  // no line of our own: untouched
       "127.0.0.1 localhost\n127.0.1.10 other\n"},
      {"web1", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    kesp_test::SystemRoot root;
    root.write("/etc/hostname", "old\n");
    if (c.hosts) root.write("/etc/hosts", c.hosts);
    EXPECT_TRUE(setImageHostName(c.name)) << c.name;
    EXPECT_EQ(root.read("/etc/hostname"), std::string(c.name) + "\n");
    if (c.hosts) {
      EXPECT_EQ(root.read("/etc/hosts"), c.expected) << c.hosts;
    } else {
      EXPECT_FALSE(kesp_test::fileExists(root / "/etc/hosts"));
    }
  }
  // An image without an etc directory cannot take the name: a logged failure.
  kesp_test::SystemRoot empty;
  kesp_test::LogCapture log;
  EXPECT_FALSE(setImageHostName("web1"));
  EXPECT_TRUE(log.contains("cannot write")) << log.text();
}

TEST(DisplayUpdateTest, WhichConsoleGetsWhat) {
  using detail::ConsoleProcess;
  using detail::DisplayAction;
  const struct {
    ConsoleProcess process;
    bool wholeSystem;
    DisplayAction action;
  } cases[] = {
      {{true, true, true}, false, DisplayAction::Redraw},   // registered under the root
      {{true, false, true}, false, DisplayAction::Leave},   // another root's console
      {{true, false, false}, false, DisplayAction::Leave},  // not ours to end
      {{true, false, true}, true, DisplayAction::Redraw},   // any console of the system
      {{true, false, false}, true, DisplayAction::End},     // one that cannot redraw
      {{false, true, true}, true, DisplayAction::Leave},    // a stale registration
  };
  for (const auto& c : cases)
    EXPECT_EQ(detail::displayActionFor(c.process, c.wholeSystem), c.action);
}

TEST(DisplayUpdateTest, UnderARootStaleRegistrationsGoAndNothingIsSignalled) {
  kesp_test::SystemRoot root;
  const pid_t other = fork();  // registered, but no console
  if (other == 0) {
    pause();
    _exit(0);
  }
  root.write(std::string(CONSOLE_REGISTRY_DIR) + "/" + std::to_string(other), "");
  root.write(std::string(CONSOLE_REGISTRY_DIR) + "/999999999", "");
  kesp_test::LogCapture log(LOG_INFO);
  updateNetworkDisplay();
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[INFO] asked 0 console(s) to redraw"});
  EXPECT_FALSE(kesp_test::fileExists(root / (std::string(CONSOLE_REGISTRY_DIR) + "/999999999")));
  EXPECT_FALSE(kesp_test::fileExists(root / (std::string(CONSOLE_REGISTRY_DIR) + "/" + std::to_string(other))));
  int status = 0;
  EXPECT_EQ(waitpid(other, &status, WNOHANG), 0) << "the other process was left alone";
  kill(other, SIGKILL);
  waitpid(other, &status, 0);
}

TEST(HostNameAccessTest, NullArgumentsDoNothing) {
  EXPECT_EQ(getHostNameInto(nullptr), 0);
  EXPECT_EQ(getDomainName(nullptr), 0);
  EXPECT_EQ(setDomainName(nullptr), 0);
  char buffer[65] = {};
  ASSERT_EQ(getHostNameInto(buffer), 0);
  EXPECT_EQ(getHostName(), std::string(buffer));
  EXPECT_FALSE(getHostName().empty());
}

}  // namespace
