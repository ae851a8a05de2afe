#include "kesp/scripts.h"

#include <gtest/gtest.h>

#include "kesp/log.h"
#include "test_support.h"

using kesp_test::LogCapture;
using kesp_test::SystemRoot;

namespace {

const char* const kInterfaceScript = "/opt/tolvex/share/kesp/kesp_interfaces";
const char* const kPropertyScript = "/opt/tolvex/share/kesp/kesp_ovf_process";
const char* const kArgsRecord = "/opt/tolvex/share/kesp/args";

/// A fake script that records its arguments, one per line, next to itself and
/// then runs the given shell body.
std::string fakeScript(const std::string& body) {
  return "#!/bin/sh\n"
         "for arg in \"$@\"; do printf '%s\\n' \"$arg\"; done > \"$(dirname \"$0\")/args\"\n" +
         body + "\n";
}

TEST(ScriptInterfacesTest, OutputBecomesOneEntryPerLine) {
  struct Case {
    const char* label;
    const char* body;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"two lines", "printf 'eth0\\neth1\\n'", {"eth0", "eth1"}},
      {"no final newline", "printf 'eth0\\neth1'", {"eth0", "eth1"}},
      {"blank line inside", "printf 'eth0\\n\\neth1\\n'", {"eth0", "", "eth1"}},
      {"nothing", "true", {}},
      {"failing script", "printf 'eth0\\n'; exit 3", {"eth0"}},
      {"exit status like a failed start", "printf 'eth2\\n'; exit 127", {"eth2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SystemRoot root;
    root.write(kInterfaceScript, fakeScript(c.body), 0755);
    std::vector<std::string> names = {"stale"};
    EXPECT_TRUE(KESP::getScriptInterfaces(names));
    EXPECT_EQ(c.names, names);
    EXPECT_EQ("", root.read(kArgsRecord)) << "the list script takes no arguments";
  }
}

TEST(ScriptInterfacesTest, ScriptThatCannotRunLeavesTheListAlone) {
  struct Case {
    const char* label;
    bool present;
    unsigned mode;
  };
  const Case cases[] = {{"missing", false, 0}, {"not executable", true, 0644}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SystemRoot root;
    if (c.present) root.write(kInterfaceScript, fakeScript("echo eth0"), c.mode);
    LogCapture log;
    std::vector<std::string> names = {"kept"};
    EXPECT_FALSE(KESP::getScriptInterfaces(names));
    EXPECT_EQ(std::vector<std::string>{"kept"}, names);
    EXPECT_TRUE(log.contains("[ERROR] unable to run " + root / kInterfaceScript)) << log.text();
  }
}

TEST(OvfPropertyTest, NameReachesTheScriptAsSeparateArgumentsWithoutAShell) {
  struct Case {
    const char* name;
    std::string args;
  };
  const Case cases[] = {
      {"kesp.ip0.eth0", "-g\nkesp.ip0.eth0\n"},
      {" several  words\there ", "-g\nseveral\nwords\nhere\n"},
      {"x;touch injected $(touch injected) `touch injected`",
       "-g\nx;touch\ninjected\n$(touch\ninjected)\n`touch\ninjected`\n"},
      {"", "-g\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SystemRoot root;
    root.write(kPropertyScript, fakeScript("printf 'the value\\n'"), 0755);
    std::string value;
    KESP::getOvfProperty(c.name, value);
    EXPECT_EQ("the value\n", value);
    // A shell would have split, substituted or run parts of the name.
    EXPECT_EQ(c.args, root.read(kArgsRecord));
  }
}

TEST(OvfPropertyTest, ValueIsTheOutputAsItCameOrTheFallback) {
  struct Case {
    const char* label;
    const char* body;  // nullptr: no script
    const char* value;
  };
  const Case cases[] = {
      {"no final newline", "printf 'a b'", "a b"},
      {"several lines", "printf 'one\\ntwo\\n'", "one\ntwo\n"},
      {"failing script, no output", "exit 1", ""},
      {"failing script with output", "echo partial; exit 2", "partial\n"},
      {"missing script", nullptr, "Unable to determine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SystemRoot root;
    if (c.body) root.write(kPropertyScript, fakeScript(c.body), 0755);
    std::string value = "stale";
    LogCapture log(KESP::LOG_NONE);
    KESP::getOvfProperty("name", value);
    EXPECT_EQ(c.value, value);
  }
}

}  // namespace
