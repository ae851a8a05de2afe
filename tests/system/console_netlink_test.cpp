// The console notices address changes from the kernel at once, without a key,
// and no key is lost while such notifications arrive.

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "console_terminal.h"
#include "netlink_watcher.h"
#include "netns.h"
#include "test_support.h"

namespace {

using console_test::ConsoleRoot;
using console_test::ConsoleSession;
using kesp_test::NetNamespace;

const char kStaticEth0[] =
    "auto eth0\niface eth0 inet static\n    address 192.0.2.10\n    netmask 255.255.255.0\n";

bool bannerShown(const std::vector<std::string>& rows) {
  return ConsoleSession::contains(rows, "NO NETWORKING DETECTED");
}

bool readableWithin(int fd, int timeoutMs) {
  pollfd watched = {fd, POLLIN, 0};
  return poll(&watched, 1, timeoutMs) == 1 && (watched.revents & POLLIN);
}

TEST(ConsoleNetlink, WatcherReportsAddressChangesOfItsNamespace) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  NetNamespace::Inside inside(ns);
  kesp_console::NetlinkWatcher watcher;
  ASSERT_GE(watcher.fd(), 0);
  EXPECT_FALSE(watcher.drain()) << "nothing happened yet";

  ns.addAddress("eth0", "192.0.2.10/24");
  ASSERT_TRUE(readableWithin(watcher.fd(), 2000));
  EXPECT_TRUE(watcher.drain());
  EXPECT_FALSE(watcher.drain()) << "drained";

  ns.setLinkUp("eth0", false);
  ASSERT_TRUE(readableWithin(watcher.fd(), 2000));
  EXPECT_TRUE(watcher.drain());
}

TEST(ConsoleNetlink, AddressGainedAndLostShowWithoutAKey) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitFor(bannerShown)) << console.dump();
  ASSERT_TRUE(console.waitForText("Login")) << console.dump();

  ns.addAddress("eth0", "192.0.2.10/24", "brd +");
  EXPECT_TRUE(console.waitFor([](const std::vector<std::string>& rows) { return !bannerShown(rows); },
                              2000))
      << console.dump();
  ns.removeAddress("eth0", "192.0.2.10/24");
  EXPECT_TRUE(console.waitFor(bannerShown, 2000)) << console.dump();
  EXPECT_EQ(root.welcomeRuns(), 3);
}

TEST(ConsoleNetlink, NoKeyLostWhileNotificationsArrive) {
  KESP_SKIP_UNLESS_ROOT();
  NetNamespace ns;
  ns.addVeth("eth0");
  ns.addAddress("eth0", "192.0.2.10/24", "brd +");
  ns.addVeth("eth1");
  ConsoleRoot root;
  root.writeInterfaces(kStaticEth0);
  ConsoleSession console(ns, root);
  ASSERT_TRUE(console.waitForText("Login")) << console.dump();

  std::atomic<bool> churning{true};
  std::thread churn([&] {
    // Every add and delete is a notification the console has to read.
    while (churning) {
      ns.exec("ip addr add 198.51.100.1/24 dev eth1; ip addr del 198.51.100.1/24 dev eth1");
    }
  });
  // Down and Up arrive as escape sequences. Each one must move the selection
  // promptly: a key lost, delayed behind the notifications, or split into ESC
  // and plain letters would leave it where it was.
  bool allMoved = true;
  std::string failure;
  for (int press = 0; press < 12 && allMoved; ++press) {
    bool down = press % 2 == 0;
    console.keys(down ? "Down" : "Up");
    allMoved = console.waitFor(
        [&](const std::vector<std::string>& rows) {
          return rows[down ? 27 : 26].compare(0, 2, " *") == 0;
        },
        1500);
    if (!allMoved) failure = "press " + std::to_string(press) + "\n" + console.dump();
  }
  churning = false;
  churn.join();
  EXPECT_TRUE(allMoved) << failure;
  EXPECT_FALSE(ConsoleSession::contains(console.lines(), "OB")) << console.dump();
}

}  // namespace
