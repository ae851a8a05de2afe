#pragma once
// A private network namespace for kernel tests: veth interfaces with real
// addresses that nothing outside the namespace ever sees.
//
//   KESP_SKIP_UNLESS_ROOT();
//   kesp_test::NetNamespace ns;            // "kesp-<pid>-<n>", loopback up, DAD off
//   ns.addVeth("eth0");                    // eth0 with its peer "p-eth0", both up
//   ns.addAddress("eth0", "192.0.2.1/24", "brd +");
//   ns.addDynamicIpv6("eth0", "2001:db8::5/64");
//   {
//     kesp_test::NetNamespace::Inside inside(ns);  // this process now sees only ns
//     KESP::getInterfaces(names);
//   }                                             // back in the original namespace
//   ns.exec("kesp_login --root /tmp/x");          // a program started inside
//
// The namespace is deleted by the destructor, also when the test fails or
// throws; SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT and exit() remove the ones
// still alive, and namespaces that a killed earlier run of this harness left
// behind (their creator is gone) are swept before the first new one is made.
// Setup failures throw std::runtime_error, which fails the test.

#include <functional>
#include <string>

#include "test_support.h"

/// Ends the current test as skipped unless it runs as root.
#define KESP_SKIP_UNLESS_ROOT()                                                     \
  do {                                                                              \
    if (!::kesp_test::isRoot())                                                     \
      GTEST_SKIP() << "kernel test: needs root to create network namespaces";       \
  } while (0)

namespace kesp_test {

class NetNamespace {
 public:
  /// Creates a uniquely named namespace with loopback up and duplicate address
  /// detection off for every interface made in it. Throws when it cannot.
  NetNamespace();
  /// Kills any process still running inside, leaves the namespace if this
  /// process is in it, and deletes it.
  ~NetNamespace();
  NetNamespace(const NetNamespace&) = delete;
  NetNamespace& operator=(const NetNamespace&) = delete;

  /// The name for `ip netns` ("kesp-<pid>-<n>").
  const std::string& name() const { return name_; }
  /// "ip netns exec <name> ": put it before a command line to run it inside.
  std::string execPrefix() const;
  /// The peer that addVeth gives an interface: "p-" + iface.
  static std::string peerOf(const std::string& iface);

  /// Runs a shell command line inside the namespace; returns its exit code
  /// (-1 when it did not exit normally).
  int exec(const std::string& command) const;
  /// Runs a shell command line inside and returns its standard output.
  std::string execOutput(const std::string& command) const;
  /// Runs a shell command line inside; throws with its output unless it succeeds.
  void run(const std::string& command) const;

  /// Creates the veth pair iface / peerOf(iface) (iface at most 13 bytes), with
  /// DAD off on both; brings both up unless up is false. A link that is down
  /// holds no automatic link-local address.
  void addVeth(const std::string& iface, bool up = true) const;
  void setLinkUp(const std::string& iface, bool up) const;
  /// `ip addr add <cidr> dev <iface> <extra>`: IPv4, or a permanent IPv6 address.
  void addAddress(const std::string& iface, const std::string& cidr,
                  const std::string& extra = "") const;
  /// An IPv6 address with finite lifetimes, as autoconfiguration leaves them:
  /// the kernel lists it in /proc/net/if_inet6 with flags 0.
  void addDynamicIpv6(const std::string& iface, const std::string& cidr,
                      unsigned lifetimeSeconds = 600) const;
  void removeAddress(const std::string& iface, const std::string& cidr) const;

  /// Moves the calling process into the namespace for the guard's lifetime, so
  /// that getifaddrs and /proc/net describe it; restores the previous one after.
  /// Tests run on the main thread, which is what /proc/self/net follows.
  class Inside {
   public:
    explicit Inside(const NetNamespace& ns);
    ~Inside();
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

   private:
    int previous_;
  };

  /// Calls body inside the namespace (an Inside guard around it).
  void runInside(const std::function<void()>& body) const;

  /// Polls a shell command line run inside until it succeeds; false when it
  /// still fails after timeoutMs (addresses and links settle asynchronously).
  bool waitUntil(const std::string& command, int timeoutMs = 5000) const;

  /// Deletes the "kesp-<pid>-<n>" namespaces whose creating process is gone
  /// (runs by itself before this process makes its first namespace).
  static void sweepStale();

 private:
  void remove();

  std::string name_;
  std::string path_;  // the bind-mounted namespace file
  int creator_;       // the process that made it, the only one to delete it
  int home_;          // this process's namespace when it was created
};

}  // namespace kesp_test
