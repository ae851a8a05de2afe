// getNetworks reads every interface's configuration in one pass; what it reads
// must be exactly what getNetwork reads interface by interface, on the
// library's own fixture files and on files written to trip the cutting.

#include <gtest/gtest.h>

#include <dirent.h>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "test_support.h"


namespace {

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> files;
  if (DIR* handle = opendir(dir.c_str())) {
    while (dirent* entry = readdir(handle))
      if (entry->d_name[0] != '.') files.push_back(dir + "/" + entry->d_name);
    closedir(handle);
  }
  return files;
}

/// Interfaces files: the library's fixtures (inputs and expected outputs of
/// its writer) and some with lines that only look like stanza starts.
std::vector<std::string> debianTexts() {
  std::vector<std::string> texts = {
      kesp_test::readFile(kesp_test::fixturePath("debian/root/etc/network/interfaces")),
      kesp_test::readFile(kesp_test::fixturePath("config_net/debian/etc/network/interfaces")),
      // A tab after "iface" is no iface line; its options stay with eth0.
      "iface eth0 inet static\n address 192.0.2.1\niface\teth1 inet static\n netmask 255.255.255.0\n",
      // Blank runs, comments, a nameless iface line ending eth0's options.
      "  iface  eth0   inet6  static\n  address 2001:db8::1\n#iface eth0 inet dhcp\n"
      "iface \n netmask 64\niface eth0 inet dhcp\n gateway 192.0.2.9\n",
      // Repeated stanzas of one interface, another one's between them.
      "iface eth0 inet static\n address 192.0.2.1\niface eth1 inet dhcp\n address 192.0.2.2\n"
      "iface eth0 inet6 static\n address 2001:db8::5\n netmask 48\nauto eth0 eth1\n"
      "allow-hotplug eth0\n gateway 192.0.2.254\n",
      "",
  };
  for (const char* family : {"realistic", "shared-auto", "empty"})
    for (const std::string& file : filesIn(kesp_test::fixturePath(std::string("debian/writer/") + family)))
      texts.push_back(kesp_test::readFile(file));
  return texts;
}

TEST(GetNetworksTest, ReadsWhatGetNetworkReadsOnDebian) {
  kesp_test::SystemRoot root;
  kesp_test::LogCapture quiet(KESP::LOG_NONE);
  const std::vector<std::string> texts = debianTexts();
  ASSERT_GT(texts.size(), 20u);
  for (const std::string& text : texts) {
    root.write("/etc/network/interfaces", text);
    std::vector<std::string> names;
    KESP::listConfiguredInterfaces(names);
    names.push_back("eth9");  // configured nowhere
    names.push_back("eth0:1");
    std::vector<KESP::ConfiguredNetwork> reports(names.size());
    for (size_t i = 0; i < names.size(); ++i) reports[i].name = names[i];
    KESP::getNetworks(reports, false);
    for (const KESP::ConfiguredNetwork& report : reports) {
      KESP::AddressMode mode = 0;
      KESP::Ipv4Settings ipv4;
      KESP::Ipv6Settings ipv6;
      const bool found = KESP::getNetwork(report.name, false, mode, ipv4, ipv6);
      const std::string where = report.name + " in\n" + text;
      EXPECT_EQ(report.configured, found) << where;
      EXPECT_EQ(report.mode, mode) << where;
      EXPECT_EQ(report.ipv4.address, ipv4.address) << where;
      EXPECT_EQ(report.ipv4.netmask, ipv4.netmask) << where;
      EXPECT_EQ(report.ipv4.gateway, ipv4.gateway) << where;
      EXPECT_EQ(report.ipv4.broadcast, ipv4.broadcast) << where;
      EXPECT_EQ(report.ipv6.address, ipv6.address) << where;
      EXPECT_EQ(report.ipv6.prefix, ipv6.prefix) << where;
      EXPECT_EQ(report.ipv6.gateway, ipv6.gateway) << where;
    }
  }
}

TEST(GetNetworksTest, OtherFamiliesAndBadNames) {
  kesp_test::SystemRoot root;
  root.copyFixture("config_net/redhat");
  kesp_test::LogCapture log;
  std::vector<KESP::ConfiguredNetwork> reports(4);
  reports[0].name = "eth0";
  reports[1].name = "eth1";
  reports[2].name = "eth4";
  reports[3].name = "../eth0";
  KESP::getNetworks(reports, false);
  EXPECT_TRUE(reports[0].configured);
  EXPECT_EQ(reports[0].mode, KESP::STATICV4);
  EXPECT_EQ(reports[0].ipv4.gateway, "192.0.2.1");
  EXPECT_EQ(reports[1].mode, KESP::DHCPV4);
  EXPECT_FALSE(reports[2].configured);
  EXPECT_FALSE(reports[3].configured);
  EXPECT_TRUE(log.contains("invalid interface name '../eth0'"));
}

}  // namespace
