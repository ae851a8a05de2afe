// Interface control with recording fake programs under a temporary system root.

#include <gtest/gtest.h>
#include <unistd.h>

#include "interface_files_cases.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "test_support.h"

namespace {

using namespace KESP;

const struct {
  OsFlavour flavour;
  const char* directory;
} kFlavourDirectories[] = {{FLAVOUR_DEBIAN, "/etc/network"},
                           {FLAVOUR_REDHAT, "/etc/sysconfig/network-scripts"},
                           {FLAVOUR_SUSE, "/etc/sysconfig/network"},
                           {FLAVOUR_NETWORKMANAGER, "/etc/NetworkManager/system-connections"}};

const char* flavourDirectory(OsFlavour flavour) {
  for (const auto& entry : kFlavourDirectories)
    if (entry.flavour == flavour) return entry.directory;
  return nullptr;
}

const char kProfileUuid[] = "0c9e4a52-6b1d-4f3e-9a7c-2d5b8e1f0a63";

enum Program : unsigned {
  IFUP = 1,
  IFDOWN = 2,
  LOADMODULES = 4,
  WIDE_CLIENT = 8,
  DHCP6C = 16,
  NMCLI = 32,
  NM_DAEMON = 64,
};

struct FakeProgram {
  Program program;
  const char* path;
};

const FakeProgram kFakePrograms[] = {
    {IFUP, "/sbin/ifup"},
    {IFDOWN, "/sbin/ifdown"},
    {LOADMODULES, "/etc/init.d/boot.loadmodules"},
    {WIDE_CLIENT, "/etc/init.d/wide-dhcpv6-client"},
    {DHCP6C, "/sbin/dhcp6c"},
    {NMCLI, "/usr/bin/nmcli"},
    {NM_DAEMON, "/usr/sbin/NetworkManager"},
};

/// A system root of one family whose programs record "<path> <arguments>"
/// in /calls and end with the given status.
class FakeSystem {
 public:
  FakeSystem(OsFlavour flavour, unsigned programs, int exitStatus = 0) {
    if (flavourDirectory(flavour)) kesp_test::makeDirs(root_ / flavourDirectory(flavour));
    if (flavour == FLAVOUR_NETWORKMANAGER)
      root_.write("/etc/NetworkManager/system-connections/eth0.nmconnection",
                  std::string("[connection]\nid=eth0\nuuid=") + kProfileUuid +
                      "\ntype=ethernet\ninterface-name=eth0\n",
                  0600);
    for (const FakeProgram& fake : kFakePrograms) {
      if (!(programs & fake.program)) continue;
      root_.write(fake.path,
                  "#!/bin/sh\necho \"" + std::string(fake.path) + " $*\" >> '" +
                      (root_ / "/calls") + "'\nexit " + std::to_string(exitStatus) + "\n",
                  0755);
    }
  }

  std::vector<std::string> calls() const {
    if (!kesp_test::fileExists(root_ / "/calls")) return {};
    auto lines = kesp_test::linesOf(root_.read("/calls"));
    return std::vector<std::string>(lines.begin(), lines.end());
  }

 private:
  kesp_test::SystemRoot root_;
};

struct ControlCase {
  const char* name;
  OsFlavour flavour;
  unsigned programs;
  bool up;
  AddressMode mode;
  int exitStatus;
  std::vector<std::string> calls;
};

const unsigned kAll = IFUP | IFDOWN | LOADMODULES | WIDE_CLIENT | DHCP6C | NMCLI | NM_DAEMON;

const ControlCase kControlCases[] = {
    {"DebianUpStartsClient",
     FLAVOUR_DEBIAN,
     kAll,
     true,
     STATICV4,
     0,
     {"/sbin/ifup eth0", "/etc/init.d/wide-dhcpv6-client start"}},
    {"DebianDownStopsClient",
     FLAVOUR_DEBIAN,
     kAll,
     false,
     STATICV4,
     0,
     {"/sbin/ifdown eth0", "/etc/init.d/wide-dhcpv6-client stop"}},
    {"DebianWithoutClient",
     FLAVOUR_DEBIAN,
     IFUP | IFDOWN | LOADMODULES,
     true,
     DHCPV6,
     0,
     {"/sbin/ifup eth0"}},
    {"DebianIfupFailingStillStartsClient",
     FLAVOUR_DEBIAN,
     kAll,
     true,
     0,
     1,
     {"/sbin/ifup eth0", "/etc/init.d/wide-dhcpv6-client start"}},
    {"DebianMissingIfupCountsAsRun",
     FLAVOUR_DEBIAN,
     IFDOWN | WIDE_CLIENT,
     true,
     0,
     0,
     {"/etc/init.d/wide-dhcpv6-client start"}},
    {"RedHatUpOnlyIfup", FLAVOUR_REDHAT, kAll, true, DHCPV6 | STATICV4, 0, {"/sbin/ifup eth0"}},
    {"RedHatDownOnlyIfdown", FLAVOUR_REDHAT, kAll, false, STATICV6, 0, {"/sbin/ifdown eth0"}},
    {"SuseUpIpv6LoadsModules",
     FLAVOUR_SUSE,
     kAll,
     true,
     STATICV6,
     0,
     {"/etc/init.d/boot.loadmodules restart", "/sbin/ifup eth0"}},
    {"SuseUpAutoV6LoadsModules",
     FLAVOUR_SUSE,
     kAll,
     true,
     DHCPV4 | AUTOV6,
     0,
     {"/etc/init.d/boot.loadmodules restart", "/sbin/ifup eth0"}},
    {"SuseUpModeZero", FLAVOUR_SUSE, kAll, true, 0, 0, {"/sbin/ifup eth0"}},
    {"SuseUpIpv4Only", FLAVOUR_SUSE, kAll, true, STATICV4, 0, {"/sbin/ifup eth0"}},
    {"SuseDownIpv6", FLAVOUR_SUSE, kAll, false, STATICV6, 0, {"/sbin/ifdown eth0"}},
    {"SuseWithoutLoader", FLAVOUR_SUSE, IFUP | IFDOWN, true, DHCPV6, 0, {"/sbin/ifup eth0"}},
    {"NetworkManagerLoadsTheProfileThenUp",
     FLAVOUR_NETWORKMANAGER,
     kAll,
     true,
     DHCPV4,
     0,
     {"/usr/bin/nmcli connection load /etc/NetworkManager/system-connections/eth0.nmconnection",
      std::string("/usr/bin/nmcli --wait 30 connection up uuid ") + kProfileUuid}},
    // nmcli's 10: nothing was active.
    {"NetworkManagerDown",
     FLAVOUR_NETWORKMANAGER,
     kAll,
     false,
     STATICV4,
     10,
     {std::string("/usr/bin/nmcli connection down uuid ") + kProfileUuid}},
    {"UnknownFamilyStillRunsIfup", FLAVOUR_NONE, kAll, true, STATICV6, 0, {"/sbin/ifup eth0"}},
};

class ControlTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlTest, RunsTheFamilysProgramsInOrder) {
  const ControlCase& c = GetParam();
  FakeSystem system(c.flavour, c.programs, c.exitStatus);
  EXPECT_TRUE(controlInterface("eth0", c.up, c.mode));
  EXPECT_EQ(system.calls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Families, ControlTest, ::testing::ValuesIn(kControlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ControlTest, NetworkManagerThatRefusesFailsTheUp) {
  // nmcli's status is no longer ignored: here the daemon refused the profile.
  for (int status : {1, 4}) {
    SCOPED_TRACE(status);
    FakeSystem system(FLAVOUR_NETWORKMANAGER, kAll, status);
    kesp_test::LogCapture log(LOG_ERROR);
    EXPECT_FALSE(controlInterface("eth0", true, DHCPV4));
    EXPECT_TRUE(log.contains("/usr/bin/nmcli connection load")) << log.text();
  }
}

TEST(ControlTest, AliasNameIsPassedAsOneArgument) {
  FakeSystem system(FLAVOUR_REDHAT, kAll);
  EXPECT_TRUE(controlInterface("eth0:1", true, STATICV4));
  EXPECT_EQ(system.calls(), std::vector<std::string>{"/sbin/ifup eth0:1"});
}

TEST(ControlTest, RefusesABadNameWithoutRunningAnything) {
  FakeSystem system(FLAVOUR_DEBIAN, kAll);
  kesp_test::LogCapture log(LOG_ERROR);
  for (const char* name : {"eth0; reboot", "", "../eth0", "eth0 eth1", "averyveryverylongname"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(controlInterface(name, true, STATICV4));
    EXPECT_TRUE(log.contains("invalid interface name '" + detail::printable(name) + "'"));
  }
  EXPECT_EQ(system.calls(), std::vector<std::string>{});
}

struct ClientCase {
  OsFlavour flavour;
  unsigned programs;
  bool expected;
};

const ClientCase kClientCases[] = {
    {FLAVOUR_DEBIAN, WIDE_CLIENT, true}, {FLAVOUR_DEBIAN, DHCP6C, false},
    {FLAVOUR_REDHAT, DHCP6C, true},      {FLAVOUR_REDHAT, WIDE_CLIENT, false},
    {FLAVOUR_SUSE, DHCP6C, true},        {FLAVOUR_SUSE, WIDE_CLIENT, false},
    {FLAVOUR_NETWORKMANAGER, NM_DAEMON, true}, {FLAVOUR_NETWORKMANAGER, DHCP6C | NMCLI, false},
    {FLAVOUR_NONE, kAll, false},
};

class Dhcpv6ClientTest : public ::testing::TestWithParam<ClientCase> {};

TEST_P(Dhcpv6ClientTest, LooksForTheFamilysClient) {
  FakeSystem system(GetParam().flavour, GetParam().programs);
  EXPECT_EQ(hasDhcpv6Client(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Families, Dhcpv6ClientTest, ::testing::ValuesIn(kClientCases));

// A DHCPv4 client that the family's ifup can start, found inside the root
// through /sbin as an absolute link to usr/sbin, as on merged systems.
TEST(Dhcpv4ClientTest, LooksForAClientTheFamilysIfupCanStart) {
  const struct {
    OsFlavour flavour;
    const char* program;  // nullptr: none
    bool expected;
    bool directory = false;
  } cases[] = {
      {FLAVOUR_DEBIAN, "/usr/sbin/dhclient", true},
      {FLAVOUR_DEBIAN, "/usr/sbin/dhcpcd", true},
      {FLAVOUR_DEBIAN, "/usr/sbin/udhcpc", true},
      {FLAVOUR_DEBIAN, "/usr/lib/wicked/bin/wickedd-dhcp4", false},
      {FLAVOUR_DEBIAN, "/usr/sbin/dhclient", false, true},
      {FLAVOUR_DEBIAN, nullptr, false},
      {FLAVOUR_REDHAT, "/usr/sbin/dhclient", true},
      {FLAVOUR_REDHAT, "/usr/sbin/udhcpc", false},
      {FLAVOUR_SUSE, "/usr/lib/wicked/bin/wickedd-dhcp4", true},
      {FLAVOUR_SUSE, "/usr/sbin/dhcpcd", true},
      {FLAVOUR_SUSE, "/usr/sbin/pump", false},
      {FLAVOUR_NETWORKMANAGER, "/usr/sbin/NetworkManager", true},
      {FLAVOUR_NETWORKMANAGER, "/usr/sbin/dhclient", false},
      {FLAVOUR_NONE, "/usr/sbin/dhclient", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.flavour) + " " + (c.program ? c.program : "none"));
    FakeSystem system(c.flavour, 0);
    const std::string root = KESP::systemRoot();
    kesp_test::makeDirs(root + "/usr/sbin");
    ASSERT_EQ(symlink("/usr/sbin", (root + "/sbin").c_str()), 0);
    if (c.program && c.directory) kesp_test::makeDirs(root + c.program);
    if (c.program && !c.directory) kesp_test::writeFile(root + c.program, "#!/bin/sh\n", 0755);
    EXPECT_EQ(hasDhcpv4Client(), c.expected);
  }
}

}  // namespace
