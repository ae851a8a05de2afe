#pragma once
// NetworkManager's own key-file reader (libnm, through Python's GObject
// bindings) as the judge of profiles: its packages unpacked from Debian's
// archive into a temporary directory, never installed.

#include <string>

#include "ifupdown_peer.h"
#include "kesp/util.h"
#include "test_support.h"

namespace kesp_peer {

class Libnm {
 public:
  static const Libnm& get() {
    static const Libnm instance;
    return instance;
  }
  bool available() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }

  /// judge.py's report of after against before (see fixtures/networkmanager).
  std::string judge(const std::string& before, const std::string& after,
                    const std::string& owned) const {
    kesp_test::TempDir scratch;
    std::string output;
    const std::string lib = dir_ / "root/usr/lib/x86_64-linux-gnu";
    run("GI_TYPELIB_PATH=" + KESP::shell_quote(lib + "/girepository-1.0") +
            " LD_LIBRARY_PATH=" + KESP::shell_quote(lib) + " /usr/bin/python3 " +
            KESP::shell_quote(kesp_test::fixturePath("networkmanager/judge.py")) + " " +
            KESP::shell_quote(before) + " " + KESP::shell_quote(after) + " " +
            KESP::shell_quote(owned),
        scratch, output);
    return output;
  }

 private:
  Libnm() {
    std::string output;
    if (run("cd '" + dir_.path() + "' && apt-get download libnm0 gir1.2-nm-1.0 && " +
                "for p in *.deb; do dpkg -x \"$p\" root || exit 1; done",
            dir_, output) != 0 ||
        kesp_test::shell("/usr/bin/python3 -c 'import gi' 2>/dev/null") != 0)
      reason_ = "peer test: libnm0, gir1.2-nm-1.0 or python3-gi not available: " + output;
  }

  kesp_test::TempDir dir_;
  std::string reason_;
};

}  // namespace kesp_peer
