#pragma once
// netplan's renderer and systemd-networkd as judges of the YAML and .network
// files: the renderer unpacked from Debian's packages into a temporary
// directory, networkd (the machine's own) run in a network and mount
// namespace of the test's own. Nothing is installed.

#include <string>

#include "ifupdown_peer.h"
#include "test_support.h"

namespace kesp_peer {

/// netplan's generate program, fetched with apt-get download into a cache.
class NetplanRenderer {
 public:
  static const NetplanRenderer& get() {
    static const NetplanRenderer instance;
    return instance;
  }
  const std::string& reason() const { return reason_; }

  /// Renders the image's netplan files; its exit status, every line it printed in output.
  int render(const std::string& image, std::string& output) const {
    kesp_test::TempDir scratch;
    return run("LD_LIBRARY_PATH='" + lib() + "' '" + generate() +
                   "' --root-dir '" + image + "'",
               scratch, output);
  }

 private:
  // Unpacked once into a cache that outlives the run: every test process
  // would otherwise fetch the packages again.
  NetplanRenderer() {
    std::string output;
    if (kesp_test::fileExists(generate())) return;
    if (run("mkdir -p /var/cache/kesp-test && d=$(mktemp -d /var/cache/kesp-test/netplan.XXXXXX) && "
            "cd \"$d\" && apt-get download netplan.io libnetplan0 && "
            "for p in *.deb; do dpkg -x \"$p\" root || exit 1; done && "
            "ln -sf libnetplan.so.0.0 root/usr/lib/x86_64-linux-gnu/libnetplan.so.0 && "
            "rm -rf '" + root() + "' && mv root '" + root() + "'; s=$?; rm -rf \"$d\"; exit $s",
            dir_, output) != 0 || !kesp_test::fileExists(generate()))
      reason_ = "peer test: netplan's packages not available: " + output;
  }
  static std::string root() { return "/var/cache/kesp-test/netplan-root"; }
  static std::string generate() { return root() + "/usr/libexec/netplan/generate"; }
  static std::string lib() { return root() + "/usr/lib/x86_64-linux-gnu"; }

  kesp_test::TempDir dir_;
  std::string reason_;
};

/// What networkd does with a directory of .network files bound over
/// /etc/systemd/network (and, when given, another over /usr/lib/systemd/network)
/// with a veth named iface: its debug log, then `ip -br addr show iface`.
/// Needs root.
inline std::string networkdReport(const std::string& etcDir, const std::string& libDir,
                                  const std::string& iface) {
  kesp_test::TempDir scratch;
  std::string script =
      "mount --make-rprivate /\nmount -t sysfs -o ro sysfs /sys\nmount -t tmpfs tmpfs /run\n"
      "mkdir -p /run/systemd/network\nmount --bind '" + etcDir + "' /etc/systemd/network\n";
  if (!libDir.empty()) script += "mount --bind '" + libDir + "' /usr/lib/systemd/network\n";
  script += "ip link set lo up\nip link add " + iface + " type veth peer name kesppeer0\n"
            "ip link set kesppeer0 up\nSYSTEMD_LOG_LEVEL=debug SYSTEMD_LOG_TARGET=console "
            "timeout 2 /lib/systemd/systemd-networkd 2>&1\nip -br addr show " + iface + "\n";
  kesp_test::writeFile(scratch / "judge.sh", script);
  std::string output;
  run("unshare --net --mount --fork sh '" + (scratch / "judge.sh") + "'", scratch, output);
  return output;
}

}  // namespace kesp_peer
