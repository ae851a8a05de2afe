// Canonical IPv6 text, the if_inet6 parser and the choices made on the
// kernel's address list, fed with texts and hand-built lists.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "system/address_entries.h"
#include "kesp/network.h"
#include "test_support.h"

namespace {

using KESP::Ipv4Settings;
using KESP::Ipv6Settings;
using KESP::detail::AddressEntry;

TEST(CanonicalIpv6, ValidTextsAreCompressed) {
  const std::pair<std::string, std::string> cases[] = {
      {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
      {"2001:DB8::A:0:0:1", "2001:db8::a:0:0:1"},
      {"0:0:0:0:0:0:0:1", "::1"},
      {"::", "::"},
      {"fe80:0:0:0:1:0:0:0", "fe80::1:0:0:0"},
      {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
  };
  kesp_test::LogCapture log;
  for (const auto& c : cases) {
    std::string out = "previous";
    EXPECT_TRUE(KESP::makeCanonicalIPv6(c.first, out)) << c.first;
    EXPECT_EQ(c.second, out);
  }
  EXPECT_EQ("", log.text());
}

TEST(CanonicalIpv6, InvalidTextIsLoggedAndLeavesTheOutput) {
  const std::string cases[] = {
      "2001:::1", "", "1:2:3:4:5:6:7:8:9", "192.0.2.1", "2001:db8::g", " 2001:db8::1",
      std::string("2001:db8::1\0junk", 16),
  };
  for (const std::string& text : cases) {
    kesp_test::LogCapture log;
    std::string out = "previous";
    EXPECT_FALSE(KESP::makeCanonicalIPv6(text, out)) << text;
    EXPECT_EQ("previous", out);
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(1u, lines.size()) << text;
    EXPECT_EQ(0u, lines[0].find("[ERROR] Attempted translation of an Invalid IPv6 address "))
        << lines[0];
  }
}

TEST(CanonicalIpv6, FromThirtyTwoHexDigits) {
  struct Case {
    const char* digits;
    const char* expected;  // "previous": rejected
    const char* logged;    // what the error line shows when rejected
  };
  const Case cases[] = {
      {"20010db8000000000000000000000001", "2001:db8::1", ""},
      {"fe800000000000006c58a0fffead4c79", "fe80::6c58:a0ff:fead:4c79", ""},
      {"00000000000000000000000000000001", "::1", ""},
      {"20010DB8000000000000000000000001", "2001:db8::1", ""},
      {"20010db800000000000000000000001", "previous", "2001:0db8:0000:0000:0000:0000:0000:001"},
      {"20010db80000000000000000000000011", "previous",
       "2001:0db8:0000:0000:0000:0000:0000:0001:1"},
      {"20010db8000000000000000000000g01", "previous", "2001:0db8:0000:0000:0000:0000:0000:0g01"},
      {"::1", "previous", "::1"},
      {"", "previous", ""},
  };
  for (const Case& c : cases) {
    kesp_test::LogCapture log;
    std::string out = "previous";
    const bool valid = std::string(c.expected) != "previous";
    EXPECT_EQ(valid, KESP::hexToCanonicalIPv6(c.digits, out)) << c.digits;
    EXPECT_EQ(c.expected, out) << c.digits;
    if (valid)
      EXPECT_EQ("", log.text());
    else
      EXPECT_TRUE(log.contains(std::string("Invalid IPv6 address ") + c.logged)) << log.text();
  }
}

// What the kernel writes: two interfaces, permanent (80), dynamic (00) and
// link-local addresses.
const char IF_INET6[] =
    "fe800000000000006c58a0fffead4c79 03 40 20 80     eth0\n"
    "20010db8000000000000000000000005 03 40 00 00     eth0\n"
    "fe8000000000000004ec42fffed0b2be 02 40 20 80   p-eth0\n"
    "20010db8000000000000000000000006 03 40 00 80     eth0\n"
    "20010db8000100000000000000000007 04 30 00 00     eth1\n"
    "20010db8000000000000000000000008 03 40 00 00     eth0\n"
    "00000000000000000000000000000001 01 80 10 80       lo\n";

std::vector<std::string> describe(const std::vector<Ipv6Settings>& list) {
  std::vector<std::string> texts;
  for (const Ipv6Settings& s : list) texts.push_back(s.address + "/" + s.prefix + s.gateway);
  return texts;
}

TEST(IfInet6, DynamicAddressesOfOneOrEveryInterface) {
  struct Case {
    const char* iface;
    bool result;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"eth0", true, {"2001:db8::5/64", "2001:db8::8/64"}},
      {"eth1", true, {"2001:db8:1::7/48"}},
      {"", true, {"2001:db8::5/64", "2001:db8:1::7/48", "2001:db8::8/64"}},
      {"lo", false, {}},
      {"p-eth0", false, {}},
      {"eth", false, {}},
      {"eth00", false, {}},
  };
  for (const Case& c : cases) {
    std::vector<Ipv6Settings> list;
    EXPECT_EQ(c.result, KESP::parseDynamicIpv6Addresses(IF_INET6, c.iface, list)) << c.iface;
    EXPECT_EQ(c.expected, describe(list)) << c.iface;
  }
}

TEST(IfInet6, AppendsToTheGivenList) {
  std::vector<Ipv6Settings> list(1, Ipv6Settings(true, "2001:db8::99", "128", ""));
  EXPECT_TRUE(KESP::parseDynamicIpv6Addresses(IF_INET6, "eth1", list));
  EXPECT_EQ((std::vector<std::string>{"2001:db8::99/128", "2001:db8:1::7/48"}), describe(list));
}

TEST(IfInet6, MalformedLinesAreSkipped) {
  const std::string good = "20010db8000000000000000000000005 03 40 00 00 eth0";
  const std::string lines[] = {
      std::string(5000, 'a') + " 03 40 00 00 eth0",                   // overlong address
      "20010db8000000000000000000000005 03 40 00 00 " + std::string(4000, 'x'),  // long name
      "20010db8000000000000000000000005 03 40 00 00",                 // no device
      "20010db800000000000000000000005 03 40 00 00 eth0",             // 31 digits
      "20010db8000000000000000000000005x 03 40 00 00 eth0",           // 33 characters
      "20010db8000000000000000000000zz5 03 40 00 00 eth0",            // not hex
      "20010db8000000000000000000000005 03 40 00 -0 eth0",            // signed flags
      "20010db8000000000000000000000005 03 zz 00 00 eth0",            // prefix not hex
      "20010db8000000000000000000000005 03 81 00 00 eth0",            // prefix above 128
      "20010db8000000000000000000000005 03 40 00 1000000000 eth0",    // flags beyond 32 bits
      "20010db8000000000000000000000005 03 0x40 00 00 eth0",
      "",
      "   ",
      std::string("20010db8000000000000000000000005 03 40\0 00 00 eth0", 49),
  };
  for (const std::string& bad : lines) {
    std::vector<Ipv6Settings> list;
    EXPECT_FALSE(KESP::parseDynamicIpv6Addresses(bad + "\n", "", list)) << bad.substr(0, 80);
    EXPECT_TRUE(list.empty()) << bad.substr(0, 80);
    // A bad line does not spoil the good ones around it.
    std::vector<Ipv6Settings> mixed;
    EXPECT_TRUE(KESP::parseDynamicIpv6Addresses(good + "\n" + bad + "\n" + good, "eth0", mixed));
    EXPECT_EQ(2u, mixed.size()) << bad.substr(0, 80);
  }
}

TEST(IfInet6, TolerantOfBlankLayout) {
  std::vector<Ipv6Settings> list;
  EXPECT_TRUE(KESP::parseDynamicIpv6Addresses(
      "\t20010db8000000000000000000000005\t3 40 0 0000000\teth0   extra\r\n", "eth0", list));
  EXPECT_EQ((std::vector<std::string>{"2001:db8::5/64"}), describe(list));
}

// A getifaddrs-shaped list built by hand; the nodes point into storage owned here.
class AddressList {
 public:
  AddressList& ipv4(const char* name, const char* address, const char* netmask,
                    const char* broadcast, unsigned flags = IFF_UP | IFF_BROADCAST) {
    ifaddrs& node = add(name, flags);
    node.ifa_addr = ipv4Socket(address);
    node.ifa_netmask = netmask ? ipv4Socket(netmask) : nullptr;
    node.ifa_broadaddr = broadcast ? ipv4Socket(broadcast) : nullptr;
    return *this;
  }
  AddressList& ipv6(const char* name, const char* address, const char* netmask) {
    ifaddrs& node = add(name, IFF_UP | IFF_BROADCAST);
    node.ifa_addr = ipv6Socket(address);
    node.ifa_netmask = netmask ? ipv6Socket(netmask) : nullptr;
    return *this;
  }
  AddressList& other(const char* name, int family, bool withAddress) {
    ifaddrs& node = add(name, IFF_UP);
    if (withAddress) {
      sockets_.emplace_back();
      sockets_.back().ss_family = static_cast<sa_family_t>(family);
      node.ifa_addr = reinterpret_cast<sockaddr*>(&sockets_.back());
    }
    return *this;
  }
  AddressList& link(const char* name, unsigned flags, std::vector<unsigned char> mac) {
    ifaddrs& node = add(name, flags);
    sockets_.emplace_back();
    auto* socket = reinterpret_cast<sockaddr_ll*>(&sockets_.back());
    socket->sll_family = AF_PACKET;
    socket->sll_halen = static_cast<unsigned char>(mac.size());
    std::copy(mac.begin(), mac.end(), socket->sll_addr);
    node.ifa_addr = reinterpret_cast<sockaddr*>(socket);
    return *this;
  }
  const ifaddrs* head() {
    for (size_t i = 0; i + 1 < nodes_.size(); ++i) nodes_[i].ifa_next = &nodes_[i + 1];
    return nodes_.empty() ? nullptr : &nodes_.front();
  }

 private:
  ifaddrs& add(const char* name, unsigned flags) {
    names_.emplace_back(name);
    nodes_.emplace_back();
    ifaddrs& node = nodes_.back();
    std::memset(&node, 0, sizeof node);
    node.ifa_name = &names_.back()[0];
    node.ifa_flags = flags;
    return node;
  }
  sockaddr* ipv4Socket(const char* text) {
    sockets_.emplace_back();
    auto* socket = reinterpret_cast<sockaddr_in*>(&sockets_.back());
    socket->sin_family = AF_INET;
    EXPECT_EQ(1, inet_pton(AF_INET, text, &socket->sin_addr)) << text;
    return reinterpret_cast<sockaddr*>(socket);
  }
  sockaddr* ipv6Socket(const char* text) {
    sockets_.emplace_back();
    auto* socket = reinterpret_cast<sockaddr_in6*>(&sockets_.back());
    socket->sin6_family = AF_INET6;
    EXPECT_EQ(1, inet_pton(AF_INET6, text, &socket->sin6_addr)) << text;
    return reinterpret_cast<sockaddr*>(socket);
  }

  // Deques keep element addresses stable as nodes are added.
  std::deque<std::string> names_;
  std::deque<ifaddrs> nodes_;
  std::deque<sockaddr_storage> sockets_;
};

TEST(AddressEntries, MissingPartsNeverCrashAndStayEmpty) {
  AddressList list;
  list.other("eth0", AF_PACKET, true)
      .other("eth9", AF_INET, false)  // no address at all
      .ipv4("lo", "127.0.0.1", "255.0.0.0", nullptr, IFF_UP | IFF_LOOPBACK)
      .ipv4("eth0", "192.0.2.10", nullptr, nullptr)
      .ipv4("ppp0", "198.51.100.1", "255.255.255.255", "198.51.100.2", IFF_UP | IFF_POINTOPOINT)
      .ipv4("eth1", "192.0.2.20", "255.255.255.0", "192.0.2.255")
      .ipv4("eth2", "192.0.2.30", "255.255.255.0", "192.0.2.30")  // the library's "none"
      .ipv4("eth2", "192.0.2.31", "255.255.255.255", "192.0.2.31")
      .ipv6("eth1", "2001:db8::20", "ffff:ffff:ffff:ffff::")
      .ipv6("eth1", "fe80::1", nullptr)
      .ipv6("eth1", "febf::1", "ffff:ffff:ffff:ffff::")
      .ipv6("eth1", "fec0::1", "ffff:ffff:ffff:fff0::");
  std::vector<AddressEntry> entries = KESP::detail::toAddressEntries(list.head());
  std::vector<std::string> seen;
  for (const AddressEntry& e : entries) {
    seen.push_back(e.name + " " + e.address + " " + e.netmask + " " + e.broadcast + " " +
                   e.prefix + (e.linkLocal ? " link" : ""));
  }
  const std::vector<std::string> expected = {
      "lo 127.0.0.1 255.0.0.0  ",
      "eth0 192.0.2.10   ",
      "ppp0 198.51.100.1 255.255.255.255  ",  // the peer is no broadcast
      "eth1 192.0.2.20 255.255.255.0 192.0.2.255 ",
      "eth2 192.0.2.30 255.255.255.0  ",
      "eth2 192.0.2.31 255.255.255.255 192.0.2.31 ",
      "eth1 2001:db8::20   64",
      "eth1 fe80::1    link",
      "eth1 febf::1   64 link",
      "eth1 fec0::1   60",
  };
  EXPECT_EQ(expected, seen);
  EXPECT_TRUE(KESP::detail::toAddressEntries(nullptr).empty());
}

AddressEntry v4(const char* name, const char* address, const char* netmask = "255.255.255.0",
                const char* broadcast = "") {
  AddressEntry e;
  e.name = name;
  e.family = AF_INET;
  e.address = address;
  e.netmask = netmask;
  e.broadcast = broadcast;
  return e;
}

AddressEntry v6(const char* name, const char* address, const char* prefix = "64") {
  AddressEntry e;
  e.name = name;
  e.family = AF_INET6;
  e.address = address;
  e.prefix = prefix;
  e.linkLocal = std::string(address).compare(0, 4, "fe80") == 0;
  return e;
}

TEST(InterfaceNames, EthernetNamesInTextOrderEachOnce) {
  const std::vector<AddressEntry> entries = {
      v4("eth2", "192.0.2.2"),  v6("eth2", "2001:db8::2"), v4("lo", "127.0.0.1"),
      v4("eth10", "192.0.2.10"), v6("eth0", "fe80::1"),    v4("eth0", "192.0.2.1"),
      v4("wlan0", "192.0.2.3"), v4("veth1", "192.0.2.4"),  v4("eth0:1", "192.0.2.5"),
      v6("eth10", "2001:db8::10"), v4("Eth5", "192.0.2.6"), v4("et", "192.0.2.7"),
      v4("ens3", "192.0.2.8"), v4("enp0s3", "192.0.2.9"), v4("eno1", "192.0.2.11"),
      v4("enx0200c0a80001", "192.0.2.12"), v4("wlp2s0", "192.0.2.13"), v4("e", "192.0.2.14"),
  };
  EXPECT_EQ((std::vector<std::string>{"eno1", "enp0s3", "ens3", "enx0200c0a80001", "eth0",
                                      "eth0:1", "eth10", "eth2"}),
            KESP::detail::selectInterfaceNames(entries));
}

TEST(LinkStates, FlagsAndHardwareAddressFromTheLinkEntries) {
  const unsigned kLowerUp = 1u << 16;
  AddressList list;
  list.link("eth0", IFF_UP | IFF_RUNNING | kLowerUp, {0x02, 0x00, 0x5e, 0x10, 0x00, 0x01})
      .ipv4("eth0", "192.0.2.10", "255.255.255.0", nullptr)
      .link("eth1", IFF_UP, {0x02, 0xab, 0, 0, 0, 0xff})  // no carrier
      .link("eth2", IFF_RUNNING | kLowerUp, {})          // administratively down
      .link("ens3", IFF_UP | kLowerUp, {0x02, 0, 0, 0, 0, 3});  // carrier, not running
  std::vector<std::string> seen;
  for (const KESP::detail::LinkEntry& entry : KESP::detail::toLinkEntries(list.head())) {
    const KESP::LinkState state = KESP::detail::linkStateOf(entry);
    seen.push_back(entry.name + (state.adminUp ? " up" : " down") +
                   (state.carrier ? " carrier" : " no-carrier") +
                   (state.running ? " running" : "") + (state.usable() ? " usable" : "") + " [" +
                   state.mac + "]");
  }
  EXPECT_EQ((std::vector<std::string>{"eth0 up carrier running usable [02:00:5e:10:00:01]",
                                      "eth1 up no-carrier [02:ab:00:00:00:ff]",
                                      "eth2 down no-carrier []",
                                      "ens3 up carrier [02:00:00:00:00:03]"}),
            seen);
}

TEST(LiveAddresses, ChoosesFromTheKernelsList) {
  Ipv6Settings dynamic5(true, "2001:db8::5", "64", "");
  Ipv6Settings dynamic7(true, "2001:db8::7", "56", "");
  struct Case {
    const char* what;
    std::vector<AddressEntry> entries;
    std::vector<Ipv6Settings> dynamic;
    bool result;
    const char* ipv4;  // "address netmask broadcast"
    const char* ipv6;  // "address/prefix"
  };
  const Case cases[] = {
      {"nothing of the interface", {v4("eth1", "192.0.2.1"), v6("eth1", "2001:db8::1")},
       {}, false, "- - -", "-/-"},
      {"link-local only", {v6("eth0", "fe80::1")}, {}, false, "- - -", "-/-"},
      {"last IPv4 wins",
       {v4("eth0", "192.0.2.1", "255.255.255.0", "192.0.2.255"), v4("eth1", "198.51.100.1"),
        v4("eth0", "10.0.0.1", "255.0.0.0", "")},
       {}, true, "10.0.0.1 255.0.0.0 ", "-/-"},
      {"first global IPv6, link-local skipped",
       {v6("eth0", "fe80::1"), v6("eth0", "2001:db8::1", "64"), v6("eth0", "2001:db8::2", "48")},
       {}, true, "- - -", "2001:db8::1/64"},
      {"permanent preferred over dynamic listed before it",
       {v6("eth0", "2001:db8::5"), v6("eth0", "2001:db8::6", "80")}, {dynamic5}, true,
       "- - -", "2001:db8::6/80"},
      {"dynamic is the fallback with its own prefix",
       {v6("eth0", "fe80::1"), v6("eth0", "2001:db8::7", "64"), v6("eth0", "2001:db8::5")},
       {dynamic7, dynamic5}, true, "- - -", "2001:db8::7/56"},
      {"dynamic of another interface does not hide an address",
       {v6("eth0", "2001:db8::9")}, {}, true, "- - -", "2001:db8::9/64"},
      {"both families",
       {v6("eth0", "2001:db8::1"), v4("eth0", "192.0.2.1", "255.255.255.0", "192.0.2.255")},
       {dynamic5}, true, "192.0.2.1 255.255.255.0 192.0.2.255", "2001:db8::1/64"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Ipv4Settings ipv4;
    ipv4.address = ipv4.netmask = ipv4.broadcast = "-";
    ipv4.gateway = "gw4";
    Ipv6Settings ipv6;
    ipv6.address = ipv6.prefix = "-";
    ipv6.gateway = "gw6";
    EXPECT_EQ(c.result, KESP::detail::selectLiveAddresses(c.entries, "eth0", c.dynamic, ipv4, ipv6));
    EXPECT_EQ(c.ipv4, ipv4.address + " " + ipv4.netmask + " " + ipv4.broadcast);
    EXPECT_EQ(c.ipv6, ipv6.address + "/" + ipv6.prefix);
    EXPECT_EQ("gw4", ipv4.gateway);
    if (std::string(c.ipv6) != "-/-" && !c.dynamic.empty() &&
        ipv6.address == c.dynamic.front().address) {
      EXPECT_EQ("", ipv6.gateway) << "the fallback copies the whole dynamic record";
    } else {
      EXPECT_EQ("gw6", ipv6.gateway);
    }
  }
}

}  // namespace
