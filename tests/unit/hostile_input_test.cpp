// Hostile texts on their way into resolv.conf and onto command lines: name
// servers are refused or written one clean "nameserver" line each; host names
// and property names reach their scripts as literal arguments, split only at
// blanks; system_env hands values and directories to the shell as literal
// words. Nothing may run a command of the text's own.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <sstream>

#include "change_root.h"
#include "hostile_values.h"
#include "kesp/log.h"
#include "kesp/network.h"
#include "kesp/scripts.h"
#include "kesp/time_zone.h"
#include "kesp/util.h"
#include "test_support.h"
#include "tree_state.h"

using namespace KESP;
using namespace kesp_test;

namespace {

bool isAddress(const std::string& text) {
  unsigned char buffer[sizeof(in6_addr)];
  return text.find('\0') == std::string::npos &&
         (inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
          inet_pton(AF_INET6, text.c_str(), buffer) == 1);
}

/// Empty when the file is exactly one "nameserver <address>" line per server,
/// as the resolver reads lines; otherwise what is wrong.
std::string resolverProblem(const std::string& file, const std::vector<std::string>& servers) {
  std::istringstream in(readFile(file));
  size_t index = 0;
  for (std::string line; std::getline(in, line); ++index) {
    const std::string prefix = "nameserver ";
    if (line.compare(0, prefix.size(), prefix) != 0) return "line '" + visible(line) + "'";
    const std::string server = line.substr(prefix.size());
    if (!isAddress(server)) return "name server '" + visible(server) + "'";
    if (index >= servers.size() || server != servers[index]) return "unexpected " + server;
  }
  if (index != servers.size()) return std::to_string(index) + " name servers";
  return std::string();
}

TEST(HostileInputTest, NameServersAreRefusedOrWrittenAsOneLineEach) {
  int values = 0;
  int injections = 0;
  ChangeRoot root("debian");
  const std::string canary = root.root().path() + "/canary";
  for (const char* plausible : {"10.0.0.53", "2001:db8::53"}) {
    for (const std::string& hostile : hostileValues(plausible, canary)) {
      for (bool pending : {false, true}) {
        const std::vector<std::string> servers =
            pending ? std::vector<std::string>{"10.0.0.1", hostile} : std::vector<std::string>{hostile};
        const std::string file = root / (pending ? RESOLV_CONF_PENDING : RESOLV_CONF);
        const TreeState before = treeState(root.root().path());
        LogCapture log(LOG_ERROR);
        const bool result = setDnsServers(servers, pending);
        std::string problem;
        if (!result) {
          problem = treeDifference(before, treeState(root.root().path()));
          if (problem.empty() && !log.contains("[ERROR]")) problem = "refused without an error";
        } else {
          problem = resolverProblem(file, servers);
        }
        if (problem.empty() && fileExists(canary)) problem = "a command ran";
        ++values;
        if (!problem.empty()) ++injections;
        EXPECT_EQ(problem, "") << (pending ? "pending " : "") << "'" << visible(hostile) << "'";
      }
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

/// The words a text stands for as separate arguments: split at blanks.
std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> result;
  std::string word;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) result.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) result.push_back(word);
  return result;
}

/// A script stand-in at the system path that records its arguments.
struct ScriptCase {
  const char* name;
  const char* script;
  const char* plausible;
  /// Runs the operation with the text; true when it reports that the script ran.
  std::function<bool(const std::string&)> run;
  /// The arguments the script must get before the text's words.
  std::vector<std::string> leading;
};

const ScriptCase kScriptCases[] = {
    {"kesp_set_hostname", "/opt/tolvex/share/kesp/kesp_set_hostname", "appliance.example",
     [](const std::string& name) { return kesp_set_hostname(name) == 0; },
     {}},
    {"getOvfProperty", "/opt/tolvex/share/kesp/kesp_ovf_process", "kesp.ip0.eth0",
     [](const std::string& name) {
       std::string value;
       getOvfProperty(name, value);
       return value == "recorded\n";
     },
     {"-g"}},
};

TEST(HostileInputTest, ScriptsGetTheTextAsLiteralArguments) {
  int values = 0;
  int injections = 0;
  for (const ScriptCase& script : kScriptCases) {
    ChangeRoot root("debian");
    TempDir records;
    const std::string record = records / "arguments";
    root.root().write(script.script, argumentRecorder(record), 0755);
    const std::string canary = root.root().path() + "/canary";
    for (const std::string& hostile : hostileValues(script.plausible, canary)) {
      unlink(record.c_str());
      LogCapture log(LOG_ERROR);
      const bool ran = script.run(hostile);
      const auto calls = recordedCalls(record);
      std::vector<std::string> expected = script.leading;
      for (const std::string& word : words(hostile)) expected.push_back(word);
      std::string problem;
      if (hostile.find('\0') != std::string::npos) {
        // No argument can carry a NUL byte: the text is refused, not cut short.
        if (ran || !calls.empty() || !log.contains("[ERROR]"))
          problem = "a text with a NUL byte was passed on";
      } else if (!ran || calls.size() != 1 || calls[0] != expected) {
        problem = "the script got " + std::to_string(calls.size()) + " calls, not the words";
      }
      if (problem.empty() && fileExists(canary)) problem = "a command ran";
      ++values;
      if (!problem.empty()) ++injections;
      EXPECT_EQ(problem, "") << script.name << "('" << visible(hostile) << "')";
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

TEST(HostileInputTest, SystemEnvPassesValuesAndDirectoriesLiterally) {
  int values = 0;
  int injections = 0;
  TempDir work;
  const std::string canary = work / "canary";
  const std::string out = work / "out";
  for (const std::string& hostile : hostileValues("some value", canary)) {
    unlink(out.c_str());
    LogCapture log(LOG_ERROR);
    const int status =
        system_env("printf '%s' \"$KESP_VALUE\" > '" + out + "'", "", {{"KESP_VALUE", hostile}});
    std::string problem;
    if (status == -1) {
      if (fileExists(out) || !log.contains("[ERROR]")) problem = "refused, but ran or said nothing";
    } else if (status != 0 || !fileExists(out) || readFile(out) != hostile) {
      problem = "the command saw '" + (fileExists(out) ? visible(readFile(out)) : "") + "'";
    }
    if (problem.empty() && fileExists(canary)) problem = "a command ran";
    ++values;
    if (!problem.empty()) ++injections;
    EXPECT_EQ(problem, "") << "value '" << visible(hostile) << "'";
  }
  // Directory names cannot hold "/" or NUL; the canary is made relative to
  // wherever a command would run.
  for (const std::string& hostile : hostileValues("some dir", "canary")) {
    if (hostile.find('/') != std::string::npos || hostile.find('\0') != std::string::npos ||
        hostile == "." || hostile == "..")
      continue;
    const std::string directory = work / hostile;
    makeDirs(directory);
    unlink(out.c_str());
    const int status = system_env("pwd > '" + out + "'", directory, {});
    std::string problem;
    if (status != 0 || !fileExists(out) || readFile(out) != directory + "\n")
      problem = "the command ran in '" + (fileExists(out) ? visible(readFile(out)) : "") + "'";
    if (problem.empty() && (fileExists(directory + "/canary") || fileExists(work / "canary") ||
                            fileExists("canary")))
      problem = "a command ran";
    ++values;
    if (!problem.empty()) ++injections;
    EXPECT_EQ(problem, "") << "directory '" << visible(hostile) << "'";
    shell("rm -rf '" + work.path() + "'/*");
  }
  // Variable names are checked, never quoted: a bad one stops everything.
  for (const std::string& hostile : hostileValues("KESP_NAME", canary)) {
    unlink(out.c_str());
    LogCapture log(LOG_ERROR);
    const int status = system_env("echo ran > '" + out + "'", "", {{hostile, "x"}});
    const bool refused = status == -1 && !fileExists(out) && log.contains("[ERROR]") &&
                         !fileExists(canary);
    ++values;
    if (!refused) ++injections;
    EXPECT_TRUE(refused) << "name '" << visible(hostile) << "'";
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

// A zone's name becomes a path and a link target: only a zone file of the
// database is ever taken, however the name tries to leave it.
TEST(HostileInputTest, TimeZoneNamesNeverLeaveTheZoneDatabase) {
  ChangeRoot root("debian");
  const std::string zone = readFile("/usr/share/zoneinfo/Europe/Berlin");
  writeFile(root / "/usr/share/zoneinfo/Europe/Berlin", zone);
  writeFile(root / "/etc/lure", zone);  // a zone file outside the database
  writeFile(root / "/etc/timezone", "Etc/UTC\n");
  std::vector<std::string> names = hostileValues("Europe/Berlin", root / "/canary");
  for (const char* path : {"../../../etc/lure", "/etc/lure", "Europe/./Berlin", "Europe//Berlin",
                           "Europe", "Europe/Berlin/", ""})
    names.push_back(path);
  LogCapture quiet(LOG_NONE);
  for (const std::string& name : names) {
    const bool accepted = setTimeZoneFiles(name);
    EXPECT_EQ(accepted, name == "Europe/Berlin") << visible(name);
    EXPECT_EQ(readFile(root / "/etc/timezone"), accepted ? name + "\n" : "Etc/UTC\n") << visible(name);
    if (accepted) writeFile(root / "/etc/timezone", "Etc/UTC\n");
  }
  EXPECT_FALSE(fileExists(root / "/canary"));
}

}  // namespace
