#include <gtest/gtest.h>

#include "kesp/sysroot.h"
#include "files/names.h"
#include "test_support.h"

using namespace KESP;

namespace {

TEST(SystemRootTest, PrefixesFixedPaths) {
  EXPECT_EQ(sysPath("/etc/resolv.conf"), "/etc/resolv.conf");
  setSystemRoot("/tmp/root/");
  EXPECT_EQ(systemRoot(), "/tmp/root");
  EXPECT_EQ(sysPath("/etc/resolv.conf"), "/tmp/root/etc/resolv.conf");
  setSystemRoot("/");
  EXPECT_EQ(sysPath("/sbin/ifup"), "/sbin/ifup");
  setSystemRoot("");
  EXPECT_EQ(sysPath("/sbin/ifup"), "/sbin/ifup");
}

TEST(InterfaceNameTest, Validity) {
  for (const char* good : {"eth0", "eth0:1", "eth0.100", "enp0s31f6", "br-lan_1", "a",
                                  "abcdefghijklmno"}) {
    EXPECT_TRUE(detail::isValidInterfaceName(good)) << good;
  }
  for (const char* bad : {"", ".", "..", "../../x", "a/b", "abcdefghijklmnop", "eth$(reboot)",
                                 "eth 0", "eth'0", "eth0\n", "-a", "--all", "eth\"0", "eth;0"}) {
    EXPECT_FALSE(detail::isValidInterfaceName(bad)) << bad;
  }
}

}  // namespace

namespace {

TEST(InterfaceNameTest, RefusalIsOneReadableLogLine) {
  kesp_test::LogCapture log;
  EXPECT_FALSE(detail::checkInterfaceName("eth0\nBOOTPROTO=dhcp\\", "getNetwork"));
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"[ERROR] invalid interface name 'eth0\\x0aBOOTPROTO=dhcp\\x5c'"});
}

}  // namespace
