// The menu's labels and actions without a terminal: the time-zone label, what
// menu_handler starts, and the login action when standard input is no terminal.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "menu_actions.h"
#include "test_support.h"

namespace {

// Sets TZ for a test and puts the previous value back afterwards.
class TimeZone {
 public:
  explicit TimeZone(const char* value) {
    const char* old = std::getenv("TZ");
    if (old) saved_ = old, had_ = true;
    setenv("TZ", value, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

// choices is process-wide; every test gets the initial labels back.
class ConsoleMenuActions : public ::testing::Test {
 protected:
  void SetUp() override { std::memcpy(saved_, choices, sizeof saved_); }
  void TearDown() override { std::memcpy(choices, saved_, sizeof saved_); }

 private:
  char saved_[2][64];
};

TEST_F(ConsoleMenuActions, CurrentZoneNameFitsTheBuffer) {
  struct Case {
    const char* tz;
    size_t size;
    const char* expected;
  } cases[] = {
      {"UTC", 64, "UTC"},
      {"EST5", 64, "EST"},
      {"<+0330>-3:30", 64, "+0330"},
      {"EST5", 5, "EST"},       // needs 4 bytes, the limit is one less than the size
      {"EST5", 4, "Unk"},       // too small for the zone: "Unknown", cut and terminated
      {"EST5", 1, ""},
  };
  for (const Case& c : cases) {
    TimeZone zone(c.tz);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    kesp_console::currentZoneName(buffer, c.size);
    EXPECT_STREQ(buffer, c.expected) << c.tz << " in " << c.size << " bytes";
  }
  char untouched = 'x';
  kesp_console::currentZoneName(&untouched, 0);
  EXPECT_EQ(untouched, 'x');
}

TEST_F(ConsoleMenuActions, TimezoneLabelCarriesTheZoneAndIsCutAt62Bytes) {
  {
    TimeZone zone("UTC");
    kesp_console::rewriteTimezoneLabel();
    EXPECT_STREQ(choices[1], "Set Timezone (Current:UTC)");
    EXPECT_STREQ(choices[0], "Login");
  }
  std::memcpy(choices[1], "Set Timezone", sizeof "Set Timezone");
  {
    std::string longZone(40, 'Z');
    TimeZone zone(("<" + longZone + ">5").c_str());
    kesp_console::rewriteTimezoneLabel();
    std::string expected = ("Set Timezone (Current:" + longZone + ")").substr(0, 62);
    EXPECT_EQ(std::string(choices[1]), expected);
  }
}

TEST_F(ConsoleMenuActions, IncompleteCharacterAtTheEndIsDropped) {
  std::string oldLocale = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"Zeitzone w\xc3\xa4hlen", "Zeitzone w\xc3\xa4hlen"},
      {"Zeitzone w\xc3", "Zeitzone w"},
      {"Euro \xe2\x82", "Euro "},
      {"\xe2\x82", ""},
      {"plain", "plain"},
      {"bad \xff byte", "bad \xff byte"},  // not a cut: left alone
  };
  for (const Case& c : cases) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", c.text);
    kesp_console::dropIncompleteCharacter(text);
    EXPECT_STREQ(text, c.expected);
  }
  std::setlocale(LC_CTYPE, oldLocale.c_str());
}

/// Runs body in a child process with standard input from `input` (a pipe)
/// and standard output and error into files; returns the exit status.
struct ChildResult {
  int status = -1;
  std::string output;
  std::string errors;
};

template <typename Body>
ChildResult runChild(const kesp_test::TempDir& dir, const std::string& input, Body body) {
  int toChild[2];
  if (pipe(toChild) != 0) return {};
  std::string outPath = dir / "stdout", errPath = dir / "stderr";
  pid_t child = fork();
  if (child == 0) {
    close(toChild[1]);
    dup2(toChild[0], STDIN_FILENO);
    close(toChild[0]);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    close(out);
    close(err);
    body();
    _exit(99);  // an action returns only when it could not start its program
  }
  close(toChild[0]);
  if (!input.empty() && write(toChild[1], input.data(), input.size()) < 0) {
  }
  close(toChild[1]);
  ChildResult result;
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = kesp_test::fileExists(outPath) ? kesp_test::readFile(outPath) : "";
  result.errors = kesp_test::fileExists(errPath) ? kesp_test::readFile(errPath) : "";
  return result;
}

const char kRecordingScript[] =
    "#!/bin/sh\n"
    "record=\"$(dirname \"$0\")/$(basename \"$0\").record\"\n"
    ": > \"$record\"\n"
    "for argument in \"$@\"; do echo \"arg:$argument\" >> \"$record\"; done\n"
    "for fd in 0 1 2; do echo \"fd$fd:$(readlink /proc/$$/fd/$fd || echo closed)\" >> \"$record\"; done\n"
    "exit 7\n";

struct HandlerCase {
  const char* name;
  const char* chosen;         // nullptr: the rewritten time-zone label
  const char* program;        // stand-in installed at this path, or nullptr
  int status;
  const char* expectedRecord;  // stand-in's record, or nullptr when it must not run
  const char* failure;         // what lastActionFailure() names when the handler returns
};

TEST_F(ConsoleMenuActions, HandlerStartsTheChosenProgramOrReturnsSayingWhy) {
  const std::string tool = "/opt/tolvex/share/kesp/kesp_set_timezone";
  const HandlerCase cases[] = {
      {"time-zone tool, path as its only argument", nullptr, tool.c_str(), 7, "", ""},
      {"time-zone tool missing", nullptr, nullptr, 99, nullptr, "kesp_set_timezone: "},
      {"no entry matches", "Reboot", tool.c_str(), 99, nullptr, "Reboot: "},
      {"login program missing", "Login", nullptr, 99, nullptr, "/bin/login: "},
  };
  TimeZone zone("UTC");
  kesp_console::rewriteTimezoneLabel();
  for (const HandlerCase& c : cases) {
    SCOPED_TRACE(c.name);
    kesp_test::SystemRoot root;
    kesp_test::TempDir dir;
    root.write("/usr/bin/clear", "#!/bin/sh\necho run >> \"$(dirname \"$0\")/clear.runs\"\n", 0755);
    if (c.program) root.write(c.program, kRecordingScript, 0755);
    std::string chosen = c.chosen ? c.chosen : choices[1];
    ChildResult result = runChild(dir, "", [&] {
      menu_handler(chosen.c_str());
      std::printf("failure:%s\n", kesp_console::lastActionFailure().c_str());
      std::fflush(stdout);
    });
    EXPECT_EQ(result.status, c.status) << result.errors;
    if (c.status == 99) {
      EXPECT_NE(result.output.find(c.failure), std::string::npos) << result.output;
    }
    EXPECT_EQ(root.read("/usr/bin/clear.runs"), "run\n") << "clear runs first, always";
    std::string record = root / (tool + ".record");
    if (c.expectedRecord) {
      // "$@" of the script is what followed the program's own path: nothing.
      std::string text = kesp_test::readFile(record);
      EXPECT_EQ(text.find("arg:"), std::string::npos) << text;
    } else {
      EXPECT_FALSE(kesp_test::fileExists(record));
    }
  }
}

struct LoginCase {
  const char* name;
  std::string typed;
  std::string userName;
};

TEST_F(ConsoleMenuActions, LoginWithoutATerminalKeepsTheStandardStreams) {
  const LoginCase cases[] = {
      {"plain name", "  alice\n", "alice"},
      {"name that looks like an option", "-f root\n", "-f"},
      {"end of input", "", ""},
      {"name longer than 255 characters", std::string(300, 'n') + "\n", std::string(255, 'n')},
  };
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(c.name);
    kesp_test::SystemRoot root;
    kesp_test::TempDir dir;
    root.write("/bin/login", kRecordingScript, 0755);
    ChildResult result = runChild(dir, c.typed, [] { kesp_console::runLoginAction(); });
    EXPECT_EQ(result.status, 7) << "the login stand-in ran; " << result.errors;
    EXPECT_EQ(result.output, "\n" + std::string(host) + " login: ");
    // The pipe behind standard input is no device that can be opened again.
    EXPECT_NE(result.errors.find("pipe:["), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find(std::strerror(ENOENT)), std::string::npos) << result.errors;

    std::string record = root.read("/bin/login.record");
    EXPECT_NE(record.find("arg:--\narg:" + c.userName + "\nfd0:"), std::string::npos) << record;
    EXPECT_NE(record.find("fd0:pipe:["), std::string::npos) << record;
    EXPECT_NE(record.find("fd1:" + (dir / "stdout")), std::string::npos) << record;
    EXPECT_NE(record.find("fd2:" + (dir / "stderr")), std::string::npos) << record;
  }
}

}  // namespace
