// Standard error of the console goes to a log file while the screen is drawn,
// and back to where it was afterwards.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "stderr_redirect.h"
#include "test_support.h"

namespace {

class EnvironmentVariable {
 public:
  explicit EnvironmentVariable(const char* name) : name_(name) {
    const char* value = std::getenv(name);
    if (value) saved_ = value, had_ = true;
  }
  ~EnvironmentVariable() {
    if (had_)
      setenv(name_, saved_.c_str(), 1);
    else
      unsetenv(name_);
  }
  void set(const std::string& value) const { setenv(name_, value.c_str(), 1); }
  void unset() const { unsetenv(name_); }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

ino_t inodeOfStandardError() {
  struct stat info;
  return fstat(STDERR_FILENO, &info) == 0 ? info.st_ino : 0;
}

struct RedirectCase {
  const char* name;
  const char* logFileVariable;  // nullptr: unset; "@named": a file in a temporary dir
  bool defaultDirExists;
  const char* expected;  // "@named", "@default" or "/dev/null"
};

TEST(ConsoleStderrRedirect, GoesToTheLogAndComesBack) {
  const RedirectCase cases[] = {
      {"variable names a file", "@named", true, "@named"},
      {"variable unset", nullptr, true, "@default"},
      {"variable empty", "", true, "@default"},
      {"variable selects a stream", "stdout", true, "@default"},
      {"named file cannot be opened", "/nonexistent-kesp-dir/x.log", true, "@default"},
      {"neither can be opened", "/nonexistent-kesp-dir/x.log", false, "/dev/null"},
  };
  for (const RedirectCase& c : cases) {
    SCOPED_TRACE(c.name);
    kesp_test::SystemRoot root;
    kesp_test::TempDir other;
    if (c.defaultDirExists) kesp_test::makeDirs(root / "/var/log");
    const std::string named = other / "named.log";
    const std::string defaultLog = root / "/var/log/kesp_login.log";
    EnvironmentVariable variable("KESP_LOG_FILE");
    if (!c.logFileVariable)
      variable.unset();
    else
      variable.set(std::string(c.logFileVariable) == "@named" ? named : c.logFileVariable);
    std::string expected = std::string(c.expected) == "@named"     ? named
                           : std::string(c.expected) == "@default" ? defaultLog
                                                                   : c.expected;

    ino_t before = inodeOfStandardError();
    {
      kesp_console::StderrRedirect redirect;
      EXPECT_EQ(redirect.toLog(), expected);
      EXPECT_TRUE(redirect.active());
      const char marker[] = "kesp console marker\n";
      ASSERT_EQ(write(STDERR_FILENO, marker, sizeof marker - 1),
                static_cast<ssize_t>(sizeof marker - 1));
      redirect.restore();
      EXPECT_FALSE(redirect.active());
      EXPECT_EQ(inodeOfStandardError(), before) << "standard error is back";
      if (expected != "/dev/null") {
        EXPECT_EQ(kesp_test::readFile(expected), marker);
      }
    }
    EXPECT_EQ(inodeOfStandardError(), before);
    if (expected != defaultLog) {
      EXPECT_FALSE(kesp_test::fileExists(defaultLog));
    }
  }
}

TEST(ConsoleStderrRedirect, AppendsAndTakesTheComplaintsOfStartedPrograms) {
  kesp_test::SystemRoot root;
  kesp_test::makeDirs(root / "/var/log");
  EnvironmentVariable variable("KESP_LOG_FILE");
  variable.unset();
  root.write("/var/log/kesp_login.log", "earlier line\n");
  kesp_console::StderrRedirect redirect;
  ASSERT_EQ(redirect.toLog(), root / "/var/log/kesp_login.log");
  // A program started meanwhile (the welcome script) writes its complaints there too.
  EXPECT_EQ(kesp_test::shell("echo from-a-child >&2"), 0);
  redirect.restore();
  EXPECT_EQ(root.read("/var/log/kesp_login.log"), "earlier line\nfrom-a-child\n");
  // restore() twice, and the destructor after it, change nothing.
  ino_t before = inodeOfStandardError();
  redirect.restore();
  EXPECT_EQ(inodeOfStandardError(), before);
}

}  // namespace
