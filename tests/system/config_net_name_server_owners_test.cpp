// Name servers where the owner of resolv.conf reads them. For each way a
// system hands resolv.conf to a manager (a link into its runtime directory,
// or its comment heading the file), `dns A B` on an image must leave the
// manager's own configuration such that its next rewrite, done here the way
// the manager reads its files, yields exactly A and B; `dns` shows them and
// the owner. Live, a staged list goes the same way with the interface change
// and the manager's program is run; a manager that would rewrite the servers
// away, or whose program is missing, is refused with exit 1.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "change_root.h"
#include "config_net_harness.h"
#include "daemon_peers.h"

namespace {

using config_net_test::contains;
using config_net_test::quote;
using config_net_test::Result;
using config_net_test::ToolRoot;
using Servers = std::vector<std::string>;

Servers wordsOf(const std::string& text) {
  std::istringstream in(text);
  Servers words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

/// The values after `keyword` on every line whose first word it is.
Servers optionValues(const ToolRoot& root, const std::string& file, const std::string& keyword) {
  Servers values;
  if (!root.exists(file)) return values;
  std::istringstream in(root.read(file));
  std::string line;
  while (std::getline(in, line)) {
    Servers words = wordsOf(line);
    if (!words.empty() && words[0] == keyword) values.insert(values.end(), words.begin() + 1, words.end());
  }
  return values;
}

/// A variable as the manager's shell sees it after sourcing its file.
Servers sourcedVariable(const ToolRoot& root, const std::string& file, const std::string& name) {
  return wordsOf(kesp_test::shellOutput("env -i bash -c '. " + root.file(file) + "; echo \"$" + name + "\"'"));
}

// The managers' rewrites, from what each reads.
Servers fileItself(const ToolRoot& root) { return optionValues(root, "/etc/resolv.conf", "nameserver"); }

Servers resolvedRewrite(const ToolRoot& root) {
  std::vector<std::string> files = {"/etc/systemd/resolved.conf"};
  std::string listing = kesp_test::shellOutput("ls " + root.file("/etc/systemd/resolved.conf.d") + " 2>/dev/null");
  for (const std::string& name : wordsOf(listing)) files.push_back("/etc/systemd/resolved.conf.d/" + name);
  Servers servers;
  for (const std::string& file : files) {
    std::istringstream in(root.exists(file) ? root.read(file) : "");
    std::string line;
    while (std::getline(in, line)) {
      if (line.compare(0, 4, "DNS=") != 0) continue;
      const Servers words = wordsOf(line.substr(4));
      if (words.empty()) servers.clear();
      servers.insert(servers.end(), words.begin(), words.end());
    }
  }
  return servers;
}

Servers resolvconfRewrite(const ToolRoot& root) {
  Servers servers = optionValues(root, "/etc/network/interfaces", "dns-nameservers");
  const Servers base = optionValues(root, "/etc/resolvconf/resolv.conf.d/base", "nameserver");
  servers.insert(servers.end(), base.begin(), base.end());
  return servers;
}

Servers openresolvRewrite(const ToolRoot& root) {
  Servers servers = sourcedVariable(root, "/etc/resolvconf.conf", "name_servers");
  const Servers stanzas = optionValues(root, "/etc/network/interfaces", "dns-nameservers");
  servers.insert(servers.end(), stanzas.begin(), stanzas.end());
  return servers;
}

Servers netconfigRewrite(const ToolRoot& root) {
  return sourcedVariable(root, "/etc/sysconfig/network/config", "NETCONFIG_DNS_STATIC_SERVERS");
}

/// Each profile's [ipv4] then [ipv6] dns= lists, in file order; a list that
/// DHCP's own servers would join (no ignore-auto-dns=true) adds "dhcp".
Servers networkManagerRewrite(const ToolRoot& root) {
  const std::string dir = "/etc/NetworkManager/system-connections/";
  Servers servers;
  for (const std::string& name : wordsOf(kesp_test::shellOutput("ls " + root.file(dir)))) {
    std::istringstream in(root.read(dir + name));
    std::string line, group;
    std::vector<std::pair<std::string, Servers>> lists;  // group → its dns
    std::vector<std::string> ignoring;
    while (std::getline(in, line)) {
      if (line.size() > 1 && line[0] == '[') group = line;
      if (line.compare(0, 4, "dns=") == 0) {
        std::string list = line.substr(4);
        std::replace(list.begin(), list.end(), ';', ' ');
        lists.emplace_back(group, wordsOf(list));
      }
      if (line == "ignore-auto-dns=true") ignoring.push_back(group);
    }
    std::stable_sort(lists.begin(), lists.end());  // [ipv4] before [ipv6]
    for (const auto& list : lists) {
      servers.insert(servers.end(), list.second.begin(), list.second.end());
      if (std::find(ignoring.begin(), ignoring.end(), list.first) == ignoring.end())
        servers.push_back("dhcp");
    }
  }
  return servers;
}

/// What networkd hands resolved for eth0 and eth1: the DNS= lines of the
/// first .network file (name order, earlier directories hiding later ones)
/// whose Name= matches.
Servers linkServers(const std::vector<std::string>& directories) {
  std::map<std::string, std::string> files;
  for (const std::string& dir : directories)
    for (const std::string& name : wordsOf(kesp_test::shellOutput("ls " + quote(dir) + " 2>/dev/null")))
      files.emplace(name, dir + "/" + name);
  Servers servers;
  for (const char* iface : {"eth0", "eth1"}) {
    for (const auto& file : files) {
      std::istringstream in(kesp_test::readFile(file.second));
      std::string line;
      bool matched = false;
      Servers dns;
      while (std::getline(in, line)) {
        if (line.compare(0, 5, "Name=") == 0)
          matched = fnmatch(line.substr(5).c_str(), iface, 0) == 0;
        if (line.compare(0, 4, "DNS=") == 0) {
          const Servers words = wordsOf(line.substr(4));
          dns.insert(dns.end(), words.begin(), words.end());
        }
      }
      if (!matched) continue;
      servers.insert(servers.end(), dns.begin(), dns.end());
      break;
    }
  }
  return servers;
}

/// resolved's global list, then the links' servers as netplan's renderer
/// hands them to networkd.
Servers netplanRewrite(const ToolRoot& root) {
  const kesp_peer::NetplanRenderer& renderer = kesp_peer::NetplanRenderer::get();
  if (!renderer.reason().empty()) return {renderer.reason()};
  std::string output;
  kesp_test::shell("rm -rf " + quote(root.file("/run/systemd/network")));
  if (renderer.render(root.path(), output) != 0) return {"netplan generate failed: " + output};
  Servers servers = resolvedRewrite(root);
  const Servers linked = linkServers({root.file("/run/systemd/network")});
  servers.insert(servers.end(), linked.begin(), linked.end());
  return servers;
}

Servers networkdRewrite(const ToolRoot& root) {
  Servers servers = resolvedRewrite(root);
  const Servers linked =
      linkServers({root.file("/etc/systemd/network"), root.file("/usr/lib/systemd/network")});
  servers.insert(servers.end(), linked.begin(), linked.end());
  return servers;
}

struct OwnerCase {
  const char* family;
  const char* link;    // resolv.conf's link target; else the file stays, with `header` first
  const char* header;
  const char* owner;   // as `dns` shows it; null: refused
  Servers (*rewrite)(const ToolRoot&);
  std::vector<const char*> programs;  // what a live change runs, in order, under the root
  const char* registered = nullptr;   // what the live change registers, as recorded
};

const char kStub[] = "../run/systemd/resolve/stub-resolv.conf";

const OwnerCase kOwners[] = {
    {"debian", nullptr, "", "file", fileItself, {}},
    {"debian", kStub, "", "systemd-resolved", resolvedRewrite, {"/usr/bin/systemctl"}},
    {"redhat", "/run/systemd/resolve/resolv.conf", "", "systemd-resolved", resolvedRewrite,
     {"/usr/bin/systemctl"}},
    {"netplan", kStub, "", "systemd-resolved", netplanRewrite, {"/usr/sbin/netplan", "/usr/bin/systemctl"}},
    {"networkd", kStub, "", "systemd-resolved", networkdRewrite,
     {"/usr/bin/networkctl", "/usr/bin/systemctl"}},
    {"networkmanager", kStub, "", "systemd-resolved", networkManagerRewrite,
     {"/usr/bin/nmcli", "/usr/bin/systemctl"}},
    {"debian", "../run/resolvconf/resolv.conf", "", "resolvconf", resolvconfRewrite, {"/sbin/resolvconf"},
     "/sbin/resolvconf -a eth0.inet\nnameserver 198.51.100.53\n"},
    {"redhat", "../run/resolvconf/resolv.conf", "", "resolvconf", resolvconfRewrite, {"/sbin/resolvconf"}},
    {"debian", nullptr, "# Generated by resolvconf\n", "openresolv", openresolvRewrite, {"/sbin/resolvconf"},
     "/sbin/resolvconf -a eth0.inet\nnameserver 198.51.100.53\n"},
    {"redhat", nullptr, "# Generated by resolvconf\n", "openresolv", openresolvRewrite, {"/sbin/resolvconf"}},
    {"suse", nullptr, "### autogenerated by netconfig!\n#\n", "netconfig", netconfigRewrite, {"/sbin/netconfig"}},
    {"suse", "/run/netconfig/resolv.conf", "", "netconfig", netconfigRewrite, {"/sbin/netconfig"}},
    {"networkmanager", nullptr, "# Generated by NetworkManager\n", "NetworkManager",
     networkManagerRewrite, {"/usr/bin/nmcli"}},
    {"networkmanager", "/run/NetworkManager/resolv.conf", "", "NetworkManager",
     networkManagerRewrite, {"/usr/bin/nmcli"}},
    // No profile to hold them: NetworkManager would write them away.
    {"debian", nullptr, "# Generated by NetworkManager\n", nullptr, nullptr, {}},
    {"redhat", "/run/NetworkManager/resolv.conf", "", nullptr, nullptr, {}},
};

/// The root of one case: resolv.conf handed to its owner, and configuration
/// the owner already merges (other servers) that the new list must displace.
void handOver(const ToolRoot& root, const OwnerCase& c) {
  if (c.link) {
    unlink(root.file("/etc/resolv.conf").c_str());
    ASSERT_EQ(symlink(c.link, root.file("/etc/resolv.conf").c_str()), 0);
  } else {
    root.write("/etc/resolv.conf", c.header + root.read("/etc/resolv.conf"));
  }
  root.write("/etc/systemd/resolved.conf", "[Resolve]\nDNS=203.0.113.7\n");
  root.write("/etc/resolvconf/resolv.conf.d/base", "nameserver 203.0.113.8\n");
  root.write("/etc/resolvconf.conf", "resolv_conf=/etc/resolv.conf\nname_servers=\"203.0.113.9\"\n");
  if (root.exists("/etc/network/interfaces"))
    root.write("/etc/network/interfaces",
               root.read("/etc/network/interfaces") + "    dns-nameservers 203.0.113.10\n");
  const std::string profiles = "/etc/NetworkManager/system-connections/";
  if (root.exists(profiles + "eth0.nmconnection")) {
    // IPv6 on, so that the profile takes IPv6 servers; another profile's to displace.
    std::string eth0 = root.read(profiles + "eth0.nmconnection");
    eth0.replace(eth0.find("[ipv6]\nmethod=disabled"), 22, "[ipv6]\nmethod=auto");
    root.write(profiles + "eth0.nmconnection", eth0, 0600);
    std::string eth1 = root.read(profiles + "eth1.nmconnection");
    eth1.replace(eth1.find("[ipv4]\n"), 7, "[ipv4]\ndns=203.0.113.11;\nignore-auto-dns=true\n");
    root.write(profiles + "eth1.nmconnection", eth1, 0600);
  }
}

std::string description(const OwnerCase& c) {
  return std::string(c.family) + " " + (c.link ? c.link : c.header);
}

TEST(NameServerOwners, WrittenWhereTheOwnerReadsThem) {
  const Servers kServers = {"192.0.2.53", "2001:db8::53"};
  for (const OwnerCase& c : kOwners) {
    SCOPED_TRACE(description(c));
    ToolRoot root(c.family);
    handOver(root, c);
    // The source named is a file there is (netplan's own is not written yet).
    const std::string found = root.offline({"dns"}).out;
    const auto source = found.find("\nsource: ");
    if (source != std::string::npos) {
      const std::string path = found.substr(source + 9, found.find('\n', source + 9) - source - 9);
      EXPECT_TRUE(root.exists(path)) << found;
    }
    const kesp_test::FileTree before = kesp_test::readTree(root.path());
    Result written = root.offline({"dns", kServers[0], kServers[1]});
    if (!c.owner) {
      EXPECT_EQ(written.status, 1) << written;
      EXPECT_TRUE(contains(written.err, "belongs to NetworkManager")) << written;
      EXPECT_EQ(root.offline({"dns", "--pending", kServers[0]}).status, 1);
      EXPECT_EQ(kesp_test::readTree(root.path()), before);
      EXPECT_TRUE(contains(root.offline({"dns"}).out, "owner: NetworkManager\n"));
      continue;
    }
    ASSERT_EQ(written.status, 0) << written;
    EXPECT_EQ(c.rewrite(root), kServers);
    const Result shown = root.offline({"dns"});
    EXPECT_TRUE(contains(shown.out, "nameserver 192.0.2.53\nnameserver 2001:db8::53\nowner: " +
                                        std::string(c.owner) + "\nsource: /etc/"))
        << shown;
    // A manager's configuration cleared: none of its own servers is left to merge.
    ASSERT_EQ(root.offline({"dns", "--clear"}).status, 0);
    EXPECT_EQ(c.rewrite(root), Servers());
  }
}

TEST(NameServerOwners, LiveChangesRunTheOwnersProgramAndTakeUpStagedServers) {
  KESP_SKIP_UNLESS_ROOT();
  const Servers kServers = {"198.51.100.53"};
  const Servers kStaged = {"198.51.100.54"};
  for (const OwnerCase& c : kOwners) {
    if (!c.owner) continue;
    SCOPED_TRACE(description(c));
    kesp_test::NetNamespace ns;
    ns.addVeth("eth0");
    ToolRoot root(c.family);
    handOver(root, c);
    kesp_test::TempDir records;
    const std::string log = records.path() + "/owner-program.log";
    for (const char* program : c.programs) {
      // Without its programs the manager would not use the servers now.
      const kesp_test::FileTree before = kesp_test::readTree(root.path());
      const Result missing = root.live(ns, {"dns", kServers[0]});
      EXPECT_EQ(missing.status, 1) << missing;
      EXPECT_TRUE(contains(missing.err, std::string(program) + " is missing")) << missing;
      EXPECT_EQ(kesp_test::readTree(root.path()), before);
      kesp_test::writeFile(root.file(program),
                           "#!/bin/sh\necho \"$0 $*\" >> " + quote(log) + "\n[ \"$1\" != -a ] || cat >> " +
                               quote(log) + "\n",
                           0755);
    }
    const Result now = root.live(ns, {"dns", kServers[0]});
    ASSERT_EQ(now.status, 0) << now;
    EXPECT_EQ(c.rewrite(root), kServers);
    for (const char* program : c.programs)
      EXPECT_TRUE(contains(kesp_test::readFile(log), root.file(program)));
    if (c.registered) {
      EXPECT_TRUE(contains(kesp_test::readFile(log), root.path() + c.registered)) << kesp_test::readFile(log);
    }
    // Staged, they go with the next change (the stand-in ifup configures
    // only the older families' files).
    if (!root.exists("/etc/network") && !root.exists("/etc/sysconfig")) continue;
    ASSERT_EQ(root.live(ns, {"dns", "--pending", kStaged[0]}).status, 0);
    const Result set = root.live(ns, {"set", "eth0", "--mode", "STATICV4", "--ipv4-address",
                                      "192.0.2.20/24", "--ipv4-gateway", "192.0.2.1"});
    ASSERT_EQ(set.status, 0) << set;
    EXPECT_EQ(c.rewrite(root), kStaged);
    EXPECT_FALSE(root.exists("/etc/resolv.conf.pending"));
  }
}

}  // namespace
