#include <gtest/gtest.h>

#include "kesp/log.h"
#include "kesp/network.h"
#include "kesp/network_change.h"
#include "test_support.h"

using namespace KESP;

namespace {

class DnsTest : public ::testing::Test {
 protected:
  kesp_test::SystemRoot root;
  void SetUp() override { kesp_test::makeDirs(root / "/etc"); }
};

TEST_F(DnsTest, WritesOnlyNameServerLines) {
  root.write("/etc/resolv.conf", "# managed\nsearch lan\noptions ndots:2\nnameserver 9.9.9.9\n");
  ASSERT_TRUE(setDnsServers({"10.0.0.1", "2001:db8::53"}, false));
  EXPECT_EQ(root.read("/etc/resolv.conf"), "nameserver 10.0.0.1\nnameserver 2001:db8::53\n");
  ASSERT_TRUE(setDnsServers({}, false));
  EXPECT_EQ(root.read("/etc/resolv.conf"), "");
}

TEST_F(DnsTest, PendingLeavesResolverAlone) {
  root.write("/etc/resolv.conf", "nameserver 9.9.9.9\n");
  ASSERT_TRUE(setDnsServers({"10.0.0.1"}, true));
  EXPECT_EQ(root.read("/etc/resolv.conf.pending"), "nameserver 10.0.0.1\n");
  EXPECT_EQ(root.read("/etc/resolv.conf"), "nameserver 9.9.9.9\n");
}

TEST_F(DnsTest, RefusesAnythingButAddresses) {
  root.write("/etc/resolv.conf", "nameserver 9.9.9.9\n");
  const std::vector<std::vector<std::string>> bad = {
      {"10.0.0.1", "10.0.0.1\nsearch evil"}, {"dns.example"}, {"10.0.0.1 options"}, {""},
      {"10.0.0.256"}, {"$(reboot)"},
  };
  for (const auto& servers : bad) {
    kesp_test::LogCapture log;
    EXPECT_FALSE(setDnsServers(servers, false));
    EXPECT_FALSE(setDnsServers(servers, true));
    size_t errors = 0;
    for (const std::string& line : log.lines()) errors += line.rfind("[ERROR] invalid name server", 0) == 0;
    EXPECT_EQ(errors, 2u);
  }
  EXPECT_EQ(root.read("/etc/resolv.conf"), "nameserver 9.9.9.9\n");
  EXPECT_FALSE(kesp_test::fileExists(root / "/etc/resolv.conf.pending"));
}

TEST_F(DnsTest, ReadsNameServersInOrder) {
  struct Case {
    std::string file;  // "<missing>" for none
    bool result;
    std::vector<std::string> servers;
  } cases[] = {
      {"search lan\nnameserver 10.0.0.1\n# nameserver 1.1.1.1\nnameserver  ::1\n", true,
       {"10.0.0.1", "::1"}},
      {"nameserver\t10.0.0.1\n", true, {}},
      {"search lan\n", true, {}},
      {"<missing>", false, {}},
  };
  for (const Case& c : cases) {
    kesp_test::shell("rm -f '" + (root / "/etc/resolv.conf") + "'");
    if (c.file != "<missing>") root.write("/etc/resolv.conf", c.file);
    std::vector<std::string> servers{"stale"};
    EXPECT_EQ(getDnsServers(servers), c.result) << c.file;
    EXPECT_EQ(servers, c.servers) << c.file;
  }
}

}  // namespace
