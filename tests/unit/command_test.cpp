#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <sstream>

#include "files/draft.h"
#include "kesp/log.h"
#include "kesp/parser.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "system/process.h"
#include "test_support.h"

using namespace KESP;
using kesp_test::readFile;

namespace {

TEST(ExecuteTest, StatusAndOutput) {
  struct Case {
    std::string command;
    int status;
    std::string output;
  } cases[] = {
      {"printf 'a\\nb\\n'", 0, "a\nb\n"},
      {"exit 1", 256, ""},
      {"true", 0, ""},
      {"head -c 300000 /dev/zero | tr '\\0' x; exit 2", 512, std::string(300000, 'x')},
  };
  for (const Case& c : cases) {
    std::string output = "stale";
    EXPECT_EQ(execute(c.command, output), c.status) << c.command;
    EXPECT_EQ(output, c.output) << c.command;
  }
}

TEST(ExecuteTest, NoWaitLetsTheCommandFinishAndLeavesItsBackgroundAlone) {
  kesp_test::TempDir dir;
  // Much output, then a process left behind: a pipe closed unread would kill
  // the command with SIGPIPE, one read to its end would wait for the sleep.
  std::string record = dir / "record";
  EXPECT_EQ(execute_no_wait("seq 1 200000; sleep 60 & echo $! $(readlink /proc/$$/fd/1) > '" +
                            record + "'"),
            0);
  std::istringstream words(readFile(record));
  pid_t background = 0;
  std::string output;
  words >> background >> output;
  EXPECT_EQ(output, "/dev/null");
  EXPECT_TRUE(background > 0 && kill(background, 0) == 0) << "the sleep has already ended";
  if (background > 0) kill(background, SIGKILL);
  EXPECT_EQ(execute_no_wait("/nonexistent/command 2>/dev/null"), 0);
}

class SystemEnvTest : public ::testing::Test {
 protected:
  kesp_test::SystemRoot root;
  void SetUp() override { kesp_test::makeDirs(root / "/tmp"); }
  /// Runs system_env with a command that copies its own script aside.
  int run(const std::string& command, const std::string& directory,
          const std::map<std::string, std::string>& env) {
    return system_env("cat \"$0\" > '" + (root / "/script") + "'; " + command, directory, env);
  }
  std::string leftovers() { return kesp_test::shellOutput("ls -A '" + (root / "/tmp") + "'"); }
};

TEST_F(SystemEnvTest, ScriptTextExportsInKeyOrder) {
  EXPECT_EQ(run("env > /dev/null", "/var", {{"B", "2"}, {"A", "1"}}), 0);
  std::string script = readFile(root / "/script");
  EXPECT_EQ(script.substr(0, script.find("cat")), "export A=1\nexport B=2\ncd /var\n");
  EXPECT_EQ(leftovers(), "");
}

TEST_F(SystemEnvTest, StatusAndNoCdWithoutDirectory) {
  EXPECT_EQ(run("exit 3", "", {}), 768);
  EXPECT_EQ(readFile(root / "/script").find("cd "), std::string::npos);
  EXPECT_EQ(leftovers(), "");
}

TEST_F(SystemEnvTest, ValuesArriveLiterallyAndNamesAreChecked) {
  std::string canary = root / "/canary";
  std::map<std::string, std::string> env{
      {"PLAIN", "a.b/c:d,e+f=g@h%i-j_k"},
      {"HOSTILE", "x; touch " + canary + "\n$(touch " + canary + ") `touch " + canary + "` 'q'"},
  };
  std::string out = root / "/out";
  EXPECT_EQ(run("printf '%s|%s' \"$PLAIN\" \"$HOSTILE\" > '" + out + "'", "", env), 0);
  EXPECT_EQ(readFile(out), env["PLAIN"] + "|" + env["HOSTILE"]);
  EXPECT_FALSE(kesp_test::fileExists(canary));
  EXPECT_NE(readFile(root / "/script").find("export PLAIN=a.b/c:d,e+f=g@h%i-j_k\n"),
            std::string::npos);

  kesp_test::LogCapture log;
  for (const char* bad : {"A B", "1A", "", "A;B", "A=B"}) {
    EXPECT_EQ(system_env("true", "", {{bad, "v"}}), -1) << bad;
  }
  EXPECT_EQ(log.lines().size(), 5u);
}

TEST_F(SystemEnvTest, UncreatableScriptIsReported) {
  kesp_test::shell("rm -rf '" + (root / "/tmp") + "'");
  kesp_test::LogCapture log;
  EXPECT_EQ(system_env("true", "", {}), -1);
  EXPECT_TRUE(log.contains("[ERROR] Failed to create temp file"));
}

TEST(RunProgramTest, WaitsForItsOwnChildWhateverItsStatus) {
  kesp_test::TempDir dir;
  std::string marker = dir / "marker";
  // A sibling child that ends first must not end the wait.
  pid_t sibling = fork();
  if (sibling == 0) _exit(0);
  usleep(1000);
  std::string script = "sleep 0.2; echo done > '" + marker + "'; exit 4";
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
  EXPECT_EQ(run_program(argv), 0);
  EXPECT_EQ(readFile(marker), "done\n");
  waitpid(sibling, nullptr, 0);
  const char* missing[] = {"/nonexistent/program", nullptr};
  EXPECT_EQ(run_program(missing), 0);
}

TEST(RunArgvTest, NoShellCapturesOutputAndStatus) {
  kesp_test::TempDir dir;
  std::string canary = dir / "canary";
  std::string output;
  int status = detail::runArgv({"/bin/echo", "a;touch " + canary, "$(touch " + canary + ")"}, &output);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, "a;touch " + canary + " $(touch " + canary + ")\n");
  EXPECT_FALSE(kesp_test::fileExists(canary));
  EXPECT_EQ(detail::runArgv({"/bin/sh", "-c", "exit 5"}), 5 * 256);
  EXPECT_EQ(detail::runArgv({"/nonexistent/x"}, &output), 127 * 256);
  EXPECT_EQ(detail::runArgv({}), -1);

  // A script without a "#!" line runs under /bin/sh, its arguments still literal.
  std::string script = dir / "plain-script";
  kesp_test::writeFile(script, "printf '%s|' \"$0\" \"$@\"; exit 3\n", 0755);
  EXPECT_EQ(detail::runArgv({script, "a b", "$(touch " + canary + ")"}, &output), 3 * 256);
  EXPECT_EQ(output, script + "|a b|$(touch " + canary + ")|");
  EXPECT_FALSE(kesp_test::fileExists(canary));

  // Input arrives whole and then ends; a program that reads none of it
  // (more than any buffer holds) costs the caller no SIGPIPE.
  const std::string input = "nameserver 192.0.2.53\n";
  EXPECT_EQ(detail::runArgv({"/bin/cat"}, &output, {}, &input), 0);
  EXPECT_EQ(output, input);
  const std::string unread(1 << 22, 'x');
  EXPECT_EQ(detail::runArgv({"/bin/true"}, &output, {}, &unread), 0);
}

TEST(ShellQuoteTest, OneLiteralWordForTheShell) {
  const std::string values[] = {"plain/path-1.2", "", "a b", "it's", "$(id)", "`id`", "x;y\nz", "\\"};
  for (const std::string& value : values) {
    std::string output;
    ASSERT_EQ(execute("printf '%s|' " + shell_quote(value), output), 0) << value;
    EXPECT_EQ(output, value + "|") << value;
  }
  EXPECT_EQ(shell_quote("plain/path-1.2"), "plain/path-1.2");
}

// A draft only records, and an offline image's programs are not this
// machine's: every way of running a program refuses, and says so.
TEST(ProgramRuleTest, NothingRunsInADraftOrOnAnOfflineImage) {
  kesp_test::TempDir dir;
  const std::string marker = dir / "ran";
  const std::string command = "touch '" + marker + "'";
  const std::vector<std::pair<const char*, std::function<int()>>> ways = {
      {"execute", [&] { std::string out; return execute(command, out); }},
      {"execute_no_wait", [&] { return execute_no_wait(command); }},
      {"system_env", [&] { return system_env(command, "", {}); }},
      {"run_program", [&] {
         const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
         return run_program(argv);
       }},
      {"runArgv", [&] { return detail::runArgv({"/bin/sh", "-c", command}); }},
      {"Parser::execute", [&] { return Parser().execute(command); }},
  };
  for (const bool offline : {false, true}) {
    for (const auto& way : ways) {
      kesp_test::LogCapture log;
      int status = 0;
      if (offline) {
        setOfflineImage(true);
        status = way.second();
        setOfflineImage(false);
      } else {
        detail::Draft draft;
        status = way.second();
      }
      EXPECT_EQ(status, -1) << way.first << (offline ? " offline" : " in a draft");
      EXPECT_FALSE(kesp_test::fileExists(marker)) << way.first;
      EXPECT_TRUE(log.contains("[ERROR] refused to run ")) << way.first;
    }
  }
  // Neither: the program runs.
  EXPECT_EQ(detail::runArgv({"/bin/sh", "-c", command}), 0);
  EXPECT_TRUE(kesp_test::fileExists(marker));
}

TEST(RunArgvTest, SplitBlanks) {
  EXPECT_EQ(detail::splitBlanks("  a \t b\nc  "), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(detail::splitBlanks(" \t").empty());
}

}  // namespace
