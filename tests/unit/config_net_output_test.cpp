// What kesp_config_net prints as data (text and JSON), how it orders
// interface names, and how it reads the library's log for the reasons of a
// failure.

#include <gtest/gtest.h>

#include <sstream>

#include "commands.h"
#include "interface_change.h"
#include "interface_report.h"
#include "json_writer.h"
#include "kesp/log.h"
#include "log_collector.h"
#include "report_render.h"
#include "translate.h"
#include "word_wrap.h"

using namespace kesp_config_net;

namespace {

InterfaceReport staticReport() {
  InterfaceReport report;
  report.name = "eth0";
  report.configured = true;
  report.mode = KESP::STATICV4 | KESP::STATICV6;
  report.ipv4 = KESP::Ipv4Settings(true, "192.0.2.10", "255.255.255.0", "192.0.2.1");
  report.ipv6.address = "2001:db8::10";
  report.ipv6.prefix = "64";
  report.furtherAddresses = {"192.0.2.11/24"};
  report.live = true;
  report.present = true;
  report.link.adminUp = report.link.carrier = report.link.running = true;
  report.link.mac = "02:00:5e:10:00:01";
  report.liveIpv4.address = "192.0.2.10";
  report.liveIpv4.netmask = "255.255.255.0";
  report.liveIpv6.address = "2001:db8::10";
  report.liveIpv6.prefix = "64";
  return report;
}

TEST(ConfigNetOutput, JsonWriterPlacesCommasAndEscapes) {
  JsonWriter json;
  json.beginObject()
      .key("a").value("x\"y\\z\n\x01")
      .key("b").beginArray().value(true).value(7L).null().endArray()
      .key("c").beginObject().endObject()
      .key("d").valueOrNull("")
      .key("e").stringArray({"1", "2"})
      .endObject();
  EXPECT_EQ(json.text(),
            "{\"a\":\"x\\\"y\\\\z\\n\\u0001\",\"b\":[true,7,null],\"c\":{},\"d\":null,"
            "\"e\":[\"1\",\"2\"]}\n");
  EXPECT_EQ(jsonQuote("Grüße\t"), "\"Grüße\\t\"");
}

TEST(ConfigNetOutput, ShowTextPerInterfaceState) {
  SystemReport system;
  system.flavour = KESP::FLAVOUR_SUSE;
  system.live = true;
  system.interfaces.push_back(staticReport());
  InterfaceReport dhcp;
  dhcp.name = "eth1";
  dhcp.configured = true;
  dhcp.mode = KESP::DHCPV4;
  dhcp.live = true;
  dhcp.present = false;
  system.interfaces.push_back(dhcp);
  InterfaceReport bare;
  bare.name = "eth2";
  bare.live = true;
  bare.present = true;
  bare.link.adminUp = true;  // up, but its cable is out
  system.interfaces.push_back(bare);
  InterfaceReport odd;
  odd.name = "eth3";
  odd.configured = true;
  odd.mode = KESP::STATICV4;
  odd.ipv4.address = "198.51.100.4";
  odd.ipv4.netmask = "255.0.255.0";
  system.interfaces.push_back(odd);
  EXPECT_EQ(renderShowText(system),
            "interface files: SUSE\n"
            "eth0: STATICV4+STATICV6\n"
            "    ipv4: 192.0.2.10/24 gateway 192.0.2.1\n"
            "    ipv6: 2001:db8::10/64\n"
            "    further: 192.0.2.11/24\n"
            "    live: 192.0.2.10/24 2001:db8::10/64\n"
            "    link: up, carrier, MAC 02:00:5e:10:00:01\n"
            "eth1: DHCPV4\n"
            "    live: link not present\n"
            "eth2: not configured\n"
            "    live: no address\n"
            "    link: up, no carrier\n"
            "eth3: STATICV4\n"
            "    ipv4: 198.51.100.4 netmask 255.0.255.0\n");
}

TEST(ConfigNetOutput, ShowJsonKeepsEveryField) {
  SystemReport system;
  system.flavour = KESP::FLAVOUR_DEBIAN;
  system.live = true;
  system.dhcpv6Client = true;
  system.interfaces.push_back(staticReport());
  EXPECT_EQ(renderShowJson(system),
            "{\"family\":\"debian\",\"live\":true,\"dhcpv6_client\":true,\"unfinished_change\":false,"
            "\"interfaces\":[{"
            "\"name\":\"eth0\",\"configured\":true,\"mode\":\"STATICV4+STATICV6\","
            "\"ipv4\":{\"address\":\"192.0.2.10\",\"netmask\":\"255.255.255.0\",\"prefix\":24,"
            "\"broadcast\":\"192.0.2.255\",\"gateway\":\"192.0.2.1\"},"
            "\"ipv6\":{\"address\":\"2001:db8::10\",\"prefix\":64,\"gateway\":null},"
            "\"further_addresses\":[\"192.0.2.11/24\"],"
            "\"present\":true,"
            "\"link\":{\"state\":\"up\",\"carrier\":true,\"running\":true,"
            "\"mac\":\"02:00:5e:10:00:01\"},"
            "\"live_ipv4\":{\"address\":\"192.0.2.10\",\"netmask\":\"255.255.255.0\",\"prefix\":24,"
            "\"broadcast\":null},"
            "\"live_ipv6\":{\"address\":\"2001:db8::10\",\"prefix\":64}}]}\n");
  // Offline: the kernel was not asked, so nothing about it is claimed.
  system.live = false;
  system.interfaces[0].live = false;
  const std::string offline = renderShowJson(system);
  EXPECT_NE(offline.find("\"present\":null,\"link\":null,\"live_ipv4\":null,\"live_ipv6\":null"),
            std::string::npos)
      << offline;
}

TEST(ConfigNetMessages, SayWhatWasLookedForAndWaitedFor) {
  struct Case {
    std::string message;
    std::string expected;
  } cases[] = {
      {noFamilyMessage("/srv/image"),
       "no netplan, NetworkManager, systemd-networkd, Debian, Red Hat or SUSE network configuration was found under the "
       "root /srv/image (looked for the directory /etc/netplan, "
       "/etc/NetworkManager/system-connections, /etc/systemd/network, /etc/network, "
       "/etc/sysconfig/network-scripts or /etc/sysconfig/network)"},
      {noFamilyMessage(""),
       "no netplan, NetworkManager, systemd-networkd, Debian, Red Hat or SUSE network configuration was found on this "
       "system (looked for the directory /etc/netplan, /etc/NetworkManager/system-connections, "
       "/etc/systemd/network, /etc/network, /etc/sysconfig/network-scripts or "
       "/etc/sysconfig/network)"},
      {waitNotice({"eth0", KESP::DHCPV4, "", "", "", "", "", ""}),
       "waiting up to 30 seconds for eth0 to get an IPv4 address"},
      {waitNotice({"ens3", KESP::STATICV4 | KESP::AUTOV6, "", "", "", "", "", ""}),
       "waiting up to 30 seconds for ens3 to get an IPv4 or IPv6 address"},
      {waitNotice({"eth1", KESP::DHCPV6, "", "", "", "", "", ""}),
       "waiting up to 30 seconds for eth1 to get an IPv6 address"},
      // Values go where the (untranslated) text has their numbers, each once.
      {trf("{2} and {1}, {3}, {1}", {"a", "b"}), "b and a, {3}, a"},
      {trf("{1}: '{2}' is not a directory", {"--root", "{1}"}), "--root: '{1}' is not a directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.message, c.expected);
}

TEST(ConfigNetOutput, SmallerDocuments) {
  EXPECT_EQ(renderNameServersText({{}, "systemd-resolved", ""}),
            "no name servers\nowner: systemd-resolved\n");
  EXPECT_EQ(renderNameServersText({{"192.0.2.53", "2001:db8::53"}, "file", "/etc/resolv.conf"}),
            "nameserver 192.0.2.53\nnameserver 2001:db8::53\nowner: file\nsource: /etc/resolv.conf\n");
  EXPECT_EQ(renderNameServersJson({{"192.0.2.53"}, "netconfig", "/etc/sysconfig/network/config"}),
            "{\"nameservers\":[\"192.0.2.53\"],\"owner\":\"netconfig\","
            "\"source\":\"/etc/sysconfig/network/config\"}\n");
  EXPECT_EQ(renderNameServersJson({{}, "resolvconf", ""}),
            "{\"nameservers\":[],\"owner\":\"resolvconf\",\"source\":null}\n");
  EXPECT_EQ(renderGatewaysText("192.0.2.1", ""), "ipv4: 192.0.2.1\nipv6: none\n");
  EXPECT_EQ(renderGatewaysJson("eth0", "", "2001:db8::1"),
            "{\"interface\":\"eth0\",\"ipv4_gateway\":null,\"ipv6_gateway\":\"2001:db8::1\"}\n");
  EXPECT_EQ(renderProxyText(ProxyView()), "no proxy\n");
  EXPECT_EQ(renderProxyText({"proxy.lan", "3128", "bob", true}),
            "host: proxy.lan\nport: 3128\nuser: bob\npassword: set\n");
  EXPECT_EQ(renderProxyJson({"proxy.lan", "3128", "", false}),
            "{\"enabled\":true,\"host\":\"proxy.lan\",\"port\":3128,\"user\":null,"
            "\"password_set\":false}\n");
  EXPECT_EQ(renderHostNameJson("web\"1"), "{\"hostname\":\"web\\\"1\"}\n");
}

struct WrapCase {
  const char* text;
  size_t width;
  size_t indent;
  size_t column;  // where the cursor stands before
  const char* expected;
};

TEST(ConfigNetOutput, WrapsBetweenWordsBeforeTheTerminalsEdge) {
  const WrapCase cases[] = {
      {"Interface to configure (number or name; Enter to leave the interfaces as they are): ",
       80, 0, 0, "Interface to configure (number or name; Enter to leave the interfaces as they\nare): "},
      {"  Not accepted: the gateway is not in the network", 30, 2, 0,
       "  Not accepted: the gateway\n  is not in the network"},
      // Characters, not bytes: "Wählen Sie" fills ten columns.
      {"Wählen Sie eine Schnittstelle", 11, 0, 0, "Wählen Sie\neine\nSchnittstelle"},
      {"Applying the changes", 80, 0, 70, "Applying\nthe changes"},
      {"a verylongwordhere b", 10, 0, 0, "a\nverylongwordhere\nb"},
  };
  for (const WrapCase& c : cases) {
    std::string out;
    size_t column = c.column;
    appendWrapped(c.text, c.width, c.indent, column, out);
    EXPECT_EQ(out, c.expected) << c.text;
  }
  // Through a stream: a prompt flushed (room left for the answer), the
  // operator's Enter, the next line from its start.
  std::ostringstream target;
  WordWrapBuffer wrap(target.rdbuf(), 20);
  std::ostream out(&wrap);
  out << "Choose an interface number: " << std::flush;
  wrap.lineEnded();
  out << "the following words go on\n" << std::flush;
  EXPECT_EQ(target.str(), "Choose an\ninterface\nnumber: the following words\ngo on\n");
}

TEST(ConfigNetOutput, SortsNamesAsPeopleCount) {
  std::vector<std::string> names = {"eth10", "eth2", "eth1", "ens3", "eth2", "eth1.100", "eth1.20",
                                    "eth02", "eth0:1", "eth0"};
  sortInterfaceNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"ens3", "eth0", "eth0:1", "eth1", "eth1.20",
                                             "eth1.100", "eth02", "eth2", "eth10"}));
}

TEST(ConfigNetOutput, ReadsLogLinesForReasons) {
  const std::vector<LogLine> lines = parseLogText(
      "01/02/2024 10:11:12 [INFO] New network parameters requested: interface=eth0\n"
      "01/02/2024 10:11:13 [ERROR] Network FAILED to restart using new parameters eth0\n"
      "a second line of that message\n"
      " [WARN] DHCP will override supplied DNS settings\n"
      "01/02/2024 10:11:14 [DEBUG] detail\n"
      "01/02/2024 10:11:15 [WARN] DHCP will override supplied DNS settings\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].level, KESP::LOG_ERROR);
  EXPECT_EQ(lines[1].message,
            "Network FAILED to restart using new parameters eth0\na second line of that message");
  EXPECT_EQ(lines[2].level, KESP::LOG_WARN);
  // A warning logged again is reported once.
  EXPECT_EQ(messagesAtLeast(lines, KESP::LOG_WARN),
            (std::vector<std::string>{lines[1].message, "DHCP will override supplied DNS settings"}));
  // A message that merely quotes a level tag far into the line is no tag.
  const std::vector<LogLine> quoted =
      parseLogText("stray text that mentions [ERROR] late in the line\n");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0].message, "stray text that mentions [ERROR] late in the line");
}

TEST(ConfigNetOutput, CollectsTheLibraryLogAndRestoresIt) {
  const std::string oldFile = KESP::g_kesp_log_file_name;
  const int oldLevel = KESP::g_kesp_log_level;
  {
    LogCollector log;
    KESP_LOG(KESP::LOG_INFO, "test", "first " << 1);
    const size_t mark = log.mark();
    EXPECT_GT(mark, 0u);
    KESP_LOG(KESP::LOG_ERROR, "test", "second");
    KESP_LOG(KESP::LOG_DEBUG, "test", "below the threshold");
    const std::vector<LogLine> all = log.linesSince(0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].message, "first 1");
    const std::vector<LogLine> later = log.linesSince(mark);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].level, KESP::LOG_ERROR);
    EXPECT_EQ(later[0].message, "second");
  }
  EXPECT_EQ(KESP::g_kesp_log_file_name, oldFile);
  EXPECT_EQ(KESP::g_kesp_log_level, oldLevel);
}

}  // namespace
