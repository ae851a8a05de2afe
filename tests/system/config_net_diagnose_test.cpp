// kesp_config_net diagnose against broken networks: the appliance in one
// namespace, its LAN (gateway, name server, proxy, DHCP server, another
// machine) in a second one at the other end of each veth. Each row breaks
// one thing and is judged by the verdict's layer and words, on the images of
// several families.

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config_net_harness.h"

namespace {

using config_net_test::contains;
using config_net_test::quote;
using config_net_test::Result;
using config_net_test::ToolRoot;
using kesp_test::NetNamespace;

/// A socket of the LAN's, made inside it (a socket stays in the namespace
/// that made it, whichever thread serves it).
int lanSocket(const NetNamespace& lan, int type, const char* host, uint16_t port) {
  NetNamespace::Inside inside(lan);
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, host, &address.sin_addr);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (type == SOCK_STREAM && listen(fd, 4) != 0))
    throw std::runtime_error(std::string("cannot open the LAN's socket on ") + host);
  return fd;
}

/// A name server of the test's own: every query comes back as an answer
/// (the response bit set, no error), nothing else done. Bound to its own
/// address, so that the replies come from it.
class TinyNameServer {
 public:
  explicit TinyNameServer(const NetNamespace& lan) : fd_(lanSocket(lan, SOCK_DGRAM, "192.0.2.53", 53)) {
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd wait{fd_, POLLIN, 0};
        if (poll(&wait, 1, 50) <= 0) continue;
        char buffer[512];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t got = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (got < 12) continue;
        buffer[2] = static_cast<char>(buffer[2] | 0x80);
        buffer[3] = static_cast<char>(0x80);
        sendto(fd_, buffer, static_cast<size_t>(got), 0, reinterpret_cast<sockaddr*>(&from), size);
      }
    });
  }
  ~TinyNameServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

 private:
  int fd_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

/// The appliance ("app") and its LAN: eth0 and eth1 of the appliance each
/// have their peer in the LAN, which holds the gateway 192.0.2.1 and the
/// name server 192.0.2.53 on eth0's side.
struct Scene {
  NetNamespace app, lan;
  ToolRoot root;
  kesp_test::TempDir scratch;
  std::vector<int> sockets;

  ~Scene() {
    for (int fd : sockets) close(fd);
  }

  explicit Scene(const std::string& family) : root(family) {
    for (const char* iface : {"eth0", "eth1"}) {
      app.addVeth(iface);
      const std::string peer = NetNamespace::peerOf(iface);
      app.run("ip link set " + peer + " netns " + lan.name());
      lan.run("ip link set " + peer + " up");
    }
    // eth0 as its static configuration brought it up.
    app.addAddress("eth0", "192.0.2.10/24");
    app.run("ip route add default via 192.0.2.1");
    lan.addAddress("p-eth0", "192.0.2.1/24");
    lan.addAddress("p-eth0", "192.0.2.53/32");
  }

  /// What a DHCP client of the appliance would do on eth1, against a DHCP
  /// server on the LAN's end: the lease's address and route put in place.
  void leaseOnEth1() {
    lan.addAddress("p-eth1", "203.0.113.1/24");
    lan.run("dnsmasq --port=0 --interface=p-eth1 --bind-interfaces --conf-file=/dev/null --user=root"
            " --dhcp-range=203.0.113.100,203.0.113.150,255.255.255.0,1h --dhcp-option=3,203.0.113.1"
            " --dhcp-leasefile=" + quote(scratch / "leases") + " --pid-file=" + quote(scratch / "pid"));
    kesp_test::writeFile(scratch / "lease.sh",
                         "#!/bin/sh\ncase \"$1\" in bound) ip addr add \"$ip/$mask\" dev \"$interface\";"
                         " ip route add default via \"$router\" dev \"$interface\";; esac\n",
                         0755);
    app.run("ip route del default");
    app.run("udhcpc -i eth1 -n -q -f -t 5 -T 1 -s " + quote(scratch / "lease.sh") + " 2>&1");
  }
};

struct Row {
  const char* what;
  const char* iface;
  std::function<void(Scene&)> breakIt;
  bool nameServer;  ///< the LAN's name server answers
  const char* layer;
  std::string words;
};

const std::string kProxy = "http_proxy=\"http://192.0.2.80:3128\"\n";

const Row kRows[] = {
    {"no carrier", "eth0", [](Scene& s) { s.lan.run("ip link set p-eth0 down"); }, true, "link",
     "eth0: cable not connected"},
    {"duplicate address", "eth0", [](Scene& s) { s.lan.addAddress("p-eth0", "192.0.2.10/24"); }, true,
     "address", "eth0: 192.0.2.10 is used by another machine ("},
    {"gateway outside the network", "eth0",
     [](Scene& s) {
       s.app.run("ip route del default");
       kesp_test::shell("sed -i 's/192\\.0\\.2\\.1$/203.0.113.1/' " +
                        quote(s.root.path()) + "/etc/network/interfaces " + quote(s.root.path()) +
                        "/etc/NetworkManager/system-connections/eth0.nmconnection " +
                        quote(s.root.path()) + "/etc/netplan/*.yaml 2>/dev/null");
     },
     true, "gateway", "eth0: gateway 203.0.113.1 is outside the network 192.0.2.0/24"},
    {"gateway silent", "eth0", [](Scene& s) { s.lan.run("ip addr del 192.0.2.1/24 dev p-eth0"); },
     true, "gateway", "eth0: gateway 192.0.2.1 does not answer"},
    {"name server silent", "eth0", [](Scene&) {}, false, "name-servers",
     "eth0: name server 192.0.2.53 does not answer"},
    {"name server answering, everything fine", "eth0", [](Scene&) {}, true, "ok",
     "eth0: every layer holds"},
    {"proxy closed", "eth0",
     [](Scene& s) {
       s.lan.addAddress("p-eth0", "192.0.2.80/32");
       s.root.write("/etc/environment", kProxy);
     },
     true, "proxy", "eth0: proxy 192.0.2.80:3128 refuses connections"},
    {"proxy open", "eth0",
     [](Scene& s) {
       s.lan.addAddress("p-eth0", "192.0.2.80/32");
       s.root.write("/etc/environment", kProxy);
       // Listening is enough: the kernel completes the connection.
       s.sockets.push_back(lanSocket(s.lan, SOCK_STREAM, "192.0.2.80", 3128));
     },
     true, "ok", "eth0: every layer holds"},
    {"no DHCP server", "eth1", [](Scene&) {}, true, "address", "eth1: no answer from a DHCP server"},
    {"a DHCP server answers", "eth1", [](Scene& s) { s.leaseOnEth1(); }, true, "ok",
     "eth1: every layer holds"},
};

class ConfigNetDiagnose : public ::testing::TestWithParam<const char*> {};

TEST_P(ConfigNetDiagnose, BrokenNetworksJudged) {
  KESP_SKIP_UNLESS_ROOT();
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    Scene scene(GetParam());
    scene.root.write("/etc/resolv.conf", "nameserver 192.0.2.53\n");
    row.breakIt(scene);
    std::unique_ptr<TinyNameServer> server;
    if (row.nameServer) server = std::make_unique<TinyNameServer>(scene.lan);

    const Result text = scene.root.live(scene.app, {"diagnose", row.iface});
    EXPECT_EQ(text.status, std::string(row.layer) == "ok" ? 0 : 1) << text;
    EXPECT_TRUE(contains(text.out, row.words)) << text;
    const Result json = scene.root.live(scene.app, {"diagnose", row.iface, "--json"});
    EXPECT_TRUE(contains(json.out, std::string("\"name\":\"") + row.iface + "\",\"layer\":\"" +
                                       row.layer + "\",\"ok\":" +
                                       (std::string(row.layer) == "ok" ? "true" : "false") +
                                       ",\"message\":\"" + row.words))
        << json;
  }
}

INSTANTIATE_TEST_SUITE_P(Families, ConfigNetDiagnose,
                         ::testing::Values("debian", "networkmanager", "netplan"));

}  // namespace
