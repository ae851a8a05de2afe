// kesp_config_net on hostile images: links that name files of the host, and
// FIFOs where configuration files belong. Nothing outside the image changes
// and no command blocks.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config_net_harness.h"

namespace {

using config_net_test::Result;
using config_net_test::ToolRoot;

const int kSecondsAllowed = 20;
const int kTimedOut = 124;

struct HostileCase {
  const char* family;
  const char* file;     // replaced by the link or the FIFO
  std::vector<std::string> words;
  bool writes;          // the command changes files
};

const HostileCase kCases[] = {
    {"debian", "/etc/network/interfaces", {"show"}, false},
    {"debian", "/etc/network/interfaces", {"set", "eth1", "--mode", "DHCPV4"}, true},
    {"debian", "/etc/network/interfaces", {"move", "add", "eth3"}, true},
    {"debian", "/etc/resolv.conf", {"dns", "192.0.2.60"}, true},
    {"debian", "/etc/resolv.conf", {"dns"}, false},
    {"debian", "/etc/environment", {"proxy", "set", "--host", "proxy.example.org"}, true},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth1", {"set", "eth1", "--mode", "DHCPV4"}, true},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth1", {"show", "eth1"}, false},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth0", {"move", "swap", "eth0", "eth1"}, true},
    {"redhat", "/etc/yum.conf", {"proxy", "set", "--host", "proxy.example.org"}, true},
    {"suse", "/etc/sysconfig/network/ifcfg-eth1", {"set", "eth1", "--mode", "DHCPV4"}, true},
};

std::string describe(const HostileCase& c) {
  std::string text = std::string(c.family) + " " + c.file + ":";
  for (const std::string& word : c.words) text += " " + word;
  return text;
}

}  // namespace

TEST(ConfigNetHostileTree, LinksOutOfTheImageLeaveTheHostAlone) {
  for (const HostileCase& c : kCases) {
    for (bool absolute : {true, false}) {
      SCOPED_TRACE(describe(c) + (absolute ? " (absolute link)" : " (relative link)"));
      ToolRoot root(c.family);
      kesp_test::TempDir outside;
      kesp_test::writeFile(outside / "victim", "host\n");
      struct stat before;
      ASSERT_EQ(stat((outside / "victim").c_str(), &before), 0);
      std::string target = outside / "victim";
      if (!absolute) target = "../../../../../../../.." + target;
      ASSERT_EQ(unlink(root.file(c.file).c_str()), 0);
      ASSERT_EQ(symlink(target.c_str(), root.file(c.file).c_str()), 0);

      const Result result = root.offlineWithin(kSecondsAllowed, c.words);
      EXPECT_NE(result.status, kTimedOut) << result;
      struct stat after;
      ASSERT_EQ(stat((outside / "victim").c_str(), &after), 0);
      EXPECT_EQ(kesp_test::readFile(outside / "victim"), "host\n") << result;
      EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
      EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
      EXPECT_FALSE(result.err.find("host\n") != std::string::npos || result.out == "host\n");
    }
  }
}

TEST(ConfigNetHostileTree, AFifoIsRefusedWithoutBlocking) {
  for (const HostileCase& c : kCases) {
    SCOPED_TRACE(describe(c));
    ToolRoot root(c.family);
    ASSERT_EQ(unlink(root.file(c.file).c_str()), 0);
    ASSERT_EQ(mkfifo(root.file(c.file).c_str(), 0644), 0);

    const Result result = root.offlineWithin(kSecondsAllowed, c.words);
    EXPECT_NE(result.status, kTimedOut) << result;
    if (c.writes) {
      EXPECT_NE(result.status, 0) << result;
    }
    struct stat info;
    ASSERT_EQ(lstat(root.file(c.file).c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
}
