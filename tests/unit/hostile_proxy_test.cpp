// Hostile proxy parts on their way into "/etc/environment" (sourced by
// shells), APT's configuration, yum's and SUSE's sysconfig proxy file (sourced
// by a root shell): refused with nothing written, or written so that bash,
// apt-config and the key-value reader all read back one and the same URL,
// with no new variable or option and no command run, and the parts read back
// exactly as given.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "change_root.h"
#include "hostile_values.h"
#include "kesp/log.h"
#include "kesp/proxy.h"
#include "kesp/util.h"
#include "test_support.h"
#include "tree_state.h"

using namespace KESP;
using namespace kesp_test;

namespace {

const char kEnvironment[] = "/etc/environment";
const std::set<std::string> kEnvironmentNames = {"PATH", "no_proxy", "http_proxy", "https_proxy",
                                                 "ftp_proxy"};

/// One family's package-manager file and how to read the URL back from it.
struct ProxyFamily {
  const char* name;
  const char* family;
  const char* file;
  const char* content;  // empty: the file does not exist yet
};

const ProxyFamily kFamilies[] = {
    {"APT main file", "debian", "/etc/apt/apt.conf", "APT::Install-Recommends \"false\";\n"},
    {"APT part", "debian", "/etc/apt/apt.conf.d/99proxy", ""},
    {"yum", "redhat", "/etc/yum.conf", "[main]\ngpgcheck=1\n"},
    {"SUSE sysconfig", "suse", "/etc/sysconfig/proxy", "PROXY_ENABLED=\"no\"\nHTTP_PROXY=\"\"\n"},
};

struct Parts {
  std::string texts[4] = {"proxy.example", "3128", "user", "secret"};
};
const char* const kPartNames[] = {"host", "port", "user", "password"};

bool isInertUrl(const std::string& url) {
  for (char c : url) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && std::strchr(".-_~%:/@", c) == nullptr) return false;
  }
  return !url.empty();
}

std::string aptProxy(const std::vector<std::string>& options) {
  const std::string prefix = "Acquire::http::Proxy \"";
  for (const std::string& option : options)
    if (option.compare(0, prefix.size(), prefix) == 0 && option.size() >= prefix.size() + 2)
      return option.substr(prefix.size(), option.size() - prefix.size() - 2);
  return std::string();
}

std::set<std::string> optionNames(const std::vector<std::string>& options) {
  std::set<std::string> names;
  for (const std::string& option : options) names.insert(option.substr(0, option.find(' ')));
  return names;
}

/// Empty when the package-manager file holds exactly the URL and nothing new.
std::string familyFileProblem(const ProxyFamily& family, const std::string& path,
                              const std::string& url, const std::string& canary,
                              const std::set<std::string>& aptNames) {
  if (std::strcmp(family.family, "debian") == 0) {
    std::string errors;
    const std::vector<std::string> options = aptOptions(path, errors);
    if (!errors.empty()) return "apt-config: " + visible(errors);
    if (aptProxy(options) != url) return "apt-config reads '" + visible(aptProxy(options)) + "'";
    for (const std::string& name : optionNames(options))
      if (!aptNames.count(name)) return "apt-config finds a new option " + name;
    return std::string();
  }
  if (std::strcmp(family.family, "redhat") == 0) {
    KeyValueFile yum('=');
    yum.load(path);
    std::vector<std::string> values;
    std::vector<KeyValueFile::Position> positions;
    if (yum.find("main", "proxy", values, positions) != 1 || values[0] != url)
      return "yum.conf does not hold the one proxy line";
    if (yum.lines.size() != 3) return "yum.conf has " + std::to_string(yum.lines.size()) + " lines";
    return std::string();
  }
  std::map<std::string, std::string> variables;
  const std::string problem =
      sourcingProblem(path, canary, {"PROXY_ENABLED", "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY"},
                      &variables);
  if (!problem.empty()) return problem;
  if (variables["HTTP_PROXY"] != url || variables["HTTPS_PROXY"] != url ||
      variables["FTP_PROXY"] != url || variables["PROXY_ENABLED"] != "yes")
    return "the sysconfig proxy reads '" + visible(variables["HTTP_PROXY"]) + "'";
  return std::string();
}

/// Puts the files back as they were (content only) and removes new ones.
void restoreTree(const std::string& root, const TreeState& before) {
  for (const auto& entry : treeState(root)) {
    auto old = before.find(entry.first);
    if (old == before.end())
      unlink((root + "/" + entry.first).c_str());
    else if (old->second.content != entry.second.content)
      writeFile(root + "/" + entry.first, old->second.content);
  }
}

/// The APT option names that a valid proxy gives: the only ones allowed.
std::set<std::string> validAptNames(const ProxyFamily& family) {
  if (std::strcmp(family.family, "debian") != 0) return {};
  ChangeRoot root(family.family);
  root.root().write(kEnvironment, "PATH=\"/usr/bin\"\n");
  makeDirs(root / "/etc/apt/apt.conf.d");
  if (*family.content) root.root().write(family.file, family.content);
  const Parts valid;
  EXPECT_TRUE(setProxy(valid.texts[0], valid.texts[1], valid.texts[2], valid.texts[3]));
  std::string errors;
  return optionNames(aptOptions(root / family.file, errors));
}

TEST(HostileProxyTest, PartsAreRefusedOrReadBackExactlyEverywhere) {
  if (!haveAptConfig()) GTEST_SKIP() << "apt-config is not installed";
  int values = 0;
  int injections = 0;
  for (const ProxyFamily& family : kFamilies) {
    const std::set<std::string> aptNames = validAptNames(family);
    ChangeRoot root(family.family);
    root.root().write(kEnvironment, "PATH=\"/usr/sbin:/usr/bin\"\nno_proxy=example.net\n");
    makeDirs(root / "/etc/apt/apt.conf.d");
    if (*family.content) root.root().write(family.file, family.content);
    const std::string canary = root.root().path() + "/canary";
    LogCapture log(LOG_ERROR);
    for (size_t part = 0; part < 4; ++part) {
      const Parts valid;
      for (const std::string& hostile : hostileValues(valid.texts[part], canary)) {
        Parts parts;
        parts.texts[part] = hostile;
        const TreeState before = treeState(root.root().path());
        const size_t logged = log.text().size();
        const bool result = setProxy(parts.texts[0], parts.texts[1], parts.texts[2], parts.texts[3]);
        std::string problem;
        if (!result) {
          problem = treeDifference(before, treeState(root.root().path()));
          if (problem.empty() && log.text().find("Format is invalid", logged) == std::string::npos)
            problem = "refused without an error";
        } else {
          std::map<std::string, std::string> environment;
          problem = sourcingProblem(root / kEnvironment, canary, kEnvironmentNames, &environment);
          const std::string url = environment["http_proxy"];
          if (problem.empty() && !isInertUrl(url)) problem = "http_proxy is '" + visible(url) + "'";
          if (problem.empty() && (environment["https_proxy"] != url || environment["ftp_proxy"] != url))
            problem = "https_proxy or ftp_proxy differs from http_proxy";
          if (problem.empty())
            problem = familyFileProblem(family, root / family.file, url, canary, aptNames);
          std::string host, port, user, password;
          getProxy(host, port, user, password);
          const std::string expectedPassword = parts.texts[2].empty() ? "" : parts.texts[3];
          if (problem.empty() && (host != parts.texts[0] || user != parts.texts[2] ||
                                  password != expectedPassword ||
                                  (port != parts.texts[1] && port != "80")))
            problem = "the parts read back as " + visible(host) + " " + visible(port) + " " +
                      visible(user) + " " + visible(password);
          restoreTree(root.root().path(), before);
        }
        if (problem.empty() && fileExists(canary)) problem = "a command ran";
        ++values;
        if (!problem.empty()) ++injections;
        EXPECT_EQ(problem, "") << family.name << " " << kPartNames[part] << " '"
                               << visible(hostile) << "'";
      }
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

}  // namespace
