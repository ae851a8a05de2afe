// Interface names that would climb out of a directory, split into several
// arguments or lines, or run a command: every public operation that builds a
// path, a command or a file value from an interface name refuses them first,
// with a logged error, touching no file and running no program.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

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

const char kOvfScript[] = "/opt/tolvex/share/kesp/kesp_ovf_process";

std::vector<std::string> badNames(const std::string& canary) {
  std::vector<std::string> names = {
      "../../x", "a/b", "..", ".", "", "abcdefghijklmnop", "eth$(reboot)", "eth0 x", " eth0",
      "eth0 ", "eth0\t", "eth'0", "eth\"0", "eth0\n", "eth0\nBOOTPROTO=dhcp", "eth0\r",
      std::string("eth0\0x", 6), "eth;0", "eth`id`", "eth\\0", "eth*", "eth0/", "/eth0", "-a",
      "--all", "eth0|x", "eth0&", "eth0#", "eth0=1", "eth0$", "eth0\xc3\xa9"};
  for (const std::string& value : hostileValues("eth0", canary)) names.push_back(value);
  return names;
}

/// One public operation, given a bad name; its result.
struct NameOperation {
  const char* name;
  std::function<bool(const std::string&)> call;
};

Ipv4Settings someIpv4() { return Ipv4Settings(true, "10.3.3.3", "255.255.255.0", "10.3.3.1"); }
Ipv6Settings someIpv6() { return Ipv6Settings(true, "2001:db8:3::3", "64", ""); }

std::vector<NameOperation> nameOperations() {
  return {
      {"getNetwork",
       [](const std::string& iface) {
         AddressMode mode;
         Ipv4Settings ipv4;
         Ipv6Settings ipv6;
         return getNetwork(iface, true, mode, ipv4, ipv6);
       }},
      {"interfaceConfigPath",
       [](const std::string& iface) {
         for (OsFlavour flavour : {FLAVOUR_DEBIAN, FLAVOUR_REDHAT, FLAVOUR_SUSE})
           if (!interfaceConfigPath(flavour, iface, "test").empty()) return true;
         return false;
       }},
      {"controlInterface up", [](const std::string& iface) { return controlInterface(iface, true, STATICV4 | STATICV6); }},
      {"controlInterface down", [](const std::string& iface) { return controlInterface(iface, false, DHCPV4); }},
      {"writeNetworkFiles",
       [](const std::string& iface) {
         return writeNetworkFiles(iface, DHCPV4, "", "", "", "", "", "");
       }},
      {"setNetworkAddresses",
       [](const std::string& iface) {
         return setNetworkAddresses(iface, STATICV4, "10.3.3.3", "255.255.255.0", "", "", "", "");
       }},
      {"setNetwork",
       [](const std::string& iface) { return setNetwork(iface, DHCPV4, "", "", "", "", "", ""); }},
      {"move add", [](const std::string& iface) { return move(MOVE_ADD, iface, ""); }},
      {"move remove", [](const std::string& iface) { return move(MOVE_REMOVE, iface, ""); }},
      {"move swap, first", [](const std::string& iface) { return move(MOVE_SWAP, iface, "eth0"); }},
      {"move swap, second", [](const std::string& iface) { return move(MOVE_SWAP, "eth0", iface); }},
  };
}

/// The in-memory editors of the interface files, on the family's file.
struct FileEditor {
  const char* name;
  const char* family;
  const char* file;
  std::function<void(TextFile&, const std::string&)> edit;
};

const FileEditor kFileEditors[] = {
    {"writeDebianInterface", "debian", "/etc/network/interfaces",
     [](TextFile& file, const std::string& iface) {
       writeDebianInterface(file, iface, STATICV4 | STATICV6, someIpv4(), someIpv6());
     }},
    {"writeRedHatInterface", "redhat", "/etc/sysconfig/network-scripts/ifcfg-eth0",
     [](TextFile& file, const std::string& iface) {
       KeyValueFile ifcfg('=');
       ifcfg.lines = file.lines;
       writeRedHatInterface(ifcfg, iface, STATICV4 | STATICV6, someIpv4(), someIpv6());
       file.lines = ifcfg.lines;
     }},
    {"writeSuseInterface", "suse", "/etc/sysconfig/network/ifcfg-eth0",
     [](TextFile& file, const std::string& iface) {
       KeyValueFile ifcfg('=');
       ifcfg.lines = file.lines;
       writeSuseInterface(ifcfg, iface, STATICV4 | STATICV6, someIpv4(), someIpv6());
       file.lines = ifcfg.lines;
     }},
};

/// A family's root with recording stand-ins for every program an operation
/// taking an interface name may run, and for killall first in PATH.
class NameRoot {
 public:
  explicit NameRoot(const std::string& family) : root_(family) {
    for (const char* program : {"/sbin/ifup", "/sbin/ifdown", "/etc/init.d/wide-dhcpv6-client",
                                "/etc/init.d/boot.loadmodules", "/sbin/dhcp6c"})
      root_.fake(program);
    root_.root().write(kOvfScript, argumentRecorder(records_ / "ovf"), 0755);
    writeFile(records_ / "bin/killall", "#!/bin/sh\nexit 0\n", 0755);
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", ((records_ / "bin") + ":" + oldPath_).c_str(), 1);
  }
  ~NameRoot() { setenv("PATH", oldPath_.c_str(), 1); }

  const std::string& path() const { return root_.root().path(); }
  /// What ran, apart from killall (which does not get the name).
  size_t programsRun() const {
    return root_.calls().size() + recordedCalls(records_ / "ovf").size();
  }

 private:
  ChangeRoot root_;
  TempDir records_;
  std::string oldPath_;
};

TEST(HostileNamesTest, EveryOperationRefusesBadNamesBeforeTouchingAnything) {
  int values = 0;
  int injections = 0;
  for (const char* family : {"debian", "redhat", "suse"}) {
    NameRoot root(family);
    const std::string canary = root.path() + "/canary";
    LogCapture log(LOG_ERROR);
    for (const NameOperation& operation : nameOperations()) {
      for (const std::string& bad : badNames(canary)) {
        const TreeState before = treeState(root.path());
        const size_t logged = log.text().size();
        const bool result = operation.call(bad);
        const std::string changed = treeDifference(before, treeState(root.path()));
        const std::string newLines = log.text().substr(logged);
        ++values;
        const bool refused = !result && changed.empty() && root.programsRun() == 0 &&
                             newLines.find("invalid interface name") != std::string::npos &&
                             !fileExists(canary);
        if (!refused) ++injections;
        EXPECT_TRUE(refused) << family << " " << operation.name << "('" << visible(bad)
                             << "'): result " << result << ", " << changed << ", "
                             << root.programsRun() << " programs run, log: " << newLines;
      }
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

TEST(HostileNamesTest, FileEditorsLeaveTheLinesAlone) {
  int values = 0;
  int injections = 0;
  for (const FileEditor& editor : kFileEditors) {
    TextFile original;
    ASSERT_TRUE(original.load(fixturePath(std::string("change/") + editor.family + "/root" +
                                          editor.file)));
    for (const std::string& bad : badNames("/nonexistent/canary")) {
      TextFile file = original;
      LogCapture log(LOG_ERROR);
      editor.edit(file, bad);
      ++values;
      const bool refused = file.lines == original.lines && log.contains("invalid interface name");
      if (!refused) ++injections;
      EXPECT_TRUE(refused) << editor.name << "('" << visible(bad) << "')";
    }
  }
  std::printf("%d hostile values, %d injections\n", values, injections);
}

TEST(HostileNamesTest, AliasLabelsAndVlansStayValid) {
  for (const char* iface : {"eth0:1", "eth0.100", "br-lan_1"}) {
    NameRoot root("redhat");
    const std::string file = "/etc/sysconfig/network-scripts/ifcfg-" + std::string(iface);
    writeFile(root.path() + file, "DEVICE=" + std::string(iface) + "\nBOOTPROTO=none\n");
    EXPECT_EQ(interfaceConfigPath(FLAVOUR_REDHAT, iface, "test"), file);
    EXPECT_TRUE(writeNetworkFiles(iface, DHCPV4, "", "", "", "", "", "")) << iface;
    AddressMode mode = 0;
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    EXPECT_TRUE(getNetwork(iface, false, mode, ipv4, ipv6)) << iface;
    EXPECT_EQ(mode, DHCPV4) << iface;
    EXPECT_TRUE(controlInterface(iface, true, DHCPV4)) << iface;
    EXPECT_EQ(root.programsRun(), 1u) << iface;
  }
}

}  // namespace
