#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "kesp/log.h"
#include "test_support.h"

using namespace KESP;
using kesp_test::LogCapture;

namespace {

/// Restores the process-wide log state whatever a test did to it.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    level_ = g_kesp_log_level;
    file_ = g_kesp_log_file_name;
  }
  void TearDown() override {
    g_kesp_log_level = level_;
    g_kesp_log_file_name = file_;
    unsetenv("KESP_LOG_LEVEL");
    unsetenv("KESP_LOG_FILE");
  }
  int level_ = LOG_WARN;
  std::string file_;
};

TEST_F(LogTest, LineFormatIsTimestampLevelAndMessage) {
  LogCapture log(LOG_DEBUG);
  KESP_LOG(LOG_ERROR, "save", "Failed to write file " << "/etc/x" << ' ' << 42);
  KESP_LOG(LOG_DEBUG, "load", "d");
  std::string text = log.text();
  std::regex line(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d \[ERROR\] Failed to write file /etc/x 42\n)"
                  R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d \[DEBUG\] d\n)");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(LogTest, StatementBelowThresholdFormatsNothing) {
  LogCapture log(LOG_WARN);
  int evaluated = 0;
  auto count = [&]() { return ++evaluated; };
  KESP_LOG(LOG_INFO, "op", "never " << count());
  KESP_LOG(LOG_WARN, "op", "once " << count());
  EXPECT_EQ(evaluated, 1);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[WARN] once 1"});
  g_kesp_log_level = LOG_NONE;
  KESP_LOG(LOG_ERROR, "op", "silenced " << count());
  EXPECT_EQ(evaluated, 1);
}

TEST_F(LogTest, DefaultAndNamedStreamsByLevel) {
  struct Case {
    std::string destination;
    int level;
    bool toStdout;
    std::string name;
  } cases[] = {
      {"", LOG_INFO, true, "INFO"},       {"", LOG_WARN, false, "WARN"},
      {"", LOG_ERROR, false, "ERROR"},    {"", 4, false, "unknown"},
      {"", -1, true, "unknown"},          {"stdout", LOG_ERROR, true, "ERROR"},
      {"stderr", LOG_DEBUG, false, "DEBUG"},
  };
  for (const Case& c : cases) {
    g_kesp_log_file_name = c.destination;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    kesp_log_write(c.level, __FILE__, __LINE__, "op", "message");
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    const std::string& hit = c.toStdout ? out : err;
    const std::string& miss = c.toStdout ? err : out;
    EXPECT_NE(hit.find("[" + c.name + "] message\n"), std::string::npos)
        << c.destination << " " << c.level;
    EXPECT_TRUE(miss.empty()) << c.destination << " " << c.level;
  }
}

TEST_F(LogTest, UnopenableFileFallsBackWithNotice) {
  g_kesp_log_file_name = "/nonexistent-dir-kesp/log";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  kesp_log_write(LOG_INFO, __FILE__, __LINE__, "op", "hello");
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Couldn't open log file /nonexistent-dir-kesp/log\n");
  EXPECT_NE(out.find("[INFO] hello"), std::string::npos);
}

TEST_F(LogTest, FileDestinationAppendsLines) {
  kesp_test::TempDir dir;
  g_kesp_log_file_name = dir / "log";
  kesp_test::writeFile(dir / "log", "earlier\n");
  kesp_log_write(LOG_WARN, __FILE__, __LINE__, "op", "one");
  kesp_log_write(LOG_DEBUG, __FILE__, __LINE__, "op", "two");
  std::string text = kesp_test::readFile(dir / "log");
  EXPECT_EQ(text.rfind("earlier\n", 0), 0u);
  EXPECT_NE(text.find("[WARN] one\n"), std::string::npos);
  EXPECT_NE(text.find("[DEBUG] two\n"), std::string::npos);
}

TEST_F(LogTest, ParseLevelNames) {
  struct Case {
    std::string text;
    int expected;  // -1: rejected
  } cases[] = {
      {"n", 4}, {"NONE", 4}, {"d", 0}, {"Debug", 0}, {"i", 1}, {"info", 1}, {"w", 2},
      {"WARNING", 2}, {"warn", 2}, {"e", 3}, {"error", 3}, {"Warn ", -1}, {"", -1}, {"x", -1},
  };
  for (const Case& c : cases) {
    g_kesp_log_level = 1;
    testing::internal::CaptureStderr();
    kesp_log_parse_level(c.text);
    std::string err = testing::internal::GetCapturedStderr();
    if (c.expected < 0) {
      EXPECT_EQ(g_kesp_log_level, 1) << c.text;
      EXPECT_EQ(err, "Invalid log level - " + c.text + "\n");
    } else {
      EXPECT_EQ(g_kesp_log_level, c.expected) << c.text;
      EXPECT_EQ(err, "");
    }
  }
}

TEST_F(LogTest, SetLevelRejectsOutOfRange) {
  testing::internal::CaptureStderr();
  kesp_log_set_level(4);
  kesp_log_set_level(5);
  kesp_log_set_level(-1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Invalid log level - 5\nInvalid log level - -1\n");
  EXPECT_EQ(g_kesp_log_level, 4);
}

TEST_F(LogTest, EnvironmentSetsLevelAndFile) {
  setenv("KESP_LOG_LEVEL", "debug", 1);
  setenv("KESP_LOG_FILE", "stdout", 1);
  kesp_log_init_from_env();
  EXPECT_EQ(g_kesp_log_level, LOG_DEBUG);
  EXPECT_EQ(g_kesp_log_file_name, "stdout");
  // An empty file value returns to the default streams.
  setenv("KESP_LOG_FILE", "", 1);
  unsetenv("KESP_LOG_LEVEL");
  kesp_log_init_from_env();
  EXPECT_EQ(g_kesp_log_file_name, "");
  EXPECT_EQ(g_kesp_log_level, LOG_DEBUG);
}

TEST_F(LogTest, TrapFiresOnlyForItsNumber) {
  setenv("KESP_TRAP", "7", 1);
  kesp_trap(6);  // must return normally
  EXPECT_EXIT(kesp_trap(7), testing::KilledBySignal(SIGTRAP), "");
  unsetenv("KESP_TRAP");
}

}  // namespace
