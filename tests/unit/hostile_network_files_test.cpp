// Hostile address texts on their way into the interface files, which a root
// shell sources on Red Hat and SUSE and which ifupdown reads line by line on
// Debian: refused with nothing written and nothing run, or written so that
// bash reads back exactly what was meant, with no new variable and no command.

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <set>

#include "change_root.h"
#include "hostile_values.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network.h"
#include "test_support.h"
#include "tree_state.h"

using namespace KESP;
using namespace kesp_test;

namespace {

/// The eight arguments of a change, valid as they stand.
struct Request {
  std::string iface = "eth0";
  AddressMode mode = STATICV4 | STATICV6;
  std::string texts[6] = {"10.2.2.5", "255.255.255.0", "10.2.2.1", "2001:db8:2::5", "64",
                          "2001:db8:2::1"};
};
const char* const kFieldNames[] = {"IPv4 address", "IPv4 netmask", "IPv4 gateway",
                                   "IPv6 address", "IPv6 prefix",  "IPv6 gateway"};

using Change = std::function<bool(const Request&)>;

bool writeFiles(const Request& r) {
  return writeNetworkFiles(r.iface, r.mode, r.texts[0], r.texts[1], r.texts[2], r.texts[3],
                           r.texts[4], r.texts[5]);
}

bool changeAddresses(const Request& r) {
  return setNetworkAddresses(r.iface, r.mode, r.texts[0], r.texts[1], r.texts[2], r.texts[3],
                             r.texts[4], r.texts[5]);
}

/// Every file below the root that a shell sources.
std::vector<std::string> sourcedFiles(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : treeState(root)) {
    const std::string& path = entry.first;
    if (path.find("/ifcfg-") != std::string::npos || path == "etc/sysconfig/kernel" ||
        path == "etc/default/wide-dhcpv6-client")
      files.push_back(root + "/" + path);
  }
  return files;
}

/// Puts every file back as it was (content only) and removes new ones.
void restoreTree(const std::string& root, const TreeState& before) {
  for (const auto& entry : treeState(root)) {
    auto old = before.find(entry.first);
    if (old == before.end())
      unlink((root + "/" + entry.first).c_str());
    else if (old->second.content != entry.second.content)
      writeFile(root + "/" + entry.first, old->second.content);
  }
}

/// The configuration files' contents (the stand-in programs left out: they
/// name their own root's call record).
std::map<std::string, std::string> contentsOf(const TreeState& tree) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : tree) {
    const std::string& path = entry.first;
    if (path.rfind("sbin/", 0) == 0 || path.rfind("etc/init.d/", 0) == 0) continue;
    contents[path] = entry.second.content;
  }
  return contents;
}

void installPrograms(const ChangeRoot& root) {
  for (const char* program : {"/sbin/ifup", "/sbin/ifdown", "/sbin/dhcp6c",
                              "/etc/init.d/wide-dhcpv6-client", "/etc/init.d/boot.loadmodules"})
    root.fake(program);
}

/// The files a valid request writes; every shell-sourced one must itself be clean.
std::map<std::string, std::string> referenceWrite(const char* family, const Change& change,
                                                  const Request& request) {
  ChangeRoot root(family);
  installPrograms(root);
  LogCapture quiet;
  EXPECT_TRUE(change(request)) << family << " refuses a valid request";
  for (const std::string& file : sourcedFiles(root.root().path()))
    EXPECT_EQ(sourcingProblem(file, root / "/canary", assignedNames(file)), "");
  return contentsOf(treeState(root.root().path()));
}

struct ChangeEntry {
  const char* name;
  Change change;
  AddressMode mode;
};

// The static modes write the fields and must refuse them. DHCPv4 writes none
// of them and must leave them out, whatever they hold. (The transaction is only
// given requests that it must refuse: an accepted one would wait for an address.)
TEST(HostileNetworkFilesTest, AddressTextsAreRefusedOrNeverWritten) {
  const ChangeEntry changes[] = {{"writeNetworkFiles", writeFiles, STATICV4 | STATICV6},
                                 {"writeNetworkFiles", writeFiles, DHCPV4},
                                 {"setNetworkAddresses", changeAddresses, STATICV4 | STATICV6}};
  int values = 0;
  int injections = 0;
  for (const char* family : {"debian", "redhat", "suse"}) {
    for (const ChangeEntry& entry : changes) {
      Request valid;
      valid.mode = entry.mode;
      const bool accepts = entry.mode == DHCPV4;
      const std::map<std::string, std::string> reference =
          accepts ? referenceWrite(family, entry.change, valid) : std::map<std::string, std::string>();
      ChangeRoot root(family);
      installPrograms(root);
      const std::string canary = root.root().path() + "/canary";
      LogCapture log(LOG_ERROR);
      for (size_t field = 0; field < 6; ++field) {
        for (const std::string& hostile : hostileValues(valid.texts[field], canary)) {
          Request request = valid;
          request.texts[field] = hostile;
          const TreeState before = treeState(root.root().path());
          root.clearCalls();
          const size_t logged = log.text().size();
          const bool result = entry.change(request);
          const TreeState after = treeState(root.root().path());
          std::string problem;
          if (!result) {
            problem = treeDifference(before, after);
            if (problem.empty() && !root.calls().empty()) problem = "ran " + root.calls().front();
            if (problem.empty() && log.text().find("[ERROR]", logged) == std::string::npos)
              problem = "refused without an error";
          } else if (!accepts) {
            problem = "accepted";
          } else if (contentsOf(after) != reference) {
            problem = "wrote something else than for the valid texts";
            for (const auto& file : contentsOf(after)) {
              auto expected = reference.find(file.first);
              if (expected == reference.end() || expected->second != file.second)
                problem += ": " + file.first + " holds\n" + visible(file.second);
            }
          }
          if (problem.empty() && fileExists(canary)) problem = "a command ran";
          if (result) restoreTree(root.root().path(), before);
          ++values;
          if (!problem.empty()) ++injections;
          EXPECT_EQ(problem, "") << family << " " << entry.name << " mode " << entry.mode << " "
                                 << kFieldNames[field] << " '" << visible(hostile) << "'";
        }
      }
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

/// A shell word that bash reads as exactly the text.
std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

/// Every key an ifcfg file of the fixtures or of the writers assigns.
const std::set<std::string> kIfcfgKeys = {
    "DEVICE",  "ONBOOT",    "TYPE",       "BOOTPROTO",      "IPADDR",          "NETMASK",
    "GATEWAY", "BROADCAST", "IPV6INIT",   "IPV6ADDR",       "DHCPV6C",         "IPV6_DEFAULTGW",
    "IPV6_DEFAULTDEV",      "STARTMODE",  "USERCONTROL",    "IPADDR0",         "PREFIXLEN0"};

struct IfcfgFamily {
  const char* family;
  const char* directory;
  const char* staticFile;  // eth0's file with the hostile IPADDR at @
};

const IfcfgFamily kIfcfgFamilies[] = {
    {"redhat", "/etc/sysconfig/network-scripts",
     "DEVICE=eth0\nBOOTPROTO=none\nONBOOT=yes\nIPADDR=@\nNETMASK=255.255.255.0\n"
     "BROADCAST=10.1.1.255\n"},
    {"suse", "/etc/sysconfig/network",
     "BOOTPROTO='static'\nSTARTMODE='auto'\nIPADDR=@\nNETMASK='255.255.255.0'\n"
     "BROADCAST='10.1.1.255'\n"},
};

// A value that a valid, safely quoted file holds is moved by a swap: bash must
// read the same value from the new file, and nothing else.
TEST(HostileNetworkFilesTest, SwappedValuesReadBackExactlyOrTheSwapIsRefused) {
  int values = 0;
  int injections = 0;
  for (const IfcfgFamily& family : kIfcfgFamilies) {
    for (const std::string& hostile : hostileValues("10.1.1.5", "@CANARY@")) {
      // A shell file cannot carry a NUL byte in a value.
      if (hostile.find('\0') != std::string::npos) continue;
      ChangeRoot root(family.family);
      const std::string canary = root.root().path() + "/canary";
      std::string value = hostile;
      for (std::string::size_type at; (at = value.find("@CANARY@")) != std::string::npos;)
        value.replace(at, 8, canary);
      std::string text = family.staticFile;
      text.replace(text.find('@'), 1, shellQuoted(value));
      const std::string first = std::string(family.directory) + "/ifcfg-eth0";
      const std::string second = std::string(family.directory) + "/ifcfg-eth1";
      root.root().write(first, text);
      root.root().write(second, "DEVICE=eth1\nBOOTPROTO=dhcp\n");
      std::map<std::string, std::string> meant;
      ASSERT_EQ(sourcingProblem(root / first, canary, kIfcfgKeys, &meant), "") << visible(text);
      ASSERT_EQ(meant["IPADDR"], value);

      const TreeState before = treeState(root.root().path());
      LogCapture log(LOG_ERROR);
      const bool result = move(MOVE_SWAP, "eth0", "eth1");
      std::string problem;
      if (!result) {
        problem = treeDifference(before, treeState(root.root().path()));
        if (problem.empty() && !log.contains("[ERROR]")) problem = "refused without an error";
      } else {
        std::map<std::string, std::string> moved;
        problem = sourcingProblem(root / second, canary, kIfcfgKeys, &moved);
        if (problem.empty() && moved["IPADDR"] != value)
          problem = "IPADDR reads back as '" + visible(moved["IPADDR"]) + "'";
        if (problem.empty()) problem = sourcingProblem(root / first, canary, kIfcfgKeys);
      }
      ++values;
      if (!problem.empty()) ++injections;
      EXPECT_EQ(problem, "") << family.family << " swap of IPADDR " << visible(text);
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

}  // namespace
