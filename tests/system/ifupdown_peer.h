#pragma once
// Debian's ifupdown as the judge of interfaces files: unpacked from its
// package into a temporary directory, never installed.

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace kesp_peer {

/// Runs a shell command line; its exit code, with stdout and stderr in output.
inline int run(const std::string& command, const kesp_test::TempDir& scratch, std::string& output) {
  const std::string captured = scratch / "output";
  const int status = kesp_test::shell(command + " >'" + captured + "' 2>&1");
  output = kesp_test::fileExists(captured) ? kesp_test::readFile(captured) : std::string();
  return status;
}

/// Debian's ifupdown, fetched with apt-get download (or taken from the package
/// file named by KESP_IFUPDOWN_DEB) and unpacked once per run with dpkg -x.
class Ifupdown {
 public:
  static const Ifupdown& get() {
    static const Ifupdown instance;
    return instance;
  }
  bool available() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  std::string program(const char* name) const { return dir_ / (std::string("root/sbin/") + name); }

 private:
  Ifupdown() {
    std::string output;
    std::string package;
    const char* given = std::getenv("KESP_IFUPDOWN_DEB");
    if (given && *given) {
      package = given;
    } else if (run("cd '" + dir_.path() + "' && apt-get download ifupdown", dir_, output) == 0) {
      package =
          kesp_test::shellOutput("ls '" + dir_.path() + "'/ifupdown_*.deb 2>/dev/null | head -n1");
      while (!package.empty() && package.back() == '\n') package.pop_back();
    }
    if (package.empty()) {
      reason_ =
          "peer test: Debian package ifupdown not available (apt-get download ifupdown: " + output +
          ")";
      return;
    }
    if (run("dpkg -x '" + package + "' '" + (dir_ / "root") + "'", dir_, output) != 0 ||
        !kesp_test::fileExists(program("ifup"))) {
      reason_ = "peer test: cannot unpack " + package + ": " + output;
    }
  }

  kesp_test::TempDir dir_;
  std::string reason_;
};

/// What ifupdown says of an image: "list" and "hotplug" (the interfaces it
/// starts at boot: ifquery --list, and with --allow=hotplug), "query NAME" for
/// each name (ifquery's options and its exit status) and "up" (ifup --no-act
/// -v of `up`). It runs in a mount namespace of its own with the image's
/// etc/network bound over /etc/network (on an overlay of /etc, so that this
/// machine's /etc is never changed), so absolute source paths resolve inside
/// the image. Needs root.
inline std::map<std::string, std::string> imageReport(const Ifupdown& peer,
                                                      const std::string& image,
                                                      const std::vector<std::string>& names,
                                                      const std::string& up) {
  kesp_test::TempDir scratch;
  const std::string state = " --state-dir '" + (scratch / "state") + "' ";
  const std::string query = "'" + peer.program("ifquery") + "'" + state;
  std::string script = "set -e\nmount --make-rprivate /\nmkdir -p upper/network work\n"
                       "mount -t overlay overlay -o lowerdir=/etc,upperdir=$PWD/upper,"
                       "workdir=$PWD/work /etc\nmount --bind '" +
                       image + "/etc/network' /etc/network\nset +e\n";
  script += "echo '== list'; " + query + "--list 2>&1\n";
  script += "echo '== hotplug'; " + query + "--list --allow=hotplug 2>&1\n";
  for (const std::string& name : names)
    script += "echo '== query " + name + "'; " + query + name + " 2>&1; echo \"exit $?\"\n";
  script += "echo '== up'; '" + peer.program("ifup") + "'" + state + "--no-act -v " + up +
            " 2>&1; echo \"exit $?\"\n";
  kesp_test::writeFile(scratch / "report.sh", script);
  std::string output;
  run("cd '" + scratch.path() + "' && unshare -m --propagation private sh report.sh", scratch,
      output);
  std::map<std::string, std::string> sections;
  std::string* current = &sections["preamble"];
  std::string::size_type start = 0;
  while (start < output.size()) {
    std::string::size_type end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    if (line.compare(0, 3, "== ") == 0)
      current = &sections[line.substr(3)];
    else
      *current += line + "\n";
    start = end + 1;
  }
  return sections;
}

}  // namespace kesp_peer
