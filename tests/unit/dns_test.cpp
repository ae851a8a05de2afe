#include <gtest/gtest.h>
#include <unistd.h>

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

TEST_F(DnsTest, ReplacesOnlyTheNameServerLines) {
  const std::string resolver =
      "# managed\nsearch lan\nnameserver 9.9.9.9\noptions ndots:2\nnameserver 9.9.9.8\n";
  struct Case {
    std::string resolv;      // before; empty: no resolv.conf
    std::string pendingOld;  // before; empty: no staged file
    std::vector<std::string> servers;
    bool pending;
    std::string written;  // the content of the file written
  } cases[] = {
      {resolver, "", {"10.0.0.1", "2001:db8::53"}, false,
       "# managed\nsearch lan\nnameserver 10.0.0.1\nnameserver 2001:db8::53\noptions ndots:2\n"},
      {resolver, "", {}, false, "# managed\nsearch lan\noptions ndots:2\n"},
      {"search lan\n", "", {"fe80::1%eth0"}, false, "search lan\nnameserver fe80::1%eth0\n"},
      {"", "", {"10.0.0.1"}, false, "nameserver 10.0.0.1\n"},
      // A new staged file starts from resolv.conf, an existing one from itself.
      {resolver, "", {"10.0.0.1"}, true,
       "# managed\nsearch lan\nnameserver 10.0.0.1\noptions ndots:2\n"},
      {resolver, "domain example.org\nnameserver 9.9.9.9\n", {"10.0.0.1"}, true,
       "domain example.org\nnameserver 10.0.0.1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    unlink((root / "/etc/resolv.conf").c_str());
    unlink((root / "/etc/resolv.conf.pending").c_str());
    if (!c.resolv.empty()) root.write("/etc/resolv.conf", c.resolv);
    if (!c.pendingOld.empty()) root.write("/etc/resolv.conf.pending", c.pendingOld);
    ASSERT_TRUE(setDnsServers(c.servers, c.pending));
    EXPECT_EQ(root.read(c.pending ? "/etc/resolv.conf.pending" : "/etc/resolv.conf"), c.written);
    if (c.pending) {
      EXPECT_EQ(root.read("/etc/resolv.conf"), c.resolv);
    }
  }
}

TEST_F(DnsTest, PendingLeavesResolverAlone) {
  root.write("/etc/resolv.conf", "nameserver 9.9.9.9\n");
  ASSERT_TRUE(setDnsServers({"10.0.0.1"}, true));
  EXPECT_EQ(root.read("/etc/resolv.conf.pending"), "nameserver 10.0.0.1\n");
  EXPECT_EQ(root.read("/etc/resolv.conf"), "nameserver 9.9.9.9\n");
  // Withdrawn once it is gone; a second withdrawal finds nothing to take back.
  EXPECT_TRUE(withdrawPendingDnsServers());
  EXPECT_FALSE(withdrawPendingDnsServers());
  EXPECT_FALSE(kesp_test::fileExists(root / "/etc/resolv.conf.pending"));
  EXPECT_EQ(root.read("/etc/resolv.conf"), "nameserver 9.9.9.9\n");
}

TEST_F(DnsTest, RefusesAnythingButAddresses) {
  root.write("/etc/resolv.conf", "nameserver 9.9.9.9\n");
  const std::vector<std::vector<std::string>> bad = {
      {"10.0.0.1", "10.0.0.1\nsearch evil"}, {"dns.example"}, {"10.0.0.1 options"}, {""},
      {"10.0.0.256"}, {"$(reboot)"}, {"2001:db8::1%eth0"}, {"fe80::1%eth0 rotate"},
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
