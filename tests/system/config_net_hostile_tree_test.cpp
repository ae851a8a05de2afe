// kesp_config_net on hostile images: links that name files of the host, and
// FIFOs where configuration files belong. Nothing outside the image changes
// and no command blocks.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

#include "config_net_harness.h"
#include "daemon_peers.h"
#include "kesp/util.h"

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
    {"debian", "/etc/environment", {"proxy", "show"}, false},
    {"debian", "/etc/apt/apt.conf", {"proxy", "set", "--host", "proxy.example.org"}, true},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth1", {"set", "eth1", "--mode", "DHCPV4"}, true},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth1", {"show", "eth1"}, false},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth0", {"move", "swap", "eth0", "eth1"}, true},
    {"redhat", "/etc/yum.conf", {"proxy", "set", "--host", "proxy.example.org"}, true},
    {"suse", "/etc/sysconfig/network/ifcfg-eth1", {"set", "eth1", "--mode", "DHCPV4"}, true},
    {"suse", "/etc/sysconfig/network/routes", {"show"}, false},
    {"redhat", "/etc/sysconfig/network-scripts/ifcfg-eth1", {"show"}, false},
    {"networkmanager", "/etc/NetworkManager/system-connections/eth1.nmconnection",
     {"set", "eth1", "--mode", "STATICV4", "--ipv4-address", "192.0.2.20/24"}, true},
    {"networkmanager", "/etc/NetworkManager/system-connections/eth0.nmconnection", {"show"}, false},
    {"networkmanager", "/etc/NetworkManager/system-connections/eth0.nmconnection",
     {"move", "swap", "eth0", "eth1"}, true},
    {"netplan", "/etc/netplan/00-installer-config.yaml", {"show"}, false},
    {"netplan", "/etc/netplan/00-installer-config.yaml", {"set", "eth1", "--mode", "DHCPV4"}, true},
    {"networkd", "/etc/systemd/network/20-wired.network", {"set", "eth0", "--mode", "DHCPV4"}, true},
    {"networkd", "/usr/lib/systemd/network/80-dhcp.network", {"show"}, false},
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
      ASSERT_TRUE(unlink(root.file(c.file).c_str()) == 0 || errno == ENOENT);
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
    ASSERT_TRUE(unlink(root.file(c.file).c_str()) == 0 || errno == ENOENT);
    ASSERT_EQ(mkfifo(root.file(c.file).c_str(), 0644), 0);

    const Result result = root.offlineWithin(kSecondsAllowed, c.words);
    // What the command needed and could not read is named, never taken as absent.
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_NE(result.err.find(root.file(c.file)), std::string::npos) << result;
    struct stat info;
    ASSERT_EQ(lstat(root.file(c.file).c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
}

namespace {

/// A journal of one file entry, as a change would write it.
std::string fileEntry(int existed, const char* mode, const std::string& path,
                      const std::string& content) {
  return "kesp change journal 1\nfile " + std::to_string(existed) + " " + mode + " 1000 1000 " +
         std::to_string(path.size()) + " " + std::to_string(content.size()) + "\n" + path +
         content + "\n";
}

struct PlantedJournal {
  const char* what;
  bool refused;  // recovery must refuse it or fail, else it is put back inside the image
  std::string (*text)(const std::string& victim);
};

const PlantedJournal kPlanted[] = {
    {"content through ..", true,
     [](const std::string& v) { return fileEntry(1, "4777", "/../../../../.." + v, "planted\n"); }},
    {"removal through ..", true,
     [](const std::string& v) { return fileEntry(0, "644", "/etc/../../../.." + v, ""); }},
    // Inside the image the link leads nowhere: nothing can be put back there.
    {"owner and mode through a link", true,
     [](const std::string&) { return fileEntry(1, "4777", "/etc/escape/victim", "planted\n"); }},
    {"removal through a link", false,
     [](const std::string&) { return fileEntry(0, "644", "/etc/escape/victim", ""); }},
    {"a link entry through ..", true,
     [](const std::string& v) { return "kesp change journal 1\nlink " + std::to_string(v.size() + 9) +
                                       " 4\n/../../.." + v + "/etc\n"; }},
    {"a directory entry through ..", true,
     [](const std::string& v) {
       const std::string dir = "/../../.." + v.substr(0, v.rfind('/'));
       return "kesp change journal 1\ndirectory " + std::to_string(dir.size()) + "\n" + dir + "\n";
     }},
    // The link is no directory of the change's: it stays, and so does what it leads to.
    {"a directory entry that is a link", false,
     [](const std::string&) { return std::string("kesp change journal 1\ndirectory 11\n/etc/escape\n"); }},
    {"overflowing sizes", true,
     [](const std::string&) {
       return std::string("kesp change journal 1\nfile 1 644 0 0 18446744073709551615 "
                          "18446744073709551615\n/etc/hosts\n");
     }},
    {"truncated", true,
     [](const std::string&) { return fileEntry(1, "644", "/etc/hosts", "whole\n").substr(0, 40); }},
    {"a damaged deadline", true,
     [](const std::string& v) {
       return "kesp change journal 1\npending 12 ../x\n" + fileEntry(0, "644", v, "").substr(22);
     }},
    // Pending in an earlier boot and past its deadline: put back, inside the image.
    {"a pending change of an earlier boot", false,
     [](const std::string&) {
       return "kesp change journal 1\npending 12 0000-00\n" +
              fileEntry(0, "644", "/etc/escape/victim", "").substr(22);
     }},
    {"garbage", true, [](const std::string&) { return std::string("\x7f\x01garbage\0\xff", 12); }},
    {"huge sparse", true, nullptr},
};

/// What a hostile input may cost the tool at its peak. AddressSanitizer keeps
/// freed memory in quarantine (256 MiB by default) and maps shadow memory,
/// so its build gets a bound that still catches a read without one.
#if defined(__SANITIZE_ADDRESS__)
const long kPeakKilobytesAllowed = 512 * 1024;
#else
const long kPeakKilobytesAllowed = 64 * 1024;
#endif

}  // namespace

TEST(ConfigNetHostileTree, PlantedJournalsNeverReachOutOfTheImage) {
  const int kSecondsToAnswer = 10;
  for (const PlantedJournal& planted : kPlanted) {
    SCOPED_TRACE(planted.what);
    ToolRoot root("debian");
    kesp_test::TempDir outside;
    const std::string victim = outside / "victim";
    kesp_test::writeFile(victim, "host\n");
    ASSERT_EQ(chmod(victim.c_str(), 0640), 0);
    struct stat before;
    ASSERT_EQ(stat(victim.c_str(), &before), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), root.file("/etc/escape").c_str()), 0);
    ASSERT_EQ(kesp_test::shell("mkdir -p " + root.file("/var/lib/kesp")), 0);
    const std::string journal = root.file("/var/lib/kesp/change.journal");
    kesp_test::writeFile(journal, planted.text ? planted.text(victim) : "kesp change journal 1\n");
    if (!planted.text) {
      ASSERT_EQ(truncate(journal.c_str(), 300L * 1024 * 1024), 0);
    }

    long peak = 0;
    const Result recovered = root.offlineMeasured(kSecondsToAnswer, {"recover"}, peak);
    EXPECT_EQ(recovered.status, planted.refused ? 1 : 0) << recovered;  // never a signal or 124
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kPeakKilobytesAllowed);
    if (planted.refused) {
      EXPECT_NE(recovered.err.find("recover --discard"), std::string::npos) << recovered;
      EXPECT_NE(recovered.err.find(journal), std::string::npos) << recovered;
      const Result refusedChange = root.offlineWithin(kSecondsToAnswer, {"dns", "192.0.2.60"});
      EXPECT_EQ(refusedChange.status, 1) << refusedChange;
      const Result discarded = root.offlineWithin(kSecondsToAnswer, {"recover", "--discard"});
      EXPECT_EQ(discarded.status, 0) << discarded;
    }
    const Result change = root.offlineWithin(kSecondsToAnswer, {"dns", "192.0.2.60"});
    EXPECT_EQ(change.status, 0) << change;

    struct stat after;
    ASSERT_EQ(stat(victim.c_str(), &after), 0);
    EXPECT_EQ(kesp_test::readFile(victim), "host\n");
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  }
}

namespace {

/// 20 MiB: more than any file or input the tool reads whole.
std::string huge(const std::string& before, const std::string& after) {
  return before + std::string(size_t{20} << 20, 'x') + after;
}

struct HostileInput {
  const char* what;
  const char* family;
  const char* file;  // planted in the image, when given
  std::string (*content)();
  std::vector<std::string> words;
  std::string (*input)();  // standard input
  int status;
  const char* named;  // in the refusal, beside the file (or the key path)
  const char* peerSays = nullptr;  // what the family's own reader says of the file
};

std::string none() { return std::string(); }

const char* const kNetplanFile = "/etc/netplan/00-installer-config.yaml";
const char* const kProfileFile = "/etc/NetworkManager/system-connections/eth0.nmconnection";
const char* const kNetworkFile = "/etc/systemd/network/20-wired.network";
const std::vector<std::string> kSetEth0 = {"set", "eth0", "--mode", "DHCPV4"};

const HostileInput kHostileInputs[] = {
    {"a 20 MiB netplan scalar", "netplan", kNetplanFile,
     [] { return huge("network:\n  version: 2\n  ethernets:\n    eth0:\n      set-name: ", "\n"); },
     kSetEth0, none, 1, "16 MiB"},
    {"a netplan file of 40000 definitions", "netplan", kNetplanFile,
     [] {
       std::string text = "network:\n  ethernets:\n";
       for (int i = 0; i < 40000; ++i) text += "    e" + std::to_string(i) + ": {dhcp4: true}\n";
       return text;
     },
     {"show"}, none, 1, "more nodes than any configuration holds"},
    {"a duplicate netplan key", "netplan", kNetplanFile,
     [] {
       return std::string("network:\n  ethernets:\n    eth0:\n      dhcp4: true\n"
                          "      routes:\n      - to: default\n        via: 192.0.2.1\n"
                          "      routes:\n      - to: default\n        via: 192.0.2.2\n");
     },
     kSetEth0, none, 1, "8:7: duplicate key \"routes\""},
    {"a netplan file whose name holds terminal controls", "netplan", "/etc/netplan/50-\x1b[2J\x07.yaml",
     [] { return std::string("network:\n  ethernets:\n    eth0:\n      dhcp4: true\n      dhcp4: false\n"); },
     kSetEth0, none, 1, "5:7: duplicate key \"dhcp4\""},
    {"netplan addresses as a scalar", "netplan", kNetplanFile,
     [] { return std::string("network:\n  ethernets:\n    eth0:\n      addresses: 192.0.2.10/24\n"); },
     kSetEth0, none, 1, "line 4: network.ethernets.eth0.addresses must be a sequence", "expected sequence"},
    {"netplan name servers as a sequence", "netplan", kNetplanFile,
     [] { return std::string("network:\n  ethernets:\n    eth0:\n      nameservers:\n      - 192.0.2.53\n"); },
     {"show"}, none, 1, "line 5: network.ethernets.eth0.nameservers must be a mapping", "expected mapping"},
    {"a key file value with a bad escape", "networkmanager", kProfileFile,
     [] { return std::string("[connection]\nid=eth0\ntype=ethernet\ninterface-name=eth0\n"
                             "[ipv4]\nmethod=manual\naddress1=192.0.2.10/24\\q\n"); },
     kSetEth0, none, 1, "line 7: invalid escape sequence \"\\q\""},
    {"a 20 MiB key file", "networkmanager", kProfileFile,
     [] { return huge("[connection]\nid=eth0\ntype=ethernet\ninterface-name=eth0\n# ", "\n"); },
     kSetEth0, none, 1, "16 MiB"},
    // systemd-networkd took a line one byte shorter, and refused this one.
    // Unread, it must not be taken for absent: a new profile was written over it.
    {"a key file of seven million lines", "networkmanager", kProfileFile,
     [] {
       std::string text = "[connection]\nid=eth0\ntype=ethernet\ninterface-name=eth0\n";
       for (int i = 0; i < 7000000; ++i) text += "#\n";
       return text;
     },
     kSetEth0, none, 1, "more than 262144 lines"},
    {"a .network line of 1 MiB", "networkd", kNetworkFile,
     [] { return "[Match]\nName=eth0\n[Network]\nDescription=" + std::string((size_t{1} << 20) - 12, 'x') + "\n"; },
     kSetEth0, none, 1, "line 4 is 1 MiB or longer", "Line too long"},
    {"a .network file of seven million lines", "networkd", kNetworkFile,
     [] {
       std::string text = "[Match]\nName=eth0\n[Network]\nAddress=192.0.2.10/24\n";
       for (int i = 0; i < 7000000; ++i) text += "#\n";
       return text;
     },
     kSetEth0, none, 1, "more than 262144 lines"},
    {"a 20 MiB interfaces file", "debian", "/etc/network/interfaces",
     [] { return huge("auto lo\niface lo inet loopback\n# ", "\n"); }, {"show"}, none, 1, "16 MiB"},
    {"a document without end", "debian", nullptr, none, {"apply", "/dev/zero"}, none, 2, "4 MiB"},
    {"a 20 MiB document on standard input", "debian", nullptr, none, {"apply", "-"},
     [] { return huge("{\"hostname\": \"", "\"}"); }, 2, "4 MiB"},
    {"a 20 MiB password line", "debian", nullptr, none,
     {"proxy", "set", "--host", "proxy.example.org", "--user", "kesp", "--password-stdin"},
     [] { return huge("", "\n"); }, 2, "4 MiB"},
    {"a document of two million values", "debian", nullptr, none, {"apply", "-"},
     [] {
       std::string text = "{\"dns\": [0";
       for (int i = 0; i < 2000000; ++i) text += ",0";
       return text + "]}";
     },
     2, "more than 65536 values"},
    {"a document of 2000 interfaces", "debian", nullptr, none, {"apply", "--check", "-"},
     [] {
       std::string text = "{\"interfaces\": {\"e0\": {\"mode\": \"DHCPV4\"}";
       for (int i = 1; i < 2000; ++i) text += ", \"e" + std::to_string(i) + "\": {\"mode\": \"DHCPV4\"}";
       return text + "}}";
     },
     1, "interfaces: more than 1024 interfaces"},
    {"terminal controls in an interface name", "debian", nullptr, none, {"apply", "-"},
     [] { return std::string("{\"interfaces\": {\"e\\u001b[2J\\u0007\\u0000\": {\"mode\": \"DHCPV4\"}}}"); },
     1, "interfaces.e\\x1b[2J\\x07\\x00:"},
    {"a leading dash in an interface name", "debian", nullptr, none, {"apply", "-"},
     [] { return std::string("{\"interfaces\": {\"-x\": {\"mode\": \"DHCPV4\"}}}"); }, 1,
     "interfaces.-x: '-x' is not an interface name"},
};

/// Every file of the root with its status and content, to tell that nothing changed.
std::string treeSum(const ToolRoot& root) {
  const std::string list = root.fakeBin() + "/tree.list";
  return kesp_test::shell("cd " + config_net_test::quote(root.path()) +
                          " && find . ! -type d -printf '%p %m %s %T@\\n' | sort >" + list +
                          " && find . -type f -print0 | sort -z | xargs -0 cat | sha1sum >>" + list) == 0
             ? kesp_test::readFile(list)
             : "unreadable";
}

}  // namespace

TEST(ConfigNetHostileTree, HostileInputsAreRefusedNamedAndBounded) {
  const int kSecondsToAnswer = 10;
  for (const HostileInput& c : kHostileInputs) {
    SCOPED_TRACE(c.what);
    ToolRoot root(c.family);
    // netplan and NetworkManager want their files private; networkd reads as its own user.
    if (c.file) root.write(c.file, c.content(), std::string(c.family) == "networkd" ? 0644 : 0600);
    const std::string before = treeSum(root);
    long peak = 0;
    const Result result = root.offlineMeasured(kSecondsToAnswer, c.words, peak, c.input());
    EXPECT_EQ(result.status, c.status) << result.err.substr(0, 2000);
    if (c.file) {
      EXPECT_NE(result.err.find(KESP::terminalSafe(root.file(c.file))), std::string::npos)
          << result.err.substr(0, 2000);
    }
    EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err.substr(0, 2000);
    for (const char control : {'\x1b', '\x07', '\0'})
      EXPECT_EQ(result.err.find(control), std::string::npos) << result.err.substr(0, 2000);
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kPeakKilobytesAllowed);
    EXPECT_EQ(treeSum(root), before);
    if (!c.peerSays) continue;
    std::string judged;
    if (std::string(c.family) == "netplan") {
      const kesp_peer::NetplanRenderer& renderer = kesp_peer::NetplanRenderer::get();
      if (!renderer.reason().empty()) continue;
      EXPECT_NE(renderer.render(root.path(), judged), 0) << judged;
    } else {
      judged = kesp_peer::networkdReport(root.file("/etc/systemd/network"), "", "eth0");
    }
    EXPECT_NE(judged.find(c.peerSays), std::string::npos) << judged.substr(0, 2000);
  }
}
