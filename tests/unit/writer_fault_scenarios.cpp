#include "writer_fault_scenarios.h"

#include "kesp/config.h"
#include "kesp/move.h"
#include "kesp/network.h"
#include "kesp/proxy.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"

namespace kesp_test {

using namespace KESP;

namespace {

const char kEnvironment[] = "PATH=\"/usr/sbin:/usr/bin\"\nno_proxy=example.net\n";
const char kConfigFile[] = "/opt/tolvex/etc/kesp/kesp.xml";
const char kConfigXml[] =
    "<?xml version=\"1.0\" ?>\n<KESP-service>\n  <properties>\n"
    "    <property name=\"log_level\" value=\"warn\" />\n  </properties>\n</KESP-service>\n";

void noSetUp(const ChangeRoot&) {}

void withEnvironment(const ChangeRoot& root) { root.root().write("/etc/environment", kEnvironment); }

void withConfig(const ChangeRoot& root) { root.root().write(kConfigFile, kConfigXml); }

void withInterfacePrograms(const ChangeRoot& root) {
  root.fake("/sbin/ifup");
  root.fake("/sbin/ifdown");
}

bool setProxyParts() { return setProxy("proxy.example", "3128", "user", "secret"); }

bool writeStaticFiles() {
  return writeNetworkFiles("eth0", STATICV4 | STATICV6, "10.2.2.5", "255.255.255.0", "10.2.2.1",
                           "2001:db8:2::5", "64", "2001:db8:2::1");
}

/// Mode 0 writes the files and then finds no address at once: the change is
/// undone at once too, through the restore.
bool changeAndRestore() {
  return setNetworkAddresses("eth0", 0, "", "", "", "", "", "");
}

bool writeRemovalFiles() { return writeNetworkFiles("eth0", 0, "", "", "", "", "", ""); }

using SetUp = std::function<void(const ChangeRoot&)>;
using Run = std::function<bool()>;

WriterScenario scenario(const std::string& name, const std::string& family, SetUp setUp, Run run) {
  WriterScenario made;
  made.name = name;
  made.family = family;
  made.setUp = std::move(setUp);
  made.run = std::move(run);
  return made;
}

/// A failed write of path is only logged (text), by contract.
WriterScenario loggedOnly(WriterScenario made, const std::string& path, const std::string& text) {
  made.loggedOnly[path] = text;
  return made;
}

/// Writes old content back after a failure; intermediate as in WriterScenario.
WriterScenario restoring(WriterScenario made, Run intermediate = Run()) {
  made.restores = true;
  made.intermediate = std::move(intermediate);
  return made;
}

std::vector<WriterScenario> fileScenarios() {
  return {
      scenario("TextFile::save", "debian", noSetUp,
               [] {
                 TextFile file;
                 file.load(sysPath("/etc/network/interfaces"));
                 file.lines.push_back("auto eth9");
                 return file.save();
               }),
      scenario("KeyValueFile section set", "redhat",
               [](const ChangeRoot& root) { root.root().write("/etc/yum.conf", "[main]\ngpgcheck=1\n"); },
               [] {
                 KeyValueFile file('=');
                 file.load(sysPath("/etc/yum.conf"));
                 file.set("main", "proxy", "http://10.0.0.1:3128/");
                 return file.save();
               }),
      scenario("set_keyvalue_file", "debian", withEnvironment,
               [] { return set_keyvalue_file(sysPath("/etc/environment"), "http_proxy", "x"); }),
      scenario("configfile::save (Config::set)", "debian", withConfig,
               [] {
                 Config config;
                 return config.addFile(sysPath(kConfigFile), true) &&
                        config.set("log_level", "debug");
               }),
      scenario("Config::addNewFile over a file", "debian", withConfig,
               [] {
                 Config config;
                 return config.addNewFile(sysPath(kConfigFile), "KESP-service");
               }),
      scenario("setDnsServers", "redhat", noSetUp,
               [] { return setDnsServers({"10.9.0.53", "2001:db8::53"}, false); }),
      scenario("setDnsServers pending", "suse",
               [](const ChangeRoot& root) {
                 root.root().write("/etc/resolv.conf.pending", "nameserver 10.0.0.2\n");
               },
               [] { return setDnsServers({"10.9.0.53"}, true); }),
  };
}

std::vector<WriterScenario> proxyScenarios() {
  return {
      loggedOnly(scenario("setProxy on Debian (apt.conf)", "debian",
                          [](const ChangeRoot& root) {
                            withEnvironment(root);
                            root.root().write("/etc/apt/apt.conf",
                                              "APT::Install-Recommends \"false\";\n");
                          },
                          setProxyParts),
                 "/etc/apt/apt.conf", "Failed to write apt conf"),
      loggedOnly(scenario("setProxy on Debian (apt.conf.d part)", "debian",
                          [](const ChangeRoot& root) {
                            withEnvironment(root);
                            makeDirs(root / "/etc/apt/apt.conf.d");
                          },
                          setProxyParts),
                 "/etc/apt/apt.conf.d/99proxy", "Failed to write apt conf"),
      loggedOnly(scenario("setProxy on Red Hat (yum.conf)", "redhat",
                          [](const ChangeRoot& root) {
                            withEnvironment(root);
                            root.root().write("/etc/yum.conf", "[main]\ngpgcheck=1\n");
                          },
                          setProxyParts),
                 "/etc/yum.conf", "Failed to write yum conf"),
      scenario("setProxy on SUSE (sysconfig proxy)", "suse",
               [](const ChangeRoot& root) {
                 withEnvironment(root);
                 root.root().write("/etc/sysconfig/proxy", "PROXY_ENABLED=\"no\"\nHTTP_PROXY=\"\"\n");
               },
               setProxyParts),
  };
}

std::vector<WriterScenario> moveScenarios() {
  return {
      scenario("move add on Debian", "debian", noSetUp, [] { return move(MOVE_ADD, "eth7", ""); }),
      scenario("move add on Red Hat", "redhat", noSetUp, [] { return move(MOVE_ADD, "eth7", ""); }),
      scenario("move add on SUSE", "suse", noSetUp, [] { return move(MOVE_ADD, "eth7", ""); }),
      scenario("move remove on Debian", "debian", noSetUp,
               [] { return move(MOVE_REMOVE, "eth1", ""); }),
      scenario("move swap on Debian", "debian", noSetUp,
               [] { return move(MOVE_SWAP, "eth0", "eth1"); }),
      // The first file is put back when the second cannot be saved.
      restoring(scenario("move swap on Red Hat", "redhat",
                         [](const ChangeRoot& root) {
                           root.root().write("/etc/sysconfig/network-scripts/ifcfg-eth1",
                                             "DEVICE=eth1\nBOOTPROTO=dhcp\nONBOOT=yes\n");
                         },
                         [] { return move(MOVE_SWAP, "eth0", "eth1"); })),
      restoring(scenario("move swap on SUSE", "suse",
                         [](const ChangeRoot& root) {
                           root.root().write("/etc/sysconfig/network/ifcfg-eth1",
                                             "BOOTPROTO='dhcp4'\nSTARTMODE='auto'\n");
                         },
                         [] { return move(MOVE_SWAP, "eth0", "eth1"); })),
  };
}

std::vector<WriterScenario> changeScenarios() {
  std::vector<WriterScenario> scenarios;
  for (const char* family : {"debian", "redhat", "suse"}) {
    scenarios.push_back(
        scenario(std::string("writeNetworkFiles on ") + family, family, noSetUp, writeStaticFiles));
    // A restore that fails leaves the file as the change wrote it.
    WriterScenario restore = restoring(scenario(std::string("setNetworkAddresses restore on ") +
                                                    family,
                                                family, withInterfacePrograms, changeAndRestore),
                                       writeRemovalFiles);
    restore.succeeds = false;
    scenarios.push_back(restore);
  }
  return scenarios;
}

}  // namespace

std::vector<WriterScenario> writerScenarios() {
  std::vector<WriterScenario> all;
  for (auto part : {fileScenarios, proxyScenarios, moveScenarios, changeScenarios}) {
    for (WriterScenario& scenario : part()) all.push_back(std::move(scenario));
  }
  return all;
}

}  // namespace kesp_test
