// netplan's YAML and networkd's .network files as the installers and cloud
// images write them, each interface set three ways through writeNetworkFiles,
// then judged by netplan's renderer and by networkd itself: the intended
// file is the one networkd applies, with the intended settings, and nothing
// the tool does not own has changed.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "daemon_peers.h"
#include "kesp/interface_files.h"
#include "kesp/network_change.h"
#include "netns.h"
#include "test_support.h"

namespace {

using namespace KESP;

const char kInstaller[] = R"(# This is the network config written by 'subiquity'
network:
  ethernets:
    eth0:
      addresses:
      - 192.0.2.10/24
      nameservers:
        addresses:
        - 192.0.2.53
        search: [example.org]
      routes:
      - to: default
        via: 192.0.2.1
      mtu: 1400
    eth1:
      dhcp4: true
  version: 2
)";
const char kCloudInit[] = R"(network:
    ethernets:
        eth0:
            dhcp4: true
            match:
                macaddress: 52:54:00:12:34:56
            set-name: eth0
    version: 2
)";
const char kDebianCloud[] = R"(network:
    version: 2
    ethernets:
        all-en:
            match:
                name: en*
            dhcp4: true
            dhcp6: true
        all-eth:
            match:
                name: eth*
            dhcp4: true
            dhcp4-overrides:
                use-domains: true
            dhcp6: true
            dhcp6-overrides:
                use-domains: true
)";
const char kGateway4[] = R"(network:
  version: 2
  renderer: networkd
  ethernets:
    eth0:
      addresses: [198.51.100.20/24, "2001:db8:5::20/64"]
      gateway4: 198.51.100.1
      gateway6: 2001:db8:5::1
)";
const char kLaterFile[] = R"(network:
  version: 2
  ethernets:
    eth0:
      nameservers:
        addresses: [198.51.100.53]
)";
const char kVlanOnEth0[] = R"(network:
  version: 2
  ethernets:
    eth0:
      addresses: [192.0.2.10/24]
  vlans:
    vlan100:
      id: 100
      link: eth0
      addresses: [203.0.113.5/24]
)";
const char kWired[] = R"(# wired LAN
[Match]
Name=eth0

[Network]
Address=192.0.2.10/24
Gateway=192.0.2.1
DNS=192.0.2.53
Domains=example.org

[Route]
Destination=203.0.113.0/24
Gateway=192.0.2.254

[Link]
MTUBytes=1400
)";
const char kVendorDhcp[] = "[Match]\nName=en* eth*\n\n[Network]\nDHCP=yes\n";
const char kSections[] = R"([Match]
Name=eth0

[Network]
DHCP=ipv4

[Address]
Address=2001:db8:7::7/64

[Route]
Gateway=2001:db8:7::1
)";

/// Program output without its process numbers and times.
std::string withoutDigits(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), ::isdigit), text.end());
  return text;
}

struct Image {
  const char* name;
  bool netplan;
  std::map<std::string, std::string> files;
  /// The tool makes /etc/systemd/network itself, under umask 077: networkd,
  /// which drops root, must still read what it wrote.
  bool umask077 = false;
};

const Image kImages[] = {
    {"installer", true, {{"/etc/netplan/00-installer-config.yaml", kInstaller}}},
    {"cloudinit", true, {{"/etc/netplan/50-cloud-init.yaml", kCloudInit}}},
    {"debiancloud", true, {{"/lib/netplan/90-default.yaml", kDebianCloud}}},
    {"gateway4", true,
     {{"/etc/netplan/01-netcfg.yaml", kGateway4}, {"/run/netplan/60-dns.yaml", kLaterFile}}},
    {"vlan", true, {{"/etc/netplan/01-vlan.yaml", kVlanOnEth0}}},
    {"wired", false, {{"/etc/systemd/network/20-wired.network", kWired}}},
    {"vendor", false, {{"/usr/lib/systemd/network/80-dhcp.network", kVendorDhcp}}},
    {"vendorumask", false, {{"/usr/lib/systemd/network/80-dhcp.network", kVendorDhcp}}, true},
    {"sections", false, {{"/usr/lib/systemd/network/10-eth0.network", kSections}}},
};

struct Setting {
  const char* name;
  AddressMode mode;
  const char* v4;
  const char* v4gateway;
  const char* v6;
  const char* v6gateway;
  std::vector<std::string> applied;     // in networkd's log or on the link
  std::vector<std::string> notApplied;  // of what the image said before
};

// Checked in networkd's log, on the link and in the file networkd chose.
const Setting kSettings[] = {
    {"static", STATICV4, "198.51.100.7", "198.51.100.1", "", "",
     {" 198.51.100.7/24", "Gateway=198.51.100.1\n"},
     {"DHCP=", "192.0.2.10/24", "2001:db8:"}},
    {"dhcp", DHCPV4, "", "", "", "", {"DHCP=ipv4\n"},
     {"\nAddress=", "192.0.2.10/24", "Gateway=192.0.2.1\n", "198.51.100.20"}},
    {"dhcpstatic6", DHCPV4 | STATICV6, "", "", "2001:db8:9::9/64", "2001:db8:9::1",
     {"DHCP=ipv4\n", " 2001:db8:9::9/64", "Gateway=2001:db8:9::1\n"},
     {"192.0.2.10/24", "2001:db8:7::7", "2001:db8:5::20"}},
};

using Row = std::tuple<const Image*, const Setting*>;

class NetworkDaemonsPeer : public ::testing::TestWithParam<Row> {};

TEST_P(NetworkDaemonsPeer, TheDaemonsApplyWhatWasWritten) {
  KESP_SKIP_UNLESS_ROOT();
  const Image& image = *std::get<0>(GetParam());
  const Setting& setting = *std::get<1>(GetParam());
  const kesp_peer::NetplanRenderer& renderer = kesp_peer::NetplanRenderer::get();
  if (image.netplan && !renderer.reason().empty()) GTEST_SKIP() << renderer.reason();
  kesp_test::SystemRoot root;
  // netplan wants its files private; networkd reads its own as an unprivileged user.
  for (const auto& file : image.files) root.write(file.first, file.second, image.netplan ? 0600 : 0644);
  root.write("/lib/systemd/systemd-networkd", "stand-in", 0755);
  root.write("/etc/systemd/system/multi-user.target.wants/systemd-networkd.service", "");
  if (!image.umask077) kesp_test::makeDirs(root / "/etc/systemd/network");
  kesp_test::makeDirs(root / "/usr/lib/systemd/network");

  std::string before;
  if (image.netplan) renderer.render(root.path(), before);
  const std::string v4 = setting.v4, v6 = setting.v6;
  const mode_t umaskBefore = umask(077);
  if (!image.umask077) umask(umaskBefore);
  const bool written = writeNetworkFiles("eth0", setting.mode, v4, v4.empty() ? "" : "255.255.255.0",
                                setting.v4gateway,
                                v6.substr(0, v6.find('/')),
                                v6.empty() ? "" : v6.substr(v6.find('/') + 1), setting.v6gateway);
  umask(umaskBefore);
  ASSERT_TRUE(written);
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  ASSERT_TRUE(getNetwork("eth0", false, mode, ipv4, ipv6));
  EXPECT_EQ(mode, setting.mode);
  if (!v4.empty()) {
    EXPECT_EQ(ipv4.address + " " + ipv4.gateway, "198.51.100.7 198.51.100.1");
  }
  if (!v6.empty()) {
    EXPECT_EQ(ipv6.address + "/" + ipv6.prefix + " " + ipv6.gateway,
              v6 + " " + setting.v6gateway);
  }
  // The installer's and the vendor's files stay as they were; only a file
  // of /etc that named eth0 alone is edited in place.
  for (const auto& file : image.files) {
    if (file.first != "/etc/systemd/network/20-wired.network") {
      EXPECT_EQ(root.read(file.first), file.second) << file.first;
    }
  }

  std::string networkDir = root / "/etc/systemd/network";
  if (image.netplan) {
    // The renderer says nothing it did not say of the image before.
    std::string rendered;
    EXPECT_EQ(renderer.render(root.path(), rendered), 0) << rendered;
    EXPECT_EQ(withoutDigits(rendered), withoutDigits(before)) << root.read("/etc/netplan/90-kesp.yaml");
    networkDir = root / "/run/systemd/network";
  }
  std::string report =
      kesp_peer::networkdReport(networkDir, root / "/usr/lib/systemd/network", "eth0");
  // No complaint about a file ("…/x.network:7: Unknown key …, ignoring.").
  for (const char* complaint : {"Unknown", "Invalid", "Failed to parse", "ignoring"}) {
    EXPECT_EQ(report.find(".network:" + std::string()), report.find(".network:")) << report;
    for (auto line = report.find(".network:"); line != std::string::npos;
         line = report.find(".network:", line + 1))
      EXPECT_EQ(report.substr(line, report.find('\n', line) - line).find(complaint), std::string::npos)
          << report;
  }
  // The file networkd chose, read back for the keys the tool does not own.
  const std::string chosen = "eth0: found matching network '";
  const auto at = report.find(chosen);
  ASSERT_NE(at, std::string::npos) << report;
  const std::string path = report.substr(at + chosen.size(), report.find('\'', at + chosen.size()) - at - chosen.size());
  const std::string imagePath = path.compare(0, 17, "/usr/lib/systemd/") == 0 ? root / path
                                : networkDir + path.substr(path.rfind('/'));
  report += kesp_test::readFile(imagePath);
  for (const std::string& text : setting.applied)
    EXPECT_NE(report.find(text), std::string::npos) << text << "\n" << report;
  for (const std::string& text : setting.notApplied)
    EXPECT_EQ(report.find(text), std::string::npos) << text << "\n" << report;
  // Keys the tool does not own come along.
  const std::map<std::string, std::string> keptKeys = {
      {"installer", "DNS=192.0.2.53"}, {"gateway4", "DNS=198.51.100.53"},
      {"wired", "Destination=203.0.113.0/24"}, {"vendor", "Name=eth0"},
      {"vendorumask", "Name=eth0"}, {"vlan", "VLAN=vlan100"}};
  if (keptKeys.count(image.name)) {
    EXPECT_NE(report.find(keptKeys.at(image.name)), std::string::npos) << report;
  }
}

std::vector<Row> rows() {
  std::vector<Row> all;
  for (const Image& image : kImages)
    for (const Setting& setting : kSettings) all.emplace_back(&image, &setting);
  return all;
}

INSTANTIATE_TEST_SUITE_P(Images, NetworkDaemonsPeer, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(std::get<0>(info.param)->name) + "_" +
                                  std::get<1>(info.param)->name;
                         });

}  // namespace
