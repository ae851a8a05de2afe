#include "kesp/config.h"

#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

#include "kesp/log.h"
#include "test_support.h"

using kesp_test::LogCapture;
using kesp_test::readFile;
using kesp_test::TempDir;
using kesp_test::writeFile;

namespace {

const std::time_t kOldTime = 1000000000;

std::string propertiesFile(const std::string& properties) {
  return "<KESP-service>\n  <properties>\n" + properties + "  </properties>\n</KESP-service>\n";
}

void setMtime(const std::string& path, std::time_t seconds) {
  struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(0, utimes(path.c_str(), times)) << path;
}

const char* const kDirectory = "(a directory)";

struct LoadCase {
  const char* label;
  const char* content;  // nullptr: no file at all; kDirectory: a directory
  bool loads;
  const char* message;  // expected in the log, %s standing for the path
};

std::string withPath(const std::string& pattern, const std::string& path) {
  std::string text = pattern;
  std::string::size_type at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

TEST(ConfigFileTest, LoadAcceptsAnyRootAndReportsEachBrokenShape) {
  const LoadCase cases[] = {
      {"any root name", "<other><properties/></other>", true, ""},
      {"missing file", nullptr, false, "[DEBUG] configuration file not found %s"},
      {"directory", kDirectory, false,
       "[ERROR] Refusing %s: a directory where a regular file is expected"},
      {"empty file", "", false, "[ERROR] failed to load file %s (Error document empty.)"},
      {"malformed", "<KESP-service><properties>", false, "[ERROR] failed to load file %s ("},
      {"declaration only", "<?xml version=\"1.0\" ?>\n", false,
       "[ERROR] invalid file %s (missing KESP-service element)"},
      {"comment only", "<!-- nothing -->\n", false,
       "[ERROR] invalid file %s (missing KESP-service element)"},
      {"no properties", "<KESP-service><settings/></KESP-service>", false,
       "[ERROR] invalid file '%s' (missing properties element)"},
      {"text that reads properties", "<KESP-service>properties</KESP-service>", false,
       "[ERROR] invalid file '%s' (missing properties element)"},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    std::string path = dir / "kesp.xml";
    if (c.content == kDirectory)
      kesp_test::makeDirs(path);
    else if (c.content)
      writeFile(path, c.content);
    LogCapture log;
    KESP::configfile file(path);
    EXPECT_EQ(c.loads, file.load());
    EXPECT_TRUE(log.contains(withPath(c.message, path))) << log.text();
    std::string value;
    EXPECT_FALSE(file.get("anything", value));
  }
}

TEST(ConfigFileTest, ReadsPropertiesAsTheDocumentHoldsThem) {
  TempDir dir;
  std::string path = dir / "kesp.xml";
  writeFile(path, propertiesFile("<property name=\"twice\" value=\"first\"/>\n"
                                 "<property value=\"no name\"/>\n"
                                 "<property name=\"bare\"/>\n"
                                 "<other name=\"ignored\" value=\"x\"/>\n"
                                 "<property name=\"twice\" value=\"second\"/>\n"
                                 "<property name=\"spaced\" value=\" a  b \"/>\n"));
  KESP::configfile file(path);
  ASSERT_TRUE(file.load());
  std::map<std::string, std::string> all;
  file.getAll(all);
  std::map<std::string, std::string> expected = {
      {"twice", "second"}, {"bare", ""}, {"spaced", " a  b "}};
  EXPECT_EQ(expected, all);
}

TEST(ConfigFileTest, SaveKeepsForeignContentAndRoundTripsSpecialText) {
  TempDir dir;
  std::string path = dir / "kesp.xml";
  writeFile(path, "<KESP-service>\n  <!-- keep me -->\n  <extra kind=\"x\"/>\n"
                  "  <properties>\n    <property name=\"a\" value=\"1\"/>\n"
                  "  </properties>\n</KESP-service>\n");
  const std::string tricky = "<b>&\"quoted\" 'single'\nnext line\ttab";
  KESP::configfile file(path);
  ASSERT_TRUE(file.load());
  ASSERT_TRUE(file.set("tricky", tricky));
  ASSERT_TRUE(file.save());
  EXPECT_FALSE(file.isModified());

  std::string saved = readFile(path);
  EXPECT_NE(std::string::npos, saved.find("keep me"));
  EXPECT_NE(std::string::npos, saved.find("<extra kind=\"x\""));
  KESP::configfile reread(path);
  ASSERT_TRUE(reread.load());
  std::map<std::string, std::string> all;
  reread.getAll(all);
  std::map<std::string, std::string> expected = {{"a", "1"}, {"tricky", tricky}};
  EXPECT_EQ(expected, all);
}

TEST(ConfigFileTest, SaveRefusesWhenNothingWasLoaded) {
  TempDir dir;
  std::string path = dir / "kesp.xml";
  writeFile(path, "<unparsable");
  KESP::configfile file(path);
  LogCapture log;
  EXPECT_FALSE(file.load());
  EXPECT_FALSE(file.save());
  EXPECT_EQ("<unparsable", readFile(path));
  EXPECT_TRUE(log.contains("[ERROR] failed to save file " + path + " ("));
}

TEST(ConfigFileTest, FailedSaveReportsTheSystemErrorAndKeepsTheDocument) {
  TempDir dir;
  std::string path = dir / "gone/kesp.xml";
  writeFile(path, propertiesFile(""));
  KESP::configfile file(path);
  ASSERT_TRUE(file.load());
  ASSERT_EQ(0, kesp_test::shell("rm -rf '" + dir / "gone" + "'"));
  ASSERT_TRUE(file.set("a", "1"));
  LogCapture log;
  EXPECT_FALSE(file.save());
  EXPECT_TRUE(log.contains("[ERROR] failed to save file " + path + " (No such file or directory)"))
      << log.text();
}

TEST(ConfigFileTest, LastWriteTimeReportsOnlyRealErrors) {
  TempDir dir;
  std::string path = dir / "kesp.xml";
  LogCapture log;
  EXPECT_EQ(0, KESP::getLastWriteTime(path));
  EXPECT_EQ("", log.text()) << "absence is no error";
  writeFile(path, "x");
  setMtime(path, kOldTime);
  EXPECT_EQ(kOldTime, KESP::getLastWriteTime(path));

  path = dir / "loop.xml";
  ASSERT_EQ(0, symlink("loop.xml", path.c_str()));
  EXPECT_EQ(0, KESP::getLastWriteTime(path));
  EXPECT_TRUE(log.contains("[ERROR] error occurred while checking for last write time. file=" +
                           path + ", reason="))
      << log.text();
  KESP::configfile file(path);
  EXPECT_FALSE(file.load());
  EXPECT_TRUE(log.contains("[ERROR] unable to check configuration file " + path + " ("));
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(defaults_, propertiesFile("<property name=\"shared\" value=\"default\"/>\n"
                                        "<property name=\"onlyDefault\" value=\"d\"/>\n"));
    writeFile(site_, propertiesFile("<property name=\"shared\" value=\"site\"/>\n"
                                    "<property name=\"onlySite\" value=\"s\"/>\n"));
    setMtime(defaults_, kOldTime);
    setMtime(site_, kOldTime);
    ASSERT_TRUE(config_.addFile(defaults_, true));
    ASSERT_TRUE(config_.addFile(site_, true));
  }

  TempDir dir_;
  std::string defaults_ = dir_ / "defaults.xml";
  std::string site_ = dir_ / "site.xml";
  KESP::Config config_;
};

TEST_F(ConfigTest, NewestFileWinsAndDefaultsComeFromTheFirst) {
  struct Case {
    const char* name;
    bool found;
    const char* value;
    const char* defaultValue;
  };
  const Case cases[] = {
      {"shared", true, "site", "default"},
      {"onlySite", true, "s", ""},
      {"onlyDefault", true, "d", "d"},
      {"missing", false, "", "untouched"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string value = "junk";
    std::string defaultValue = "untouched";
    EXPECT_EQ(c.found, config_.get(c.name, value, defaultValue));
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(c.defaultValue, defaultValue);
  }
  std::map<std::string, std::string> all;
  config_.getAll(all);
  std::map<std::string, std::string> expected = {
      {"shared", "site"}, {"onlyDefault", "d"}, {"onlySite", "s"}};
  EXPECT_EQ(expected, all);
}

TEST_F(ConfigTest, SetOfTheCurrentValueWritesNothing) {
  EXPECT_TRUE(config_.set("shared", "site"));
  // Equal to the default file's value, which is what a lookup returns.
  EXPECT_TRUE(config_.set("onlyDefault", "d"));
  EXPECT_EQ(kOldTime, KESP::getLastWriteTime(site_));
  EXPECT_EQ(kOldTime, KESP::getLastWriteTime(defaults_));
}

TEST_F(ConfigTest, SetOfANewNameIsAppendedToTheNewestFileAndSaved) {
  std::string before = readFile(defaults_);
  ASSERT_TRUE(config_.set("added", "new value"));
  ASSERT_TRUE(config_.set("onlyDefault", "overridden"));
  EXPECT_EQ(before, readFile(defaults_));

  std::string saved = readFile(site_);
  std::string::size_type added = saved.find("name=\"added\"");
  ASSERT_NE(std::string::npos, added) << saved;
  EXPECT_LT(saved.find("name=\"onlySite\""), added);
  EXPECT_LT(added, saved.find("name=\"onlyDefault\""));
  EXPECT_LT(saved.find("name=\"onlyDefault\""), saved.find("</properties>"));

  KESP::Config reread;
  ASSERT_TRUE(reread.addFile(site_, true));
  std::string value;
  EXPECT_TRUE(reread.get("added", value));
  EXPECT_EQ("new value", value);
  EXPECT_TRUE(reread.get("onlyDefault", value));
  EXPECT_EQ("overridden", value);
}

TEST_F(ConfigTest, AutoReloadSeesAChangeOfAtLeastASecond) {
  std::string value;
  writeFile(site_, propertiesFile("<property name=\"shared\" value=\"edited\"/>\n"));
  setMtime(site_, kOldTime + 1);
  ASSERT_TRUE(config_.get("shared", value));
  EXPECT_EQ("site", value) << "reloaded although auto reload is off";

  config_.setAutoReload(true);
  LogCapture log;
  ASSERT_TRUE(config_.get("shared", value));
  EXPECT_EQ("edited", value);
  EXPECT_TRUE(log.contains("[INFO] Reloading new configuration. file=" + site_));

  // A broken edit leaves the file empty-handed: lookups fall through to the defaults.
  writeFile(site_, "<KESP-service>");
  setMtime(site_, kOldTime + 2);
  ASSERT_TRUE(config_.get("shared", value));
  EXPECT_EQ("default", value);
  EXPECT_TRUE(log.contains("[ERROR] Unable to reload configuration file: " + site_));
}

TEST(ConfigStoreTest, SetRefusesWithoutAWritableLoadedFile) {
  TempDir dir;
  LogCapture log;
  KESP::Config empty;
  EXPECT_FALSE(empty.set("a", "1"));
  EXPECT_TRUE(log.contains("[ERROR] file list is empty"));

  std::string missing = dir / "missing.xml";
  KESP::Config config;
  EXPECT_FALSE(config.addFile(missing, true));
  EXPECT_FALSE(config.set("a", "1"));
  EXPECT_FALSE(config.addFile(missing, false));
  EXPECT_FALSE(config.set("a", "1"));
  EXPECT_TRUE(log.contains("[ERROR] setting value is not supported, make sure to use an existing file"));
  EXPECT_FALSE(kesp_test::fileExists(missing));
}

TEST(ConfigStoreTest, AddNewFileCreatesALoadableFile) {
  TempDir dir;
  std::string path = dir / "new.xml";
  KESP::Config config;
  ASSERT_TRUE(config.addNewFile(path, "KESP-service"));
  ASSERT_TRUE(config.set("log_level", "debug"));
  EXPECT_NE(std::string::npos, readFile(path).find("<KESP-service>"));
  EXPECT_NE(std::string::npos, readFile(path).find("name=\"log_level\" value=\"debug\""));
}

TEST(ConfigStoreTest, AddNewFileFailuresWriteNothing) {
  TempDir dir;
  struct Case {
    std::string path;
    const char* root;
    std::string message;
  };
  const Case cases[] = {
      {dir / "absent/new.xml", "KESP-service",
       "[ERROR] failed to create new file " + dir / "absent/new.xml" +
           " (No such file or directory)"},
      {dir / "bad.xml", "two words", "[ERROR] failed to create new file " + dir / "bad.xml"},
      {dir / "empty.xml", "", "[ERROR] failed to create new file " + dir / "empty.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    LogCapture log;
    KESP::Config config;
    EXPECT_FALSE(config.addNewFile(c.path, c.root));
    EXPECT_TRUE(log.contains(c.message)) << log.text();
    EXPECT_FALSE(kesp_test::fileExists(c.path));
    EXPECT_FALSE(config.set("a", "1"));
  }
}

// kesp_log_init changes process-wide state: the guard puts the globals and the
// environment back whatever the test does.
class LogInitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saveEnv("KESP_LOG_LEVEL", levelEnv_);
    saveEnv("KESP_LOG_FILE", fileEnv_);
    unsetenv("KESP_LOG_LEVEL");
    unsetenv("KESP_LOG_FILE");
    KESP::g_kesp_log_level = KESP::LOG_WARN;
    KESP::g_kesp_log_file_name.clear();
  }
  void TearDown() override {
    restoreEnv("KESP_LOG_LEVEL", levelEnv_);
    restoreEnv("KESP_LOG_FILE", fileEnv_);
    KESP::g_kesp_log_level = oldLevel_;
    KESP::g_kesp_log_file_name = oldFile_;
  }

  std::string initCapturingStderr() {
    testing::internal::CaptureStderr();
    KESP::kesp_log_init();
    return testing::internal::GetCapturedStderr();
  }

  kesp_test::SystemRoot root_;
  const std::string configPath_ = root_ / "/opt/tolvex/etc/kesp/kesp.xml";

 private:
  static void saveEnv(const char* name, std::pair<bool, std::string>& saved) {
    const char* value = std::getenv(name);
    saved = {value != nullptr, value ? value : ""};
  }
  static void restoreEnv(const char* name, const std::pair<bool, std::string>& saved) {
    if (saved.first)
      setenv(name, saved.second.c_str(), 1);
    else
      unsetenv(name);
  }

  std::pair<bool, std::string> levelEnv_;
  std::pair<bool, std::string> fileEnv_;
  int oldLevel_ = KESP::g_kesp_log_level;
  std::string oldFile_ = KESP::g_kesp_log_file_name;
};

TEST_F(LogInitTest, FileSetsLevelAndDestination) {
  const std::string logPath = root_ / "/var/log/kesp.log";
  root_.write("/opt/tolvex/etc/kesp/kesp.xml",
              propertiesFile("<property name=\"log_level\" value=\"Error\"/>\n"
                             "<property name=\"log_file\" value=\"" + logPath + "\"/>\n"));
  EXPECT_EQ("", initCapturingStderr());
  EXPECT_EQ(KESP::LOG_ERROR, KESP::g_kesp_log_level);
  EXPECT_EQ(logPath, KESP::g_kesp_log_file_name);
}

TEST_F(LogInitTest, MissingLevelIsReportedOnceAndKeepsTheThreshold) {
  root_.write("/opt/tolvex/etc/kesp/kesp.xml",
              propertiesFile("<property name=\"log_file\" value=\"stdout\"/>\n"));
  EXPECT_EQ("Invalid log level - \n", initCapturingStderr());
  EXPECT_EQ(KESP::LOG_WARN, KESP::g_kesp_log_level);
  EXPECT_EQ("stdout", KESP::g_kesp_log_file_name);
}

TEST_F(LogInitTest, EnvironmentWinsOverTheFile) {
  root_.write("/opt/tolvex/etc/kesp/kesp.xml",
              propertiesFile("<property name=\"log_level\" value=\"error\"/>\n"
                             "<property name=\"log_file\" value=\"stdout\"/>\n"));
  setenv("KESP_LOG_LEVEL", "debug", 1);
  setenv("KESP_LOG_FILE", "stderr", 1);
  EXPECT_EQ("", initCapturingStderr());
  EXPECT_EQ(KESP::LOG_DEBUG, KESP::g_kesp_log_level);
  EXPECT_EQ("stderr", KESP::g_kesp_log_file_name);
}

TEST_F(LogInitTest, UnloadableFileIsReportedAndTheEnvironmentStillApplies) {
  root_.write("/opt/tolvex/etc/kesp/kesp.xml", "<KESP-service/>");
  setenv("KESP_LOG_LEVEL", "info", 1);
  std::string errors = initCapturingStderr();
  EXPECT_NE(std::string::npos,
            errors.find("Failed to load KESP configuration file - " + configPath_ + "\n"))
      << errors;
  EXPECT_EQ(KESP::LOG_INFO, KESP::g_kesp_log_level);
}

}  // namespace
